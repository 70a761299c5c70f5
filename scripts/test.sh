#!/bin/sh
# The test command: installs what is missing, builds, and runs every test.
# NORDA_BUILD_DIR names the build folder (default build); extra arguments go to CMake's
# configure step, e.g. -DNORDA_BUILD_GUI=OFF for the core, tools and their tests alone.
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh "$@"
cd "${NORDA_BUILD_DIR:-build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
