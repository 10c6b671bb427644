#!/bin/sh
# A contact sheet of every rendered bitmap at 200 %, each labelled with its id, on mid grey so
# the transparent surrounds (alpha 0, pure black in the BMPs) show as grey. For looking at the
# art after a change; nothing depends on it.
#
# Usage: contact_sheet.sh BUILD_FOLDER OUTPUT.png     (e.g. build/dev sheet.png)
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_FOLDER OUTPUT.png" >&2
  exit 2
fi
bitmaps=$1/bitmaps
if [ ! -d "$bitmaps" ]; then
  echo "$0: no $bitmaps (build the ins_bitmaps target first)" >&2
  exit 1
fi
# Enlarged by pixel replication, so every pixel of the art stays as it is, only bigger.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
sheet() {  # OUTPUT TILES FILE...: one montage at 200 %, tiles sized to its largest image
  out=$1 tiles=$2
  shift 2
  /usr/bin/montage -label '%t' "$@" -filter point -geometry '200%+8+8' -tile "$tiles" \
    -background '#808080' -fill '#101010' -font DejaVu-Sans -pointsize 14 "$out"
}
# The two faces side by side, the knobs and the strip, then the key, lamp and other images.
sheet "$work/faces.png" 2x "$bitmaps/4096.png" "$bitmaps/4185.png"
sheet "$work/knobs.png" 16x "$bitmaps"/416[2-9].png "$bitmaps"/419[4-7].png \
  "$bitmaps/4172.png" "$bitmaps/4175.png" "$bitmaps/4181.png" "$bitmaps/4182.png"
sheet "$work/others.png" 13x $(ls "$bitmaps"/*.png | grep -v -E '/(4096|4185|416[2-9]|419[4-7]|417[25]|418[12])\.png$')
/usr/bin/convert "$work/faces.png" "$work/knobs.png" "$work/others.png" -background '#808080' \
  -gravity west -append "$2"
echo "wrote $2"
