#!/bin/sh
# Renders the main window in configuration and in monitoring mode on a sample project
# (every device address a loopback one) to docs/screenshots/*.png. Needs no display:
# the window is drawn on the offscreen platform.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target norda-screenshots -j"$(nproc)"
QT_QPA_PLATFORM=offscreen build/app/norda-screenshots docs/screenshots
