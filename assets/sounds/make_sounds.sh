#!/bin/sh
# Synthesizes the two panel sounds with sox:
#   ins_tog.wav   a short toggle-switch clack (mode knob and data selector detents)
#   ins_click.wav a softer click (AUTO/MAN switch)
# Every sox call runs with -R (repeatable mode: fixed seeds for the noise generators and the
# dither), so the same recipe always gives the same bytes.
#
# Usage: make_sounds.sh OUTPUT_FOLDER
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 OUTPUT_FOLDER" >&2
  exit 2
fi
out_dir=$1
sox=${SOX:-sox}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# One format for both files: 44.1 kHz, 16-bit, mono.
fmt="-r 44100 -c 1 -b 16"

# --- Toggle clack: a bright noise transient (the lever snapping over) on a short metallic
# body ring (two partials), both dying away within about 60 ms.
"$sox" -R -n $fmt "$work/tog_snap.wav" synth 0.010 whitenoise gain -6 \
  highpass 1800 fade l 0 0.010 0.009
"$sox" -R -n $fmt "$work/tog_body.wav" synth 0.060 sine 1450 sine mix 610 \
  fade l 0.001 0.060 0.056 gain -6
"$sox" -R -m "$work/tog_snap.wav" "$work/tog_body.wav" $fmt "$work/tog_mix.wav"
"$sox" -R "$work/tog_mix.wav" $fmt "$work/ins_tog.wav" pad 0.004 0.030 norm -3

# --- Click: the same idea, softer and duller: filtered noise and one low partial, 30 ms,
# about 9 dB below the clack.
"$sox" -R -n $fmt "$work/click_snap.wav" synth 0.006 pinknoise \
  bandpass 2400 1.5q fade l 0 0.006 0.005 gain -4
"$sox" -R -n $fmt "$work/click_body.wav" synth 0.030 sine 900 \
  fade l 0.001 0.030 0.027 gain -8
"$sox" -R -m "$work/click_snap.wav" "$work/click_body.wav" $fmt "$work/click_mix.wav"
"$sox" -R "$work/click_mix.wav" $fmt "$work/ins_click.wav" lowpass 5000 pad 0.004 0.020 norm -12

mkdir -p "$out_dir"
cp "$work/ins_tog.wav" "$out_dir/ins_tog.wav"
cp "$work/ins_click.wav" "$out_dir/ins_click.wav"
