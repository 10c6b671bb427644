#!/usr/bin/env bash
# A test whose set-up failed must count as failed. Runs the probe's tests (set_up_guard_probe.cpp)
# the way gtest_discover_tests registers a test program's tests: each test alone by its filter,
# with GoogleTest's "[  SKIPPED ]" line as ctest's sign of a skip. Fails unless ctest reports
# every test of a broken set-up as failed, the deliberate skip as skipped and the sound test as
# passed; and unless every test program is built with the guard's main.
#
#   check_set_up_guard.sh CTEST PROBE SOURCE_DIR
set -euo pipefail
ctest=$1
probe=$2
source_dir=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name | environment | filter | what ctest must report
cases="broken_suite_set_up||BrokenSuiteSetUp.First|Failed
broken_suite_set_up_second||BrokenSuiteSetUp.Second|Failed
throwing_suite_set_up||ThrowingSuiteSetUp.Only|Failed
broken_fixture_set_up||BrokenFixtureSetUp.Only|Failed
broken_environment|INS_PROBE_BREAK_ENVIRONMENT=1|Sound.Passes|Failed
skipped_on_purpose||SkippedInSetUp.Only|Skipped
sound||Sound.Passes|Passed"

while IFS='|' read -r name environment filter _; do
  cat >>"$work/CTestTestfile.cmake" <<CMAKE
add_test($name "$probe" "--gtest_filter=$filter")
set_tests_properties($name PROPERTIES SKIP_REGULAR_EXPRESSION "\\\\[  SKIPPED \\\\]"
                     ENVIRONMENT "$environment")
CMAKE
done <<<"$cases"

(cd "$work" && "$ctest" --output-on-failure >"$work/ctest.log" 2>&1) || true

status=0
while IFS='|' read -r name _ _ wanted; do
  # ctest's line for a test: "1/6 Test #1: name ....***Failed  0.01 sec" (or Passed, Skipped)
  line=$(grep -E "Test +#[0-9]+: $name " "$work/ctest.log" || true)
  got=$(sed -nE 's/.*(Passed|Failed|Skipped).*/\1/p' <<<"$line")
  if [ "$got" != "$wanted" ]; then
    echo "$name: ctest reports \"${got:-nothing}\", not $wanted"
    status=1
  fi
done <<<"$cases"
if [ "$status" -ne 0 ]; then
  cat "$work/ctest.log"
  exit 1
fi

# Every GoogleTest program links the guard's main, never GoogleTest's own.
if grep -rn --include=CMakeLists.txt --include='*.cmake' 'GTest::gtest_main' \
  "$source_dir/CMakeLists.txt" "$source_dir/cmake" "$source_dir/host" "$source_dir/tests"; then
  echo "link ins_gtest_main (tests/support/gtest_main.cpp) instead of GTest::gtest_main"
  exit 1
fi
echo "a failed set-up fails its tests; a deliberate skip still skips"
