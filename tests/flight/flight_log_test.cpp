// The flight log's leg figures on a track whose distances are known by hand: legs along the
// equator flown 0.6 NM north of it (0.01 degree).
#include "flight_log.h"

#include <gtest/gtest.h>

namespace {

TEST(FlightLog, LegTimesClosestApproachAndCrossTrack) {
  flight::FlightPlan plan;
  plan.waypoints = {{"A", 0.0, 0.0, 1}, {"B", 0.0, 1.0, 2}, {"C", 0.0, 2.0, 3}};
  flight::FlightLog log(plan, 10.0);
  ASSERT_EQ(log.legs().size(), 2u);
  EXPECT_NEAR(log.legs()[0].leg_nm, 60.0, 1e-9);
  // One point a second at 0.01 degree of longitude a second (36 degrees an hour), TO 02 until
  // longitude 1, then TO 03. The INS numbers plan waypoint i as i + 1.
  bool changed_at_b = false;
  for (int second = 0; second <= 150; ++second) {
    const double lon = 0.01 * second;
    flight::TrackPoint point;
    point.time_s = second;
    point.lat_deg = 0.01;
    point.lon_east_deg = lon;
    point.to_waypoint = lon < 1.0 - 1e-9 ? 2 : 3;
    if (log.record(point)) changed_at_b = second == 100;
  }
  EXPECT_TRUE(changed_at_b);
  const flight::LegRecord& ab = log.legs()[0];
  const flight::LegRecord& bc = log.legs()[1];
  EXPECT_EQ(ab.from_ident, "A");
  EXPECT_EQ(ab.to_number, 2);
  EXPECT_NEAR(ab.time_s, 99.0, 1e-9);  // TO 02 from second 0 to second 99
  EXPECT_NEAR(bc.time_s, 50.0, 1e-9);
  EXPECT_NEAR(ab.closest_nm, 0.6, 1e-6);
  EXPECT_NEAR(ab.max_xtk_nm, 0.6, 1e-6);
  EXPECT_NEAR(log.closest_nm(0), 0.6, 1e-6);
  EXPECT_NEAR(log.closest_nm(2), flight::distance_nm(0.01, 1.5, 0.0, 2.0), 1e-9);
  EXPECT_NEAR(flight::distance_nm(0.01, 1.5, 0.0, 2.0), 30.006, 0.001);
  // Sampled every 10 s plus the leg change at 100 s.
  EXPECT_EQ(log.track().size(), 16u);
  EXPECT_NE(flight::FlightLog::table_row(ab).find(" 0:01:39 "), std::string::npos)
      << flight::FlightLog::table_row(ab);
}

}  // namespace
