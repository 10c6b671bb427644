// The flight log's leg figures: on a track whose distances are known by hand (legs along the
// equator flown 0.6 NM north of it, 0.01 degree), between two samples far apart, and on a long
// wandering track against brute force over every sample.
#include "host/flight/flight_log.h"

#include <gtest/gtest.h>

#include <GeographicLib/GeodesicLine.hpp>
#include <array>
#include <cmath>

#include "host/flight/flight_model.h"

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

namespace {

constexpr double NM = 1852.0;
const GeographicLib::Geodesic& sphere() {
  return flight::nav_sphere();
}

flight::TrackPoint at(double time_s, double lat_deg, double lon_deg, int to) {
  flight::TrackPoint point;
  point.time_s = time_s;
  point.lat_deg = lat_deg;
  point.lon_east_deg = lon_deg;
  point.to_waypoint = to;
  return point;
}

// Distance from a point to the great circle through a and b, from unit vectors: the reference
// the log's pole-based cross-track distance is held against.
double cross_track_nm(const flight::TrackPoint& p, const flight::PlanWaypoint& a,
                      const flight::PlanWaypoint& b) {
  auto unit = [](double lat_deg, double lon_deg) {
    const double lat = lat_deg * RAD_PER_DEGREE, lon = lon_deg * RAD_PER_DEGREE;
    return std::array<double, 3>{std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon),
                                 std::sin(lat)};
  };
  const auto u = unit(a.lat_deg, a.lon_east_deg), v = unit(b.lat_deg, b.lon_east_deg),
             w = unit(p.lat_deg, p.lon_east_deg);
  std::array<double, 3> n = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                             u[0] * v[1] - u[1] * v[0]};
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  const double dot = (n[0] * w[0] + n[1] * w[1] + n[2] * w[2]) / length;
  return std::abs(std::asin(dot)) * NM_PER_RADIAN;
}

// The closest the track comes to a point, by brute force: every sample, and many points along
// the great circle between two samples wherever the samples come within a mile of the best.
double closest_by_brute_force(const std::vector<flight::TrackPoint>& track, std::size_t count,
                              double lat_deg, double lon_deg) {
  std::vector<double> at_sample;
  double best = 1e300;
  for (std::size_t j = 0; j < count; ++j) {
    at_sample.push_back(
        flight::distance_nm(track[j].lat_deg, track[j].lon_east_deg, lat_deg, lon_deg));
    best = std::min(best, at_sample.back());
  }
  const double near = best + 1.0;
  for (std::size_t j = 0; j + 1 < count; ++j) {
    if (at_sample[j] > near && at_sample[j + 1] > near) continue;
    const GeographicLib::GeodesicLine line = sphere().InverseLine(
        track[j].lat_deg, track[j].lon_east_deg, track[j + 1].lat_deg, track[j + 1].lon_east_deg);
    for (int k = 1; k < 400; ++k) {
      double lat = 0.0, lon = 0.0;
      line.Position(line.Distance() * k / 400.0, lat, lon);
      best = std::min(best, flight::distance_nm(lat, lon, lat_deg, lon_deg));
    }
  }
  return best;
}

TEST(FlightLog, ClosestApproachBetweenTwoSamplesIsOnTheirGreatCircle) {
  // Samples a minute apart on a great circle; the waypoint 0.3 NM abeam a point 20 s after one.
  const GeographicLib::GeodesicLine line = sphere().DirectLine(63.0, -20.0, 40.0, 2000.0 * NM);
  double foot_lat = 0.0, foot_lon = 0.0, foot_azi = 0.0;
  line.Position(60.0 * 4.0 * NM + 20.0 * 4.0 * NM, foot_lat, foot_lon, foot_azi);
  flight::PlanWaypoint wp{"WP", 0.0, 0.0, 1};
  sphere().Direct(foot_lat, foot_lon, foot_azi + 90.0, 0.3 * NM, wp.lat_deg, wp.lon_east_deg);
  flight::FlightPlan plan;
  plan.waypoints = {{"A", 63.0, -20.0, 1}, wp};
  flight::FlightLog log(plan, 60.0);
  for (int second = 0; second <= 600; ++second) {  // 4 NM a second
    double lat = 0.0, lon = 0.0;
    line.Position(second * 4.0 * NM, lat, lon);
    log.record(at(second, lat, lon, 2));
  }
  EXPECT_EQ(log.track().size(), 11u);
  EXPECT_NEAR(log.closest_nm(1), 0.3, 1e-6);
  EXPECT_NEAR(log.legs()[0].closest_nm, 0.3, 1e-6);
  // The nearest sample is 20 s, 80 NM, away from the foot.
  EXPECT_GT(flight::distance_nm(log.track()[4].lat_deg, log.track()[4].lon_east_deg, wp.lat_deg,
                                wp.lon_east_deg),
            79.0);
}

TEST(FlightLog, AWanderingTrackGivesTheFiguresOfEverySample) {
  // Two hours of a track that weaves and circles near the 180-degree meridian, a sample a
  // second, the INS's TO waypoint switching back and forth between legs; the waypoints lie a
  // little off points of the track, so it passes each more than once, some closely.
  std::vector<flight::TrackPoint> points;
  std::vector<double> headings;
  double lat = -16.0, lon = 179.8, heading = 45.0;
  for (int second = 0; second <= 7200; ++second) {
    const int to = second < 2000 ? 2 : second < 3000 ? 3 : second < 3600 ? 2 : 3 + second / 5000;
    points.push_back(at(second, lat, lon, to));
    headings.push_back(heading);
    // A turn rate that wanders between -3 and +3 degrees a second, at 240 kt.
    heading += 3.0 * std::sin(second / 97.0) * std::cos(second / 331.0);
    double azi = 0.0;
    sphere().Direct(lat, lon, heading, 240.0 / 3600.0 * NM, lat, lon, azi);
  }
  flight::FlightPlan plan;
  const std::array<std::pair<int, double>, 4> abeam = {
      {{0, 0.0}, {1800, 0.4}, {4000, 0.05}, {6500, 1.3}}};  // second, NM to the right
  for (const auto& [second, off_nm] : abeam) {
    const flight::TrackPoint& p = points[static_cast<std::size_t>(second)];
    flight::PlanWaypoint wp{"W" + std::to_string(second), 0.0, 0.0, 1};
    sphere().Direct(p.lat_deg, p.lon_east_deg, headings[static_cast<std::size_t>(second)] + 90.0,
                    off_nm * NM, wp.lat_deg, wp.lon_east_deg);
    plan.waypoints.push_back(wp);
  }
  flight::FlightLog log(plan, 1.0);
  for (std::size_t j = 0; j < points.size(); ++j) {
    log.record(points[j]);
    // Figures read along the way are those of the track so far.
    if (j % 1500 != 700 && j + 1 != points.size()) continue;
    SCOPED_TRACE(j);
    ASSERT_EQ(log.track().size(), j + 1);
    for (std::size_t i = 0; i < plan.waypoints.size(); ++i) {
      const flight::PlanWaypoint& wp = plan.waypoints[i];
      EXPECT_NEAR(log.closest_nm(i),
                  closest_by_brute_force(points, j + 1, wp.lat_deg, wp.lon_east_deg), 2e-4)
          << wp.ident;
    }
    for (std::size_t leg = 0; leg < log.legs().size(); ++leg) {
      double largest = 0.0;
      for (std::size_t k = 0; k <= j; ++k) {
        if (points[k].to_waypoint != static_cast<int>(leg + 2)) continue;
        largest = std::max(largest,
                           cross_track_nm(points[k], plan.waypoints[leg], plan.waypoints[leg + 1]));
      }
      EXPECT_NEAR(log.legs()[leg].max_xtk_nm, largest, 1e-6) << "leg " << leg;
    }
  }
  EXPECT_GT(log.legs()[0].max_xtk_nm, 1.0);
  EXPECT_EQ(log.legs()[2].flown, true);
}

TEST(FlightLog, ALegOfNoLengthHasNoCrossTrack) {
  flight::FlightPlan plan;
  plan.waypoints = {{"A", 10.0, 10.0, 1}, {"A", 10.0, 10.0, 2}, {"B", 11.0, 10.0, 3}};
  flight::FlightLog log(plan, 1.0);
  EXPECT_EQ(log.closest_nm(0), -1.0);  // nothing flown yet
  for (int second = 0; second < 60; ++second)
    log.record(at(second, 10.0 + second * 0.001, 10.01, 2));
  EXPECT_EQ(log.legs()[0].leg_nm, 0.0);
  EXPECT_EQ(log.legs()[0].max_xtk_nm, 0.0);
  EXPECT_NEAR(log.legs()[0].closest_nm, flight::distance_nm(10.0, 10.01, 10.0, 10.0), 1e-6);
}

}  // namespace
