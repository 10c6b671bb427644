// The main of every GoogleTest program of the project: GoogleTest's own, with one listener more.
//
// When a suite's SetUpTestSuite fails (an ASSERT, a FAIL, an exception) GoogleTest runs none of
// its tests and marks each one skipped; a global environment's failed set-up does the same to
// every test. Each is printed "[  SKIPPED ]", and ctest, which runs every test on its own and
// takes that line as a skip, would count them as skipped and the run as passed although nothing
// was tested. The listener makes each such test fail, saying why; a test whose fixture skips on
// purpose (GTEST_SKIP in SetUp, as when the plan corpus is not there) still skips.
#include <gtest/gtest.h>

namespace {

class FailedSetUpFailsTests : public testing::EmptyTestEventListener {
  // GoogleTest announces a test it skips for a failed set-up like one it runs; a failure added
  // here belongs to that test, and a test with a failure is reported failed, never skipped.
  void OnTestStart(const testing::TestInfo&) override {
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    const testing::TestSuite* suite = unit.current_test_suite();
    if (suite != nullptr && suite->ad_hoc_test_result().Failed()) {
      ADD_FAILURE() << "the set-up of test suite " << suite->name()
                    << " failed (see above): this test did not run";
    } else if (unit.ad_hoc_test_result().Failed()) {
      ADD_FAILURE() << "the set-up of the test program failed (see above): this test did not run";
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new FailedSetUpFailsTests);
  return RUN_ALL_TESTS();
}
