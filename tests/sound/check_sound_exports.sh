#!/usr/bin/env bash
# The sound library exports the four entry points gauges bind and the host's four, nothing else.
set -euo pipefail
library="$1"
exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
expected=$(printf '%s\n' GaugePlaySound GaugeSoundResolvePath GaugeSoundSetListener \
  GaugeSoundSetMuted GaugeSoundSetSearchFolders GaugeStopAll GaugeStopSound TerminateSounds | sort)
if [ "$exported" != "$expected" ]; then
  echo "unexpected exported symbols of $library:"; echo "$exported"; exit 1
fi
soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if [ "$soname" != "GaugeSound.so" ]; then
  echo "soname of $library is '$soname', not GaugeSound.so"; exit 1
fi
echo "exports: the eight entry points; soname GaugeSound.so"
