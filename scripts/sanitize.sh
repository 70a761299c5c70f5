#!/bin/sh
# The test suite under the sanitizers:
#   asan  every target and every test built with AddressSanitizer, LeakSanitizer and
#         UndefinedBehaviorSanitizer into build-asan/, and the whole suite run;
#   tsan  the device link, job and status poller tests built with ThreadSanitizer into
#         build-tsan/ (the worker, the session and the facade cross threads) and run.
# Any report fails the run. Suppressions, each explained, are in scripts/sanitize/.
#
#   scripts/sanitize.sh [asan|tsan|all] [CMAKE ARGUMENTS...]     (default all)
set -eu
cd "$(dirname "$0")/.."
mode="${1:-all}"
[ $# -gt 0 ] && shift
here="$PWD"
scripts/install-deps.sh
launcher=""
if command -v ccache >/dev/null 2>&1; then
    launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
jobs="$(nproc)"
status=0

# The link and poller tests: they run the worker threads, the facade and the simulator's
# thread against each other.
tsan_tests="tst_worker tst_transport tst_filetransfer tst_flashing tst_devicejobs tst_amodule
tst_discovery tst_statuspoller tst_statushttp tst_faultinjection"

if [ "$mode" = asan ] || [ "$mode" = all ]; then
    # UndefinedBehaviorSanitizer's reports stay recoverable so that the suppressions apply;
    # halt_on_error makes every other one fatal.
    flags="-fsanitize=address,undefined -fno-omit-frame-pointer"
    # shellcheck disable=SC2086
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORDA_BUILD_BENCH=OFF \
        -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
        $launcher "$@"
    cmake --build build-asan -j"$jobs"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
    export LSAN_OPTIONS="suppressions=$here/scripts/sanitize/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$here/scripts/sanitize/ubsan.supp"
    echo "== ASan, LSan and UBSan: the whole suite"
    (cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs") || status=1
    unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
fi

if [ "$mode" = tsan ] || [ "$mode" = all ]; then
    # shellcheck disable=SC2086
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORDA_BUILD_BENCH=OFF \
        -DNORDA_BUILD_GUI=OFF -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" $launcher "$@"
    targets=""
    pattern=""
    for test in $tsan_tests; do
        targets="$targets $test"
        pattern="${pattern:+$pattern|}^$test\$"
    done
    # shellcheck disable=SC2086
    cmake --build build-tsan --target $targets norda-cli norda-devsim -j"$jobs"
    export TSAN_OPTIONS="suppressions=$here/scripts/sanitize/tsan.supp:halt_on_error=0:second_deadlock_stack=1"
    echo "== ThreadSanitizer: the link and poller tests"
    (cd build-tsan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" -R "$pattern") ||
        status=1
fi
exit "$status"
