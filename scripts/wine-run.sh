#!/usr/bin/env bash
# Runs a Windows program under Wine, as the Windows builds run their tests:
#   scripts/wine-run.sh wine|wine64 PROGRAM.exe [ARGS...]
# Wine stays quiet (WINEDEBUG=-all), never offers to install Mono or Gecko, and, like
# SDL_AUDIODRIVER=dummy on Linux, plays no sound on a real device: no Wine audio driver is loaded,
# so the sound library's plays fail silently after its listener has heard them. The prefix is
# WINEPREFIX when set (the test command makes one per run and shares it between the two Windows
# builds); otherwise a prefix of the build's own, beside the program, made on first use.
#
# The 32-bit loader (wine) needs a machine that runs 32-bit programs; where the kernel runs none
# (scripts/runs-32bit.sh), the run is refused at once with that reason and status 126, the status
# of a program that cannot be executed, instead of Wine's own "Exec format error".
set -euo pipefail
loader=$1
shift
if [ "$loader" = wine ] && ! "$(dirname "$0")/runs-32bit.sh"; then
  echo "wine-run.sh: cannot run $1: this machine runs no 32-bit programs" \
    "(scripts/runs-32bit.sh), so the 32-bit Wine loader cannot start" >&2
  exit 126
fi
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
# A Windows program that crashes under Wine ends with an ordinary exit status; a status above
# 128 means Wine's own loader was killed by a signal, which happens now and then to a process
# started just after a new prefix was made. Such a run is repeated once, and said so; a folder
# named by INS_WINE_CLEAN_ON_RETRY (a run's working folder) is emptied first, so the repeat
# starts as the first did.
for attempt in 1 2; do
  status=0
  "$loader" "$@" || status=$?
  if [ "$status" -le 128 ] || [ "$attempt" -eq 2 ]; then exit "$status"; fi
  echo "wine-run.sh: Wine itself died (status $status); running it once more" >&2
  if [ -n "${INS_WINE_CLEAN_ON_RETRY:-}" ]; then rm -rf "$INS_WINE_CLEAN_ON_RETRY"; fi
done
