#!/usr/bin/env bash
# Runs the offscreen GUI tests of the normal build under valgrind memcheck and fails on
# invalid reads or writes and on definite leaks. Too slow for CI; run it by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/setup.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" valgrind
configure_and_build default
export QT_QPA_PLATFORM=offscreen
status=0
for t in build/tests/app/test_*; do
    [ -x "$t" ] || continue
    echo "== $(basename "$t")"
    if ! valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
            --show-leak-kinds=definite --suppressions=scripts/valgrind.supp --num-callers=30 \
            "$t" >"build/$(basename "$t").valgrind.log" 2>&1; then
        tail -n 60 "build/$(basename "$t").valgrind.log"
        status=1
    else
        grep -E 'ERROR SUMMARY|definitely lost' "build/$(basename "$t").valgrind.log" | tail -n 2
    fi
done
exit $status
