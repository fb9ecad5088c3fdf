#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite offscreen:
# the normal build, the same suite under AddressSanitizer + UndefinedBehaviorSanitizer,
# and a short run of every fuzz target. --quick runs the normal build's suite only.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh

quick=0
[ "${1:-}" = "--quick" ] && quick=1

if [ $quick -eq 1 ]; then
    ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
else
    ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
fi
export QT_QPA_PLATFORM=offscreen

echo "== Build and test (default)"
configure_and_build default
ctest --preset default

[ $quick -eq 1 ] && { python3 scripts/test_share.py; exit 0; }

echo "== Build and test (AddressSanitizer + UndefinedBehaviorSanitizer)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
configure_and_build sanitize
ctest --preset sanitize

echo "== Fuzz smoke runs"
./scripts/fuzz.sh "${BREVILO_FUZZ_SECONDS:-30}"

python3 scripts/test_share.py
