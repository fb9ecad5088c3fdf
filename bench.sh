#!/usr/bin/env bash
# Builds in release mode (build-release/) and runs every benchmark, then prints one table.
# The full output of each benchmark is kept in build-release/bench-*.txt.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
export QT_QPA_PLATFORM=offscreen

configure_and_build release >/dev/null
out=build-release
for b in containers smtp news startup outbox hostile; do
    exe="$out/bench/bench_$b"
    [ -x "$exe" ] || continue
    echo "== bench_$b"
    "$exe" | tee "$out/bench-$b.txt"
done

echo
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)"
/usr/bin/python3 scripts/bench_table.py "$out"
