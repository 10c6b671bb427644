// Image values of the data-selector knob and the waypoint thumbwheels.
#include "cdu/images.h"

#include "tests/unit/test_support.h"

namespace {

class ImagesTest : public test_support::ModuleTest {};

TEST_F(ImagesTest, KnobShowsTheSelectedLegendFromPosAtLoad) {
  ElementHeader knob{};
  EXPECT_EQ(data_selector_knob_image(&knob), 3.0);  // POS, bitmap 4162 + 3
  for (int position = 0; position < 8; ++position) {
    ins_state.data_selector = static_cast<int8_t>(position);
    EXPECT_EQ(data_selector_knob_image(&knob), static_cast<double>(position));
  }
}

TEST_F(ImagesTest, ThumbwheelsRollToTheirOwnDigits) {
  ElementHeader wheel{};
  EXPECT_EQ(thumbwheel_tens_vertical(&wheel), 0.0);  // both wheels at 0 on load
  EXPECT_EQ(thumbwheel_units_vertical(&wheel), 0.0);
  const struct {
    int8_t tens, units;
    double tens_shown, units_shown;
  } cases[] = {{0, 9, 0.0, 9.0}, {1, 0, 1.0, 0.0}, {9, 9, 9.0, 9.0}, {4, 7, 4.0, 7.0}};
  for (const auto& c : cases) {
    ins_state.thumbwheel_tens = c.tens;
    ins_state.thumbwheel_units = c.units;
    EXPECT_EQ(thumbwheel_tens_vertical(&wheel), c.tens_shown);
    EXPECT_EQ(thumbwheel_units_vertical(&wheel), c.units_shown);
    EXPECT_EQ(thumbwheel_horizontal(&wheel), 1.0);  // no horizontal travel, whatever the digits
  }
}

}  // namespace
