#!/bin/sh
# Renders one bitmap from its SVG source at WIDTH x HEIGHT pixels (1:1 for the bitmap itself,
# or a multiple of its size for a screen that shows it larger) into the two forms the hosts use:
#   PNG_OUT  RGBA: the pixels of the bitmap, alpha 0 exactly where they are pure black
#   BMP_OUT  24-bit BMP (BMP3, no alpha): the pixels as the simulator's resources hold them;
#            "-" for none
# With a COVER drawing, only the pixels it covers are drawn; every other pixel becomes pure
# black, which the simulator leaves undrawn on elements with the transparency flag. Without one,
# the bitmap is opaque and any pure black in the drawing is lifted to (8, 8, 8).
#
# Usage: render_bitmap.sh SVG WIDTH HEIGHT PNG_OUT BMP_OUT [COVER_SVG]
# RSVG_CONVERT and CONVERT name the programs (default rsvg-convert and /usr/bin/convert).
set -eu

if [ $# -lt 5 ] || [ $# -gt 6 ]; then
  echo "usage: $0 SVG WIDTH HEIGHT PNG_OUT BMP_OUT [COVER_SVG]" >&2
  exit 2
fi
svg=$1 width=$2 height=$3 png_out=$4 bmp_out=$5 cover=${6:-}
rsvg=${RSVG_CONVERT:-rsvg-convert}
convert=${CONVERT:-/usr/bin/convert}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

"$rsvg" --width "$width" --height "$height" --format png --output "$work/colour.png" "$svg"
if [ -n "$cover" ]; then
  "$rsvg" --width "$width" --height "$height" --format png --output "$work/cover.png" "$cover"
  coverage="$work/cover.png"
else
  coverage="$work/colour.png"
fi

# Colour: flattened on near-black, pure black lifted. Coverage: any alpha at all counts, so the
# antialiased rim of a knob keeps its blend with the face beneath. Uncovered pixels: pure black.
if [ "$bmp_out" = "-" ]; then
  set --
else
  set -- -define bmp:format=bmp3 -type TrueColor -write "BMP3:$bmp_out"
fi
"$convert" "$work/colour.png" -background '#080808' -alpha remove -alpha off \
  -fill '#080808' -opaque '#000000' \
  \( "$coverage" -alpha extract -threshold 0 \) \
  -compose CopyOpacity -composite \
  -background '#000000' -compose Over -alpha remove -alpha off \
  "$@" -transparent '#000000' "PNG32:$png_out"

# Both files must be there at the exact size.
size=$("$convert" "$png_out" -format '%w %h' info:)
if [ "$size" != "$width $height" ]; then
  echo "$0: $png_out is $size, expected $width $height" >&2
  exit 1
fi
