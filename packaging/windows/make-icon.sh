#!/usr/bin/env bash
# Makes the Windows icon velqordornavik.ico (16, 32, 48 and 256 pixels) from the
# pictures the Linux menu uses (packaging/icons/render.sh) and the program's own
# 32-pixel one, with ImageMagick. Run it after changing the drawing; the .ico is
# kept in the repository, for the workflow's runner has no ImageMagick.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
convert "$root/packaging/icons/velqordornavik-16.png" "$root/app/resources/velqordornavik.png" \
        "$root/packaging/icons/velqordornavik-48.png" "$root/packaging/icons/velqordornavik-256.png" \
        "$root/packaging/windows/velqordornavik.ico"
