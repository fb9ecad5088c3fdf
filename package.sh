#!/usr/bin/env bash
# Installs what is missing, builds the release preset and makes the Debian package
# build-release/brevilo_<version>_<arch>.deb (install it with: sudo apt install ./build-release/brevilo_*.deb).
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh

ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
cmake --preset release >/dev/null
# Only the program: the release preset's benchmarks are not part of the package.
cmake --build --preset release --target brevilo brevilo_docs
cd build-release
cpack -G DEB
ls -l "$PWD"/brevilo_*.deb
