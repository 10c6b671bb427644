// The host's reading of the module's waypoint file: what the web panel lists and `fly` checks
// an import against.
#include "host/panel/stored_waypoints.h"

#include <gtest/gtest.h>

namespace {

using host::stored_waypoints;

TEST(StoredWaypoints, ReadsTheLinesThatAreWaypointsAndPassesOverTheRest) {
  const std::string text =
      "0 0.90000000 0.30000000\n"
      "1 -0.5 -3.14159265\r\n"       // CR LF, negative values
      "junk\n"                       // no number
      "\n"                           // empty
      "2 0.1\n"                      // a coordinate missing
      "100 0.1 0.2\n"                // a number the INS does not know
      "-1 0.1 0.2\n"                 // nor this one
      "3 nan 0.2\n"                  // not finite
      "4 0.1 inf\n"                  // not finite
      "  99   0.25   0.75  extra\n"  // blanks around, words after
      "1 0.6 0.7";                   // again, without a final line feed
  const auto got = stored_waypoints(text);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].number, 0);
  EXPECT_DOUBLE_EQ(got[0].lat_rad, 0.9);
  EXPECT_DOUBLE_EQ(got[0].lon_west_rad, 0.3);
  EXPECT_EQ(got[1].number, 1);
  EXPECT_DOUBLE_EQ(got[1].lon_west_rad, -3.14159265);
  EXPECT_EQ(got[2].number, 99);
  EXPECT_DOUBLE_EQ(got[2].lon_west_rad, 0.75);
  EXPECT_EQ(got[3].number, 1);  // a repeated number stays in file order
  EXPECT_DOUBLE_EQ(got[3].lat_rad, 0.6);
}

TEST(StoredWaypoints, EmptyAndBinaryTextsGiveNoWaypoints) {
  EXPECT_TRUE(stored_waypoints("").empty());
  EXPECT_TRUE(stored_waypoints(std::string("\0\xff\xfe 1 2", 7)).empty());
}

}  // namespace
