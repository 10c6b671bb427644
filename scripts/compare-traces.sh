#!/usr/bin/env bash
# Runs every scenario of tests/scenarios (the must-fail ones too) with --trace through two builds
# and fails unless both give the same exit status and byte-identical traces. This is how a change
# that must not alter what the module does (a move of files, a rename) is shown to alter nothing.
#
#   bash scripts/compare-traces.sh BEFORE AFTER
#
# BEFORE and AFTER are each a build folder that holds ins-host, INS.so and fixture_gauge.so (for
# example build/dev), or a git revision (main, HEAD~3, a commit id): a revision is exported with
# git archive and its host and module are built once into build/traces/<commit>, reused on the
# next run. The scenarios are always those of the working tree, so both builds play the same
# files. Traces go to build/traces/runs/{before,after}.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ $# -ne 2 ]; then
  echo "usage: $0 BEFORE AFTER   (each a build folder or a git revision)" >&2
  exit 2
fi

jobs=${JOBS:-2}

# A build folder for $1: the folder itself, or a build of that git revision.
build_for() {
  local what=$1
  if [ -x "$what/ins-host" ]; then
    (cd "$what" && pwd)
    return
  fi
  local commit
  if ! commit=$(git rev-parse --verify --quiet "$what^{commit}"); then
    echo "$what: neither a build folder with ins-host nor a git revision" >&2
    return 1
  fi
  local source="$root/build/traces/$commit/source" build="$root/build/traces/$commit/build"
  if [ ! -x "$build/ins-host" ]; then
    echo "building $what ($commit) in $build" >&2
    rm -rf "$source"
    mkdir -p "$source"
    git archive "$commit" | tar -x -C "$source"
    # The web panel's page libraries are installed by npm, never committed: the revision's
    # build takes those of the working tree.
    if [ -f "$source/host/web/package.json" ] && [ -d "$root/host/web/node_modules" ]; then
      ln -s "$root/host/web/node_modules" "$source/host/web/node_modules"
    fi
    cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=OFF \
      -DINS_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j "$jobs" --target ins-host INS fixture_gauge >&2
  fi
  echo "$build"
}

before=$(build_for "$1")
after=$(build_for "$2")
for build in "$before" "$after"; do
  for product in ins-host INS.so fixture_gauge.so; do
    if [ ! -e "$build/$product" ]; then
      echo "$build: no $product (build the ins-host, INS and fixture_gauge targets)" >&2
      exit 2
    fi
  done
done

runs="$root/build/traces/runs"
rm -rf "$runs"
mkdir -p "$runs/before" "$runs/after"
export SDL_AUDIODRIVER=dummy

# Plays one scenario through one build; the exit status goes beside the trace.
play() {
  local build=$1 scenario=$2 out=$3
  local module_args=()
  if grep -q '^# module: *fixture' "$scenario"; then
    module_args=(--module "$build/fixture_gauge.so")
  fi
  local status=0
  "$build/ins-host" run "$scenario" "${module_args[@]}" --trace "$out.jsonl" \
    >"$out.log" 2>&1 || status=$?
  echo "$status" >"$out.exit"
  touch "$out.jsonl"
}

count=0
for scenario in tests/scenarios/*.scn tests/scenarios/must-fail/*.scn; do
  name=$(basename "$(dirname "$scenario")")-$(basename "$scenario" .scn)
  play "$before" "$root/$scenario" "$runs/before/$name"
  play "$after" "$root/$scenario" "$runs/after/$name"
  count=$((count + 1))
done

different=0
for trace in "$runs"/before/*.jsonl; do
  name=$(basename "$trace" .jsonl)
  if ! cmp -s "$trace" "$runs/after/$name.jsonl"; then
    echo "DIFFERENT trace: $name"
    different=$((different + 1))
  fi
  if ! cmp -s "$runs/before/$name.exit" "$runs/after/$name.exit"; then
    echo "DIFFERENT exit status: $name ($(cat "$runs/before/$name.exit") before," \
      "$(cat "$runs/after/$name.exit") after)"
    different=$((different + 1))
  fi
done

if [ "$different" -ne 0 ]; then
  echo "traces: $different differences in $count scenarios (see $runs)"
  exit 1
fi
echo "traces: $count scenarios, every trace and exit status identical"
