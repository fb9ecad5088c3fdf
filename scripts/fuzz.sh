#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 30), starting from its seed corpus in fuzz/corpus/<target>. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in $(sed -n 's/^brevilo_fuzz_target(\([a-z_]*\).*/\1/p' fuzz/CMakeLists.txt); do
    corpus="$work/$target"
    mkdir -p "$corpus"
    cp -r "fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
    echo "-- $target for ${seconds}s"
    if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$work/$target-" -print_final_stats=1 "$corpus" >"$work/$target.log" 2>&1; then
        tail -n 40 "$work/$target.log"
        mkdir -p build-fuzz/findings
        cp "$work/$target"-* build-fuzz/findings/ 2>/dev/null || true
        echo "FAILED: $target (inputs kept in build-fuzz/findings)"
        status=1
    else
        grep -E 'stat::number_of_executed_units|Done' "$work/$target.log" | tail -n 2
    fi
done
exit $status
