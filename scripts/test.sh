#!/bin/sh
# The test command: installs what is missing, builds, and runs every test.
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
