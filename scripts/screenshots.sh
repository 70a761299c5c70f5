#!/bin/sh
# Renders the main window in configuration and in monitoring mode on the demonstration
# project, its devices simulated on loopback addresses and put into a few faults, to
# docs/screenshots/*.png. Needs no display: the window is drawn on the offscreen platform.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target norda-screenshots -j"$(nproc)"
QT_QPA_PLATFORM=offscreen build/tools/screenshots/norda-screenshots docs/screenshots scripts/demo/demo.mpj
