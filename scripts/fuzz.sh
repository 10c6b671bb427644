#!/usr/bin/env bash
# Runs every built fuzz target for SECONDS each and fails on the first finding.
#   scripts/fuzz.sh SECONDS [BUILD_FOLDER]
# The build folder is the second argument, else $FUZZ_BUILD_DIR, else build/fuzz (the folder of
# the fuzz preset). Each target starts from an empty corpus in a temporary folder; a crash
# reproducer (crash-*, leak-*, timeout-*) is kept in that folder and its path printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz.sh SECONDS [BUILD_FOLDER]}
build=${2:-${FUZZ_BUILD_DIR:-build/fuzz}}
build=$(cd "$build" && pwd)

shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz targets in $build/fuzz (build the fuzz preset first)" >&2
  exit 1
fi

failed=0
for target in "${targets[@]}"; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d "${TMPDIR:-/tmp}/ins-$name-XXXXXX")
  mkdir -p "$work/corpus"
  options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/")
  # A dictionary fuzz/NAME.dict beside fuzz/NAME_fuzz.cpp is used when there is one.
  dict="$PWD/fuzz/${name#fuzz_}.dict"
  [ -f "$dict" ] && options+=(-dict="$dict")
  echo "=== $name: $seconds s"
  # Absolute paths: a target may change its working folder.
  if (cd "$work" && "$target" "${options[@]}" "$work/corpus" >"$work/log" 2>&1); then
    tail -n 3 "$work/log"
    rm -rf "$work"
  else
    tail -n 40 "$work/log"
    echo "fuzz: $name found a problem; reproducer and log in $work" >&2
    failed=1
  fi
done
exit $failed
