#!/usr/bin/env bash
# Installs what is needed, builds the debug and the sanitizer builds, runs every test in both,
# runs each fuzz target for a few seconds, and ends with one summary line.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export SDL_AUDIODRIVER=dummy
jobs=$(nproc)
passed=0
failed=0

for preset in dev asan; do
  echo "=== build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  log=$(mktemp)
  status=0
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log" || status=$?
  # "NN% tests passed, F tests failed out of T"
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  rm -f "$log"
  if [ -n "$summary" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    fails=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    passed=$((passed + total - fails))
    failed=$((failed + fails))
  fi
  if [ "$status" -ne 0 ]; then
    echo "tests: $passed passed, $failed failed"
    exit "$status"
  fi
done

if [ -f fuzz/CMakeLists.txt ]; then
  echo "=== fuzz (brief)"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-5}"
fi

echo "tests: $passed passed, $failed failed"
