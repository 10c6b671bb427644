// The module's invariant checks stop a debug build at a programmer's mistake, naming the check,
// instead of letting it read or write past a record: a cast to another kind's record, a depth
// outside its chain.
#include <gtest/gtest.h>

#include "boundary/gauge_api.h"
#include "state/gauge_elements.h"
#include "tests/unit/test_support.h"

namespace {

using test_support::ModuleTest;

#if defined(INS_CHECK_INVARIANTS)
constexpr bool CHECKS_ON = true;
#else
constexpr bool CHECKS_ON = false;
#endif

class InvariantTest : public ModuleTest {
 protected:
  void SetUp() override {
    if (!CHECKS_ON) GTEST_SKIP() << "invariant checks are compiled out of this build";
    ModuleTest::SetUp();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

TEST_F(InvariantTest, ARecordCastToAnotherKindStops) {
  // The well-kinded casts pass: the same elements as their own records.
  EXPECT_EQ(element_record<TextElement>(ins_element(INS_DEPTH_LEFT_DISPLAY)).header.kind,
            ELEMENT_STRING);
  EXPECT_EQ(element_record<IconElement>(align_element(ALIGN_DEPTH_MODE_KNOB)).header.kind,
            ELEMENT_ICON);

  const char* broken = "invariant broken: header.kind == RecordKind<Record>::kind";
  // A text read as an icon, an icon read as a text, a moving image read as an icon.
  EXPECT_DEATH(element_record<IconElement>(ins_element(INS_DEPTH_LEFT_DISPLAY)), broken);
  EXPECT_DEATH(element_record<TextElement>(align_element(ALIGN_DEPTH_MODE_KNOB)), broken);
  EXPECT_DEATH(element_record<IconElement>(ins_element(INS_DEPTH_THUMBWHEEL_UNITS)), broken);
}

TEST_F(InvariantTest, ADepthOutsideItsChainStops) {
  EXPECT_EQ(ins_element(INS_ELEMENT_COUNT - 1).kind, ELEMENT_MOVING_IMAGE);
  EXPECT_DEATH(ins_element(INS_ELEMENT_COUNT), "invariant broken: depth >= 0 && depth < INS_");
  EXPECT_DEATH(ins_element(-1), "invariant broken");
  EXPECT_DEATH(align_element(ALIGN_ELEMENT_COUNT),
               "invariant broken: depth >= 0 && depth < ALIGN_");
}

}  // namespace
