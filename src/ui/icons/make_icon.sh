#!/usr/bin/env bash
# Draws the window icon (128 x 128, 32-bit RGBA) with ImageMagick. Run once; the PNG is kept in
# the repository and compiled into the program through panorello.qrc.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 128x128 xc:none \
  -fill '#4BB59D' -stroke '#2E8C76' -strokewidth 3 -draw 'roundrectangle 4,4 123,123 22,22' \
  -stroke none -fill '#FFFFFF' -draw 'roundrectangle 16,16 111,40 6,6' \
  -fill '#3070C0' -draw 'rectangle 24,24 48,32' \
  -fill '#FFFFFF' \
  -draw 'rectangle 22,84 38,108' -draw 'rectangle 46,70 62,108' \
  -draw 'rectangle 70,78 86,108' -draw 'rectangle 94,56 110,108' \
  -fill none -stroke '#3070C0' -strokewidth 5 -draw 'polyline 30,74 54,58 78,66 102,46' \
  -stroke none -fill '#3070C0' \
  -draw 'circle 30,74 34,74' -draw 'circle 54,58 58,58' \
  -draw 'circle 78,66 82,66' -draw 'circle 102,46 106,46' \
  -define png:color-type=6 PNG32:panorello.png
