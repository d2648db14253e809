#!/usr/bin/env bash
# Installs the dependencies, builds and starts the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" --target velqordornavik
exec "${BUILD_DIR:-$root/build}/app/velqordornavik" "$@"
