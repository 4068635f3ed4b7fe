#!/usr/bin/env bash
# Renders sorel.svg into the PNG sizes the icon theme and the converter's window use (needs
# rsvg-convert, Debian's librsvg2-bin). Run it after changing the drawing; the PNGs are kept in
# git so that a build needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" sorel.svg -o "sorel-$size.png"
done
