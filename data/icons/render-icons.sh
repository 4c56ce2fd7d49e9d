#!/bin/sh
# Renders the program's icon from its SVG into the PNG sizes of the icon
# theme; run after changing the SVG (needs rsvg-convert, librsvg2-bin).
set -eu
cd "$(dirname "$0")/hicolor"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" scalable/apps/org.example.quillstrand.svg \
    -o "${size}x${size}/apps/org.example.quillstrand.png"
done
