#!/usr/bin/env bash
# Runs a Windows program under Wine, as the Windows builds run their tests:
#   scripts/wine-run.sh wine|wine64 PROGRAM.exe [ARGS...]
# Wine stays quiet (WINEDEBUG=-all), never offers to install Mono or Gecko, and, like
# SDL_AUDIODRIVER=dummy on Linux, plays no sound on a real device: no Wine audio driver is loaded,
# so the sound library's plays fail silently after its listener has heard them. The prefix is
# WINEPREFIX when set (the test command makes one per run and shares it between the two Windows
# builds); otherwise a prefix of the build's own, beside the program, made on first use.
set -euo pipefail
loader=$1
shift
# Debian puts the 64-bit loader beside the 32-bit one rather than on PATH.
if ! command -v "$loader" >/dev/null && [ -x "/usr/lib/wine/$loader" ]; then
  loader=/usr/lib/wine/$loader
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv=d}
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="$(cd "$(dirname "$1")" && pwd)/wine-prefix"
  export WINEPREFIX
fi
exec "$loader" "$@"
