#!/usr/bin/env bash
# Installs what is missing, builds an optimised tree and writes the Debian package
# build-package/juyoutai_<version>_amd64.deb (install it with `apt install ./build-package/juyoutai_*.deb`).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_TYPE=Release BUILD_DIR=build-package bash scripts/build.sh -DJYT_BUILD_TESTS=OFF
cd build-package
rm -f juyoutai_*.deb
cpack -G DEB >/dev/null
echo "已生成: $PWD/$(ls juyoutai_*.deb)"
