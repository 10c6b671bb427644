#!/usr/bin/env bash
# Installs what is needed, builds the debug and the sanitizer builds and the two Windows builds,
# runs every test in each (the Windows ones under Wine, compared with the debug build's runs),
# runs each fuzz target for a few seconds, and ends with one summary line. Each stage prints its
# time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export SDL_AUDIODRIVER=dummy
jobs=$(nproc)
passed=0
failed=0
skipped=0

stage_start=0
start_stage() {
  echo "=== $1"
  stage_start=$(date +%s)
}
end_stage() {
  echo "--- $1: $(($(date +%s) - stage_start)) s"
}

# One Wine prefix for this run, shared by both Windows builds' tests, with one Wine server kept
# running for all of them; both go when the run ends.
wine_prefix=""
cleanup() {
  if [ -n "$wine_prefix" ]; then
    WINEPREFIX=$wine_prefix wineserver -k 2>/dev/null || true
    rm -rf "$wine_prefix"
  fi
}
trap cleanup EXIT
make_wine_prefix() {
  start_stage "Wine prefix"
  wine_prefix=$(mktemp -d "${TMPDIR:-/tmp}/ins-wine-XXXXXX")
  export WINEPREFIX=$wine_prefix WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv=d"
  wineserver -p  # before anything else starts one, which would then refuse the persistent one
  wineboot -i >/dev/null 2>&1
  end_stage "Wine prefix"
}

for preset in dev asan windows-x86 windows-x64; do
  if [ "$preset" = windows-x86 ]; then make_wine_prefix; fi
  start_stage "build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  log=$(mktemp)
  status=0
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log" || status=$?
  # "NN% tests passed, F tests failed out of T"
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  # ctest counts a skipped test among those out of T; it lists each as "(Skipped)".
  skips=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)$' "$log" || true)
  rm -f "$log"
  if [ -n "$summary" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    fails=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    passed=$((passed + total - fails - skips))
    failed=$((failed + fails))
    skipped=$((skipped + skips))
  fi
  # A test skipped on purpose says why in its output; ctest shows only that it was skipped.
  grep -h "^skipped on Windows: " "build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null |
    sort -u | sed 's/^/  /' || true
  end_stage "build and test: $preset"
  if [ "$status" -ne 0 ]; then
    echo "tests: $passed passed, $failed failed, $skipped skipped"
    exit "$status"
  fi
done

if [ -f fuzz/CMakeLists.txt ]; then
  start_stage "fuzz (brief)"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-5}"
  end_stage "fuzz (brief)"
fi

echo "tests: $passed passed, $failed failed, $skipped skipped"
