#!/usr/bin/env bash
# Builds the Debian package of the program from the install rules and prints its path:
#   tools/package.sh            -> build/package/deb/sondral_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./setup.sh
cmake --preset package >/dev/null
cmake --build --preset package
rm -rf build/package/deb
cpack --config build/package/CPackConfig.cmake -G DEB -B build/package/deb >/dev/null
ls build/package/deb/sondral_*.deb
