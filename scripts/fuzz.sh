#!/bin/sh
# Fuzzes every parser of outside input: builds the targets of fuzz/ with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz/ (or $NORDA_FUZZ_BUILD_DIR)
# and runs each for SECONDS (default 60) on its corpus. The seeds of fuzz/corpus/<name>/ are
# read; what the fuzzer adds goes to build-fuzz/corpus/<name>/, an input that breaks a target
# to build-fuzz/findings/<name>/. Prints executions and findings per target and exits 1
# when any target found something.
#
#   scripts/fuzz.sh [SECONDS]             every target
#   FUZZ_TARGETS="framing assignments" scripts/fuzz.sh 600
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build="${NORDA_FUZZ_BUILD_DIR:-build-fuzz}"
scripts/install-deps.sh

targets="${FUZZ_TARGETS:-$(cd fuzz && ls fuzz_*.cpp | sed -e 's/^fuzz_//' -e 's/\.cpp$//')}"
launcher=""
if command -v ccache >/dev/null 2>&1; then
    launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNORDA_BUILD_FUZZ=ON -DNORDA_BUILD_GUI=OFF -DNORDA_BUILD_TESTS=OFF -DNORDA_BUILD_BENCH=OFF \
    $launcher >/dev/null
binaries=""
for name in $targets; do
    binaries="$binaries fuzz_$name"
done
# shellcheck disable=SC2086
cmake --build "$build" --target $binaries -j"$(nproc)"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
found=0
printf '%-16s %12s %8s %s\n' target executions seconds result
for name in $targets; do
    corpus="$build/corpus/$name"
    findings="$build/findings/$name"
    log="$build/logs/$name.log"
    mkdir -p "$corpus" "$findings" "$build/logs"
    result=ok
    # -timeout: an input that takes this long counts as a hang (generous: the runs share the
    # machine); -rss_limit_mb: memory.
    if ! "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$name" \
        >"$log" 2>&1; then
        result="FOUND (see $log and $findings/)"
        found=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
    printf '%-16s %12s %8s %s\n' "$name" "${runs:-?}" "${took:-$seconds}" "$result"
done
exit "$found"
