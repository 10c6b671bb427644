#!/usr/bin/env bash
# Installs what is needed, builds the debug and the sanitizer builds and the two Windows builds,
# runs the tests of each (the Windows ones under Wine, compared with the debug build's runs),
# runs each fuzz target for a few seconds, and ends with one summary line that counts each
# build's tests apart. Each stage prints its time.
#
# Every test runs in the debug build. The sanitizer build runs every test but those labelled
# plain_only (ctest -LE): the long whole flights, the reader's commands of the docs, the install
# layout and the page in the browser, whose code the sanitizer build runs in shorter tests (see
# the labels' comments where the tests are declared).
#
# On a machine that runs no 32-bit programs (scripts/runs-32bit.sh asks it once), the 32-bit
# Windows build is still built and every check of it that starts no Windows program runs (its
# exports, imports and resources, its package; its record layouts are checked as it compiles);
# its tests labelled `wine` are reported as not run, with the reason, and never counted as
# passed. Wine's prefix is then made by its 64-bit loader, and the 64-bit build runs in full.
set -euo pipefail
cd "$(dirname "$0")/.."

export SDL_AUDIODRIVER=dummy
jobs=$(nproc)
failed=0
skipped=0
not_run=0      # tests left out on purpose, with the reason in not_run_why
not_run_why=""
counts=()  # "dev 512 passed", one per build

stage_start=0
run_start=$(date +%s)
start_stage() {
  echo "=== $1"
  stage_start=$(date +%s)
}
end_stage() {
  echo "--- $1: $(($(date +%s) - stage_start)) s"
}

summary() {
  local joined="" part
  for part in "${counts[@]}"; do joined+="${joined:+, }$part"; done
  echo "--- all stages: $(($(date +%s) - run_start)) s"
  local tail=""
  if [ "$not_run" -gt 0 ]; then tail="; $not_run not run ($not_run_why)"; fi
  echo "tests: $joined; $failed failed; $skipped skipped$tail"
}

start_stage "packages"
bash scripts/install-deps.sh
end_stage "packages"

runs_32bit=yes
bash scripts/runs-32bit.sh --say || runs_32bit=no

# One Wine prefix for this run, shared by both Windows builds' tests, with one Wine server kept
# running for all of them; both go when the run ends.
wine_prefix=""
fg_pid=""  # the FlightGear test running beside the other stages
cleanup() {
  # The test and the FlightGear it started are one process group of their own.
  if [ -n "$fg_pid" ]; then kill -- "-$fg_pid" 2>/dev/null || true; fi
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
  if [ "$runs_32bit" = yes ]; then
    wineboot -i >/dev/null 2>&1
  else
    # wineboot starts Wine's 32-bit loader when it is installed; the 64-bit one makes the same
    # 64-bit prefix. Debian keeps it beside the 32-bit one rather than on PATH.
    local wine64=/usr/lib/wine/wine64
    if command -v wine64 >/dev/null; then wine64=$(command -v wine64); fi
    "$wine64" wineboot -i >/dev/null 2>&1
  fi
  end_stage "Wine prefix"
}

# Builds one preset and runs its tests (extra ctest arguments after the preset), adding its
# counts to the summary; stops the run when a test failed.
build_and_test() {
  local preset=$1
  shift
  start_stage "build and test: $preset"
  cmake --preset "$preset" >/dev/null
  if ! cmake --build --preset "$preset" -j "$jobs"; then
    echo "the $preset build failed"
    failed=$((failed + 1))
    summary
    exit 1
  fi
  local junit status=0
  junit="$(pwd)/build/$preset/test-results.xml"
  rm -f "$junit"
  ctest --preset "$preset" -j "$jobs" --output-junit "$junit" "$@" || status=$?
  # The counts come from ctest's own record of each test (JUnit), never from its printed text.
  local results passes=0 fails=0 skips=0
  if results=$(python3 scripts/ctest-results.py "$junit"); then
    read -r passes fails skips <<<"$(head -1 <<<"$results")"
    # A test skipped on purpose says why in its output; ctest shows only that it was skipped.
    tail -n +2 <<<"$results" | sed 's/^/  /'
  elif [ "$status" -ne 0 ]; then
    fails=1  # ctest itself failed before running anything
  fi
  counts+=("$preset $passes passed")
  failed=$((failed + fails))
  skipped=$((skipped + skips))
  end_stage "build and test: $preset"
  if [ "$status" -ne 0 ]; then
    summary
    exit "$status"
  fi
}

# The link's test against a real FlightGear runs where Debian's flightgear is installed
# (scripts/install-deps.sh installs it unless INS_NO_FLIGHTGEAR=1); elsewhere it is reported as
# not run, with the reason, and never counted as passed. INS_NO_FLIGHTGEAR=1 leaves it out here
# too. It mostly waits on FlightGear's own pace, so it runs beside the sanitizer build's stage,
# started once the debug build it tests is built, and its result is taken before the fuzz stage.
fg_missing=""
[ -x /usr/games/fgfs ] || fg_missing="no /usr/games/fgfs"
[ "${INS_NO_FLIGHTGEAR:-0}" = 1 ] && fg_missing="INS_NO_FLIGHTGEAR=1"
build_and_test dev -LE flightgear
fg_log="$(pwd)/build/dev/flightgear-test.log"
if [ -z "$fg_missing" ]; then
  echo "=== FlightGear test (beside the next stages; its output in $fg_log)"
  fg_start=$(date +%s)
  setsid ctest --preset dev -L flightgear --output-on-failure \
    --output-junit "$(pwd)/build/dev/flightgear-results.xml" >"$fg_log" 2>&1 &
  fg_pid=$!
else
  fg_not_run=$(ctest --preset dev -N -L flightgear --show-only=json-v1 |
    python3 -c 'import json, sys; print(len(json.load(sys.stdin)["tests"]))')
  not_run=$((not_run + fg_not_run))
  not_run_why="${not_run_why:+$not_run_why; }dev: the test against a real FlightGear, not run: $fg_missing"
  echo "  $fg_not_run test of dev not run: it needs FlightGear (/usr/games/fgfs)"
fi

# The FlightGear test's result, counted with the debug build's: waits for it to end.
finish_flightgear_test() {
  [ -n "$fg_pid" ] || return 0
  local status=0 passes=0 fails=0 skips=0 results
  wait "$fg_pid" || status=$?
  fg_pid=""
  echo "--- FlightGear test (beside the other stages): $(($(date +%s) - fg_start)) s"
  if results=$(python3 scripts/ctest-results.py "$(pwd)/build/dev/flightgear-results.xml"); then
    read -r passes fails skips <<<"$(head -1 <<<"$results")"
  elif [ "$status" -ne 0 ]; then
    fails=1
  fi
  counts+=("dev (FlightGear) $passes passed")
  failed=$((failed + fails))
  skipped=$((skipped + skips))
  if [ "$status" -ne 0 ]; then
    cat "$fg_log"
    summary
    exit "$status"
  fi
}

build_and_test asan -LE plain_only
make_wine_prefix
if [ "$runs_32bit" = yes ]; then
  build_and_test windows-x86
else
  build_and_test windows-x86 -LE wine
  wine_not_run=$(ctest --preset windows-x86 -N -L wine --show-only=json-v1 |
    python3 -c 'import json, sys; print(len(json.load(sys.stdin)["tests"]))')
  not_run=$((not_run + wine_not_run))
  not_run_why="${not_run_why:+$not_run_why; }windows-x86 built and checked, not run: this machine runs no 32-bit programs"
  echo "  $wine_not_run tests of windows-x86 not run: they start Windows programs"
fi
build_and_test windows-x64
finish_flightgear_test

if [ -f fuzz/CMakeLists.txt ]; then
  start_stage "fuzz (brief)"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  fuzz_status=0
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-5}" || fuzz_status=$?
  targets=$(find build/fuzz/fuzz -maxdepth 1 -name 'fuzz_*' -type f -perm -u+x | wc -l)
  counts+=("fuzz $targets targets")
  end_stage "fuzz (brief)"
  if [ "$fuzz_status" -ne 0 ]; then
    failed=$((failed + 1))
    summary
    exit "$fuzz_status"
  fi
fi

summary
