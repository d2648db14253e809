#!/usr/bin/env bash
# Installs everything the build, the program and the tests need (Debian 12, as root).
set -euo pipefail
pkgs=(cmake ninja-build g++ pkg-config
      qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin qt6-translations-l10n
      libicu-dev libpsl-dev libsqlite3-dev libbenchmark-dev
      # the fast reading's HTML5 parser
      libgumbo-dev
      # numbers drawn as pictures: Tesseract and its English model
      libtesseract-dev tesseract-ocr-eng
      xvfb xauth imagemagick trayer fonts-wqy-zenhei python3
      desktop-file-utils appstream man-db dpkg-dev file bash-completion
      # Debian's package checker (tests/packaging/test_package.sh)
      lintian
      # the crawl on several machines (tests/packaging/test_shards.sh): GNU parallel
      parallel
      # the Windows check builds libpsl for mingw with Debian's public suffix list
      publicsuffix dpkg-dev
      # the Windows check (scripts/windows-check.sh): cross compiler, Wine, NSIS, YAML
      g++-mingw-w64-x86-64-posix wine64 nsis python3-yaml)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
