#!/usr/bin/env bash
# Installs what is missing, builds in build/ and starts Brevilo.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh

ensure_packages "${BUILD_PACKAGES[@]}"
# The program only: the tests, fuzzers and benchmarks are ./test.sh's and ./bench.sh's to build.
configure_and_build default brevilo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Brevilo is built (build/src/app/brevilo) but there is no display to show its window on." >&2
    echo "Run ./run.sh from a graphical session (DISPLAY or WAYLAND_DISPLAY must be set)." >&2
    exit 1
fi
exec ./build/src/app/brevilo
