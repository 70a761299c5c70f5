#!/bin/sh
# Configures and builds everything into ./build (or the folder given as $NORDA_BUILD_DIR).
# Extra arguments go to CMake's configure step, e.g. -DNORDA_BUILD_GUI=OFF.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build="${NORDA_BUILD_DIR:-build}"
launcher=""
if command -v ccache >/dev/null 2>&1; then
    launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher "$@"
cmake --build "$build" -j"$(nproc)"
