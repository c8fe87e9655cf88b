#!/usr/bin/env bash
# Rasterises the program's icon (data/icons/quorvandelia.svg) into the PNG sizes of the hicolor
# theme. The PNGs are kept in the repository, so the build needs no SVG renderer; run this again
# after changing the SVG (needs rsvg-convert, Debian package librsvg2-bin).
set -euo pipefail
dir="$(cd "$(dirname "$0")/.." && pwd)/data/icons"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$dir/quorvandelia.svg" -o "$dir/quorvandelia-$size.png"
done
