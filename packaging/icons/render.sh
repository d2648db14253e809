#!/usr/bin/env bash
# Renders the menu icons from the shapes of velqordornavik.svg with ImageMagick
# (which cannot read SVG here): velqordornavik-SIZE.png for 16, 48, 128 and 256
# pixels. The 32-pixel icon is the program's own picture, app/resources/velqordornavik.png.
# Run it after changing the drawing; the PNGs are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")"
shapes='fill #195EB3 stroke #0B3A75 stroke-width 1 roundrectangle 1.5,1.5 30.5,30.5 5,5
        stroke none fill #FEFEFE polygon 6,5 13,5 16.5,15.5 20,5 27,5 19.8,22 13.2,22
        fill #FFD200 rectangle 5,23 27,27'
for size in 16 48 128 256; do
  big=$((size * 8)) # drawn 8 times larger, then reduced: smooth edges
  scale=$(awk "BEGIN { print $big / 32 }")
  convert -size "${big}x${big}" xc:none -draw "affine $scale,0,0,$scale,0,0 $shapes" \
          -filter Box -resize "${size}x${size}" -depth 8 -strip "velqordornavik-$size.png"
done
