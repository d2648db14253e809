#!/usr/bin/env bash
# Builds the Debian package with CPack: installs the dependencies, builds the two
# programs into build/ (or $BUILD_DIR) and writes build/package/velqordornavik_VERSION_ARCH.deb.
# Its Depends come from the libraries the programs link (dpkg-shlibdeps).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/deps.sh"
"$root/scripts/build.sh" --target velqordornavik vqharvest
rm -rf "$build/package"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build/package" >/dev/null
rm -rf "$build/package/_CPack_Packages"
ls "$build"/package/*.deb
