#!/usr/bin/env bash
# Installs what is needed, builds the debug and the sanitizer builds, runs every test in both,
# and runs each fuzz target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export SDL_AUDIODRIVER=dummy
jobs=$(nproc)

for preset in dev asan; do
  echo "=== build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

if [ -f fuzz/CMakeLists.txt ]; then
  echo "=== fuzz (brief)"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-5}"
fi
