#!/usr/bin/env bash
# Installs what is missing, builds in build/ and runs the whole test suite offscreen.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh

ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
export QT_QPA_PLATFORM=offscreen

configure_and_build default
ctest --preset default
