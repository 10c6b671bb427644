// Suites whose set-up is broken on purpose, for tests/support/check_set_up_guard.sh, which runs
// this program through ctest one test at a time and checks that every test of a broken set-up
// is reported failed (never skipped), while a deliberate skip and a sound test stay as they are.
// Not registered as tests of its own: most of its tests are meant to fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace {

class BrokenSuiteSetUp : public testing::Test {
 protected:
  static void SetUpTestSuite() { FAIL() << "set-up broken on purpose"; }
};
TEST_F(BrokenSuiteSetUp, First) {}
TEST_F(BrokenSuiteSetUp, Second) {}

class ThrowingSuiteSetUp : public testing::Test {
 protected:
  static void SetUpTestSuite() { throw std::runtime_error("set-up broken on purpose"); }
};
TEST_F(ThrowingSuiteSetUp, Only) {}

class BrokenFixtureSetUp : public testing::Test {
 protected:
  void SetUp() override { FAIL() << "set-up broken on purpose"; }
};
TEST_F(BrokenFixtureSetUp, Only) {}

// As a suite skips when what it needs is not there (the corpus of real plans, say).
class SkippedInSetUp : public testing::Test {
 protected:
  void SetUp() override { GTEST_SKIP() << "nothing to test here, on purpose"; }
};
TEST_F(SkippedInSetUp, Only) {}

TEST(Sound, Passes) {
  SUCCEED();
}

// With INS_PROBE_BREAK_ENVIRONMENT set, the program's own set-up fails before any suite.
class BrokenEnvironment : public testing::Environment {
 public:
  void SetUp() override { FAIL() << "environment broken on purpose"; }
};
const bool environment_added = std::getenv("INS_PROBE_BREAK_ENVIRONMENT") != nullptr &&
                               testing::AddGlobalTestEnvironment(new BrokenEnvironment) != nullptr;

}  // namespace
