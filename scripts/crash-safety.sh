#!/bin/sh
# The kill -9 tests at full length: 100 kills of a process saving a 10,000-device project and
# 100 kills of `norda-cli monitor` while it records events (the test suite runs 6 and 3).
# Builds what it needs into build/ (or $NORDA_BUILD_DIR) first.
#
#   scripts/crash-safety.sh [SAVE_KILLS [MONITOR_KILLS]]
set -eu
cd "$(dirname "$0")/.."
build="${NORDA_BUILD_DIR:-build}"
[ -d "$build" ] || scripts/build.sh
cmake --build "$build" --target tst_crashsafety norda-cli norda-devsim -j"$(nproc)"
work="$build/tests/work/tst_crashsafety"
mkdir -p "$work"
cd "$work"
NORDA_SAVE_KILLS="${1:-100}" NORDA_MONITOR_KILLS="${2:-100}" QT_QPA_PLATFORM=offscreen \
    QTEST_FUNCTION_TIMEOUT=7200000 \
    LC_ALL=C.UTF-8 ../../tst_crashsafety
