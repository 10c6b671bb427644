#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it from a folder elsewhere, as a user
# who has only the installed files would: the version, a scenario (the knob by its legend, a
# snapshot drawn with the installed bitmaps), a short flight, and the replay command the flight
# prints, run exactly as printed.
# Usage: check_install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "install check: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
host=$scratch/prefix/bin/ins-host
folder=$(readlink -f "$scratch/prefix/lib/ins-gauge")
for file in ins-host INS.so GaugeSound.so assets/sound/tavren/ins_tog.wav \
            assets/sound/tavren/ins_click.wav bitmaps/4165.png web/index.html; do
  [ -f "$folder/$file" ] || fail "$file not installed in $folder"
done

mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
"$host" --version | grep -Eqx 'ins-host [0-9]+\.[0-9]+\.[0-9]+' || fail "--version"

cat > scenario.scn <<'SCN'
set battery 1
click ALIGN CW
wait 0.5s
click ALIGN CW
expect sound "sound\tavren\ins_tog.wav"
wait 0.5s
expect image ALIGN knob ALIGN
expect image INS knob POS
snapshot panel.svg
SCN
summary=$("$host" run scenario.scn --output pictures) || fail "the scenario did not run"
echo "$summary"
grep -q '3 expectations held' <<<"$summary" || fail "summary: $summary"
grep -q 'data-bitmap="4165"' pictures/panel.svg || fail "the snapshot lacks the installed bitmaps"

cat > SHORT.PLN <<'PLN'
[flightplan]
title=EINN to EICK
cruising_altitude=9000
waypoint.0=, EINN, , EINN, A, N52* 42.12', W8* 55.48', +000046.00,
waypoint.1=, MOBAL, , MOBAL, I, N52* 20.00', W8* 40.00', +009000.00,
waypoint.2=, EICK, , EICK, A, N51* 50.50', W8* 29.50', +000502.00,
PLN
flight=$("$host" fly SHORT.PLN --tas 300 --output "flight with blanks") || fail "the flight failed"
replay=$(sed -n 's/^replay with: //p' <<<"$flight")
[ -n "$replay" ] || fail "no replay command in: $flight"
echo "replay with: $replay"
cd /
sh -c "$replay" || fail "the replay command failed as printed: $replay"
