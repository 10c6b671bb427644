// The navigation cycle, driven as the host drives it: positions through host variables 71/72,
// waypoints from a WAYPOINTS.DAT written here, and the steering event as the host receives it.
//
// Expected values are computed independently: distances and courses with GeographicLib on a
// sphere whose radius is one radian in nautical miles (one minute of arc per mile), positions
// off a leg built with GeographicLib's direct problem, the wind triangle solved by adding
// velocity vectors, and the worked figures by hand. Waypoint coordinates are taken back from
// the file text as single-precision numbers, as the INS reads them.
#include "nav/navigation_cycle.h"

#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "boundary/gauge_api.h"
#include "boundary/gauge_vocabulary.h"
#include "core/geodesy.h"
#include "state/ins_state.h"
#include "tests/unit/test_support.h"

using test_support::ModuleTest;

namespace {

// The reference sphere's radius from the definition (one minute of arc per nautical mile),
// independent of the module's NM_PER_RADIAN on purpose.
constexpr double kNmPerRadian = 60.0 * 180.0 / PI;

double rad(double degrees) {
  return degrees * PI / 180.0;
}
double deg(double radians) {
  return radians * 180.0 / PI;
}

// Signed difference a - b of two angles in degrees, the short way round: in [-180, 180].
double angle_diff_deg(double a, double b) {
  return std::remainder(a - b, 360.0);
}

const GeographicLib::Geodesic& sphere() {
  static const GeographicLib::Geodesic geodesic(kNmPerRadian, 0.0);
  return geodesic;
}

// A position in degrees, latitude north and longitude EAST positive, as the host has them.
struct Pos {
  double lat;
  double lon;
};

struct Leg {
  double nm;        // great-circle distance
  double azimuth;   // true course at the start, degrees clockwise
  double azimuth2;  // true course at the end
};

Leg inverse(Pos a, Pos b) {
  Leg leg{};
  sphere().Inverse(a.lat, a.lon, b.lat, b.lon, leg.nm, leg.azimuth, leg.azimuth2);
  return leg;
}

// The point `nm` from `a` on true course `azimuth`; `azimuth_there` receives the course there.
Pos direct(Pos a, double azimuth, double nm, double* azimuth_there = nullptr) {
  Pos b{};
  double azimuth2 = 0.0;
  sphere().Direct(a.lat, a.lon, azimuth, nm, b.lat, b.lon, azimuth2);
  if (azimuth_there != nullptr) *azimuth_there = azimuth2;
  return b;
}

double knots_to_host(double kt) {
  return kt * METRES_PER_SECOND_PER_KNOT;
}

class NavigationCycleTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    ins_state.nav_ready = 1;
    ins_state.ins_powered = 1;
    set_var(HOST_VAR_AP_MASTER, 1.0);
    set_var(HOST_VAR_AP_HEADING, 1.0);
    set_var(HOST_VAR_OAT, 15.0);
    for (const HostVarToken token : {HOST_VAR_GROUND_SPEED, HOST_VAR_HEADING_MAG, HOST_VAR_MAGVAR,
                                     HOST_VAR_WIND_SPEED, HOST_VAR_WIND_DIR, HOST_VAR_MACH})
      set_var(token, 0.0);
  }

  void place_aircraft(Pos p) {
    set_var(HOST_VAR_LATITUDE, p.lat / HOST_LAT_DEG_PER_UNIT);
    const double angle = p.lon / 360.0 * HOST_LON_UNITS_PER_TURN;
    set_var(HOST_VAR_LONGITUDE, p.lon >= 0.0 ? angle : HOST_LON_UNITS_PER_TURN + angle);
  }

  // Writes lines numbered 0.. in the file's form (radians, longitude WEST positive) and returns
  // the positions as the file holds them, in degrees east-positive.
  std::vector<Pos> write_waypoints(const std::vector<Pos>& positions) {
    std::string text;
    std::vector<Pos> stored;
    for (std::size_t i = 0; i < positions.size(); ++i) {
      text += waypoint_line(static_cast<int>(i), positions[i], &stored.emplace_back());
    }
    workdir.write("WAYPOINTS.DAT", text);
    return stored;
  }

  static std::string waypoint_line(int number, Pos p, Pos* stored) {
    char text[100];
    std::snprintf(text, sizeof text, "%d %.9f %.9f\n", number, rad(p.lat), -rad(p.lon));
    char* rest = nullptr;
    std::strtol(text, &rest, 10);
    const float lat = std::strtof(rest, &rest);
    const float lon_west = std::strtof(rest, &rest);
    *stored = Pos{deg(lat), -deg(lon_west)};
    return text;
  }

  void set_ground_speed_kt(double kt) { set_var(HOST_VAR_GROUND_SPEED, knots_to_host(kt)); }

  void run_cycle() { ins_update_service(nullptr, SERVICE_PRE_UPDATE, 0); }
  void run_alt_cycle() { ins_alt_update_service(nullptr, SERVICE_PRE_UPDATE, 0); }

  std::vector<uint32_t> heading_events() {
    std::vector<uint32_t> values;
    for (const auto& [id, value] : events()) {
      if (id == EVENT_HEADING_BUG_SET) values.push_back(value);
    }
    return values;
  }
};

// ---------------------------------------------------------------------------------------------
// Service codes and the waypoint reloads.
// ---------------------------------------------------------------------------------------------

TEST_F(NavigationCycleTest, OnlyThePerFrameServiceCodeRunsTheCycle) {
  write_waypoints({{50.0, 8.0}});
  for (uint32_t code : {SERVICE_PRE_INSTALL, SERVICE_PRE_INITIALIZE, SERVICE_PRE_KILL}) {
    ins_update_service(nullptr, code, 0);
    ins_alt_update_service(nullptr, code, 0);
  }
  EXPECT_EQ(test_support::test_host().lookups, 0);
  EXPECT_EQ(ins_state.reload_to_waypoint, 1);
  run_alt_cycle();
  EXPECT_GT(test_support::test_host().lookups, 0);
  EXPECT_EQ(ins_state.reload_to_waypoint, 0);
}

TEST_F(NavigationCycleTest, FirstCycleLoadsWaypointZeroAsToAndFindsNoFrom) {
  const std::vector<Pos> file = write_waypoints({{50.25, 8.5}, {51.0, 9.0}, {52.0, 10.0}});
  place_aircraft({50.0, 8.0});
  run_cycle();
  EXPECT_EQ(ins_state.to_lat, rad(file[0].lat));
  EXPECT_EQ(ins_state.to_lon, -rad(file[0].lon));
  EXPECT_EQ(ins_state.from_lat, 0.0);  // line -1 does not exist
  EXPECT_EQ(ins_state.from_lon, 0.0);
  EXPECT_NEAR(ins_state.to_lat_deg, 50.25, 1e-5);  // display form refreshed from the load
  EXPECT_NEAR(ins_state.to_lon_deg, -8.5, 1e-5);   // west positive
  EXPECT_EQ(ins_state.reload_to_waypoint, 0);
  EXPECT_EQ(ins_state.reload_from_waypoint, 0);
  EXPECT_NEAR(ins_state.distance_to_go, inverse({50.0, 8.0}, file[0]).nm, 1e-6);
}

TEST_F(NavigationCycleTest, WaypointsAreReadOnlyWhenAReloadIsRequested) {
  const std::vector<Pos> first = write_waypoints({{40.0, 1.0}, {41.0, 2.0}, {42.0, 3.0}});
  place_aircraft({41.5, 2.5});
  ins_state.to_waypoint = 2;
  ins_state.from_waypoint = 0;  // only shown; FROM is always the line before TO
  run_cycle();
  EXPECT_EQ(ins_state.to_lat, rad(first[2].lat));
  EXPECT_EQ(ins_state.from_lat, rad(first[1].lat));

  const std::vector<Pos> second = write_waypoints({{30.0, 1.0}, {31.0, 2.0}, {32.0, 3.0}});
  run_cycle();
  EXPECT_EQ(ins_state.to_lat, rad(first[2].lat)) << "read without a request";
  EXPECT_EQ(ins_state.from_lat, rad(first[1].lat)) << "read without a request";

  ins_state.reload_to_waypoint = 1;
  run_cycle();
  EXPECT_EQ(ins_state.to_lat, rad(second[2].lat));
  EXPECT_EQ(ins_state.to_lon, -rad(second[2].lon));
  EXPECT_EQ(ins_state.from_lat, rad(first[1].lat));

  ins_state.reload_from_waypoint = 1;
  run_cycle();
  EXPECT_EQ(ins_state.from_lat, rad(second[1].lat));
  EXPECT_EQ(ins_state.from_lon, -rad(second[1].lon));
}

TEST_F(NavigationCycleTest, FromIsNotSoughtBeyondTheLastLineOfTheFile) {
  // Lines 0, 1, 3, 2: the last line carries 2, so TO 4 lies beyond it and line 3 is not read.
  Pos stored{};
  workdir.write("WAYPOINTS.DAT", NavigationCycleTest::waypoint_line(0, {10.0, 10.0}, &stored) +
                                     NavigationCycleTest::waypoint_line(1, {11.0, 10.0}, &stored) +
                                     NavigationCycleTest::waypoint_line(3, {13.0, 10.0}, &stored) +
                                     NavigationCycleTest::waypoint_line(2, {12.0, 10.0}, &stored));
  ins_state.to_waypoint = 4;
  run_cycle();
  EXPECT_EQ(ins_state.file_waypoint_number, 2);
  EXPECT_EQ(ins_state.from_lat, 0.0);
  EXPECT_EQ(ins_state.from_lon, 0.0);

  ins_state.to_waypoint = 2;  // now line 1 is the FROM waypoint
  ins_state.reload_to_waypoint = 1;
  ins_state.reload_from_waypoint = 1;
  run_cycle();
  EXPECT_NEAR(deg(ins_state.from_lat), 11.0, 1e-5);
}

TEST_F(NavigationCycleTest, MissingFileKeepsTheLegAndSpendsTheRequests) {
  ins_state.to_lat = rad(12.5);
  ins_state.to_lon = rad(-3.25);  // 3.25 E
  ins_state.from_lat = rad(11.0);
  ins_state.from_lon = rad(-3.0);
  ins_state.to_waypoint = 1;
  run_cycle();
  EXPECT_EQ(ins_state.to_lat, rad(12.5));
  EXPECT_EQ(ins_state.from_lat, rad(11.0));
  EXPECT_EQ(ins_state.reload_to_waypoint, 0);
  EXPECT_EQ(ins_state.reload_from_waypoint, 0);
  EXPECT_NEAR(ins_state.to_lat_deg, 12.5, 1e-9);  // display form refreshed from the kept values
  EXPECT_NEAR(ins_state.to_lon_deg, -3.25, 1e-9);
}

// ---------------------------------------------------------------------------------------------
// Time to go and ground speed.
// ---------------------------------------------------------------------------------------------

TEST_F(NavigationCycleTest, TimeToGoInHoursMinutesAndTenths) {
  struct Case {
    double distance_nm;
    double ground_speed_kt;
  };
  // 130 NM at 400 kt is 0.325 h = 19.5 min by hand; a thousandth of a mile more keeps the tenths
  // clear of the truncation edge. The long case runs past 255 hours, where the hours wrap.
  const Case cases[] = {{130.001, 400.0}, {600.0, 41.0}, {10600.0, 41.0}, {2.0, 480.0}};
  const Pos to{-10.0, 30.0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.distance_nm);
    SetUp();
    const std::vector<Pos> file = write_waypoints({to});
    const Pos here = direct(file[0], 200.0, c.distance_nm);
    place_aircraft(here);
    set_ground_speed_kt(c.ground_speed_kt);
    run_cycle();

    const double distance_nm = inverse(here, file[0]).nm;
    ASSERT_NEAR(ins_state.distance_to_go, distance_nm, 1e-6);
    const double hours = distance_nm / c.ground_speed_kt;
    const double whole_hours = std::floor(hours);
    const double minutes = (hours - whole_hours) * 60.0;
    EXPECT_NEAR(ins_state.time_to_go_hours, hours, 1e-9);
    EXPECT_EQ(ins_state.ttg_hours, static_cast<int>(whole_hours) % 256);
    EXPECT_EQ(ins_state.ttg_minutes, std::floor(minutes));
    EXPECT_EQ(ins_state.ttg_tenths, static_cast<int>((minutes - std::floor(minutes)) * 10.0));
    EXPECT_NEAR(ins_state.ground_speed, c.ground_speed_kt, 1e-9);
    EXPECT_NEAR(ins_state.ground_speed_shown, c.ground_speed_kt, 1e-9);
  }
  // The worked figure, by hand.
  SetUp();
  write_waypoints({to});
  place_aircraft(direct(to, 0.0, 130.001));
  set_ground_speed_kt(400.0);
  run_cycle();
  EXPECT_EQ(ins_state.ttg_hours, 0);
  EXPECT_EQ(ins_state.ttg_minutes, 19.0);
  EXPECT_EQ(ins_state.ttg_tenths, 5);
}

TEST_F(NavigationCycleTest, SlowAircraftShowsNoTimeNoSpeedAndKeepsTheShownWind) {
  write_waypoints({{0.0, 1.0}});
  place_aircraft({0.0, 0.0});
  ins_state.wind_dir_shown = 123;
  ins_state.wind_speed_shown = 45;
  set_ground_speed_kt(35.0);
  set_var(HOST_VAR_WIND_SPEED, 20.0);
  set_var(HOST_VAR_WIND_DIR, 300.0);
  run_cycle();
  EXPECT_EQ(ins_state.time_to_go_hours, 0.0);
  EXPECT_EQ(ins_state.ttg_minutes, 0.0);
  EXPECT_EQ(ins_state.ground_speed_shown, 0.0);
  EXPECT_NEAR(ins_state.ground_speed, 35.0, 1e-9);
  EXPECT_EQ(ins_state.wind_correction_sine, -999.0);
  EXPECT_EQ(ins_state.wind_dir_shown, 123);  // held: slow and no airspeed
  EXPECT_EQ(ins_state.wind_speed_shown, 45);

  set_var(HOST_VAR_MACH,
          0.2 * HOST_MACH_UNITS_PER_MACH);  // Mach 0.2 at 15 C: about 130 kt true airspeed
  run_cycle();
  EXPECT_EQ(ins_state.wind_dir_shown, 300);  // refreshed by the airspeed alone
  EXPECT_EQ(ins_state.wind_speed_shown, 20);
}

// ---------------------------------------------------------------------------------------------
// Steering.
// ---------------------------------------------------------------------------------------------

TEST_F(NavigationCycleTest, CourseOf090WithoutWindCorrectionSends89FromThePreviousFrame) {
  write_waypoints({{0.0, 1.0}});  // due east along the equator
  place_aircraft({0.0, 0.0});
  set_ground_speed_kt(30.0);  // too slow for a wind correction
  run_cycle();
  EXPECT_NEAR(ins_state.desired_track, 90.0, 1e-4);
  EXPECT_NEAR(ins_state.steer_heading, 89.5, 1e-4);
  EXPECT_TRUE(heading_events().empty());  // not coupled

  ins_state.hold_active = 1;
  set_var(HOST_VAR_MAGVAR,
          45.0);  // variation 45 E: this frame computes 045, but sends last frame's heading
  run_cycle();
  EXPECT_NEAR(ins_state.desired_track, 45.0, 1e-4);
  run_cycle();
  EXPECT_EQ(heading_events(), (std::vector<uint32_t>{89, 44}));
}

TEST_F(NavigationCycleTest, TheSentHeadingIsDefinedForEveryValue) {
  ins_state.hold_active = 1;
  ins_state.steer_heading = std::numeric_limits<double>::quiet_NaN();
  run_cycle();
  ins_state.steer_heading = 359.99;
  run_cycle();
  EXPECT_EQ(heading_events(), (std::vector<uint32_t>{0, 359}));
}

// The wind triangle, solved by adding velocities: the heading the INS steers, flown at the
// true airspeed in the wind, must make good the great-circle course to TO. The INS rounds the
// host's wind to the nearest knot and degree by adding 0.5, so the host is given values half a
// unit below the wind it is meant to see.
TEST_F(NavigationCycleTest, WindCorrectedHeadingMakesGoodTheDesiredCourse) {
  struct Case {
    const char* name;
    Pos here;
    Pos to;
    double variation_deg;  // east positive: magnetic = true - variation
    double wind_from_true_deg;
    double wind_kt;
    double mach;
    double oat_c;
  };
  const Case cases[] = {
      {"000, wind from the west", {10.0, 20.0}, {11.0, 20.0}, 0.0, 270.0, 40.0, 0.78, -40.0},
      {"090, wind from the south", {0.0, 0.0}, {0.0, 1.0}, 0.0, 180.0, 50.0, 0.78, -40.0},
      {"180, wind from the east", {-20.0, -40.0}, {-21.0, -40.0}, 0.0, 90.0, 30.0, 0.5, 0.0},
      {"270, wind from the north", {0.0, 10.0}, {0.0, 9.0}, 0.0, 0.0, 60.0, 0.78, -40.0},
      {"oblique, variation 7 W", {48.5, 2.3}, {51.4, -0.5}, -7.0, 250.0, 70.0, 0.74, -48.0},
      {"oblique, variation 12 E", {35.0, -120.0}, {37.5, -116.0}, 12.0, 330.0, 85.0, 0.6, -20.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const std::vector<Pos> file = write_waypoints({c.to});
    place_aircraft(c.here);
    set_ground_speed_kt(300.0);
    set_var(HOST_VAR_MAGVAR, c.variation_deg);
    set_var(HOST_VAR_WIND_SPEED, c.wind_kt - 0.5);
    set_var(HOST_VAR_WIND_DIR, c.wind_from_true_deg - 0.5);
    set_var(HOST_VAR_MACH, c.mach * HOST_MACH_UNITS_PER_MACH);
    set_var(HOST_VAR_OAT, c.oat_c);
    run_cycle();

    const double course_true = inverse(c.here, file[0]).azimuth;
    const double tas_kt = std::sqrt(1517.0 * (c.oat_c + 273.15)) * c.mach;
    ASSERT_NEAR(ins_state.true_airspeed, tas_kt, 1e-9);
    EXPECT_NEAR(angle_diff_deg(ins_state.desired_track, course_true - c.variation_deg), 0.0, 1e-3);

    // The steered magnetic heading is steer_heading plus the half degree it is kept below.
    const double heading_true = ins_state.steer_heading + 0.5 + c.variation_deg;
    const double wind_to = rad(c.wind_from_true_deg + 180.0);
    const double north = tas_kt * std::cos(rad(heading_true)) + c.wind_kt * std::cos(wind_to);
    const double east = tas_kt * std::sin(rad(heading_true)) + c.wind_kt * std::sin(wind_to);
    EXPECT_NEAR(angle_diff_deg(deg(std::atan2(east, north)), course_true), 0.0, 1e-3);
    // A real crosswind was corrected for: the heading is off the course into the wind.
    const double crosswind_kt = c.wind_kt * std::sin(rad(c.wind_from_true_deg - course_true));
    EXPECT_GT(std::fabs(crosswind_kt), 5.0);
    EXPECT_GT(angle_diff_deg(heading_true, course_true) * crosswind_kt, 0.0);
  }
}

TEST_F(NavigationCycleTest, UnusableWindCorrectionSteersTheUncorrectedCourse) {
  struct Case {
    const char* name;
    double ground_speed_kt;
    double mach;
    double wind_kt;
  };
  const Case cases[] = {
      {"slow", 39.99, 0.78, 50.0},                          // not above 40 kt
      {"crosswind above the airspeed", 200.0, 0.1, 100.0},  // about 66 kt true airspeed
      {"no airspeed", 200.0, 0.0, 50.0},
      {"no airspeed and no crosswind", 200.0, 0.0, -0.5},  // 0/0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    write_waypoints({{0.0, 1.0}});  // course 090
    place_aircraft({0.0, 0.0});
    set_ground_speed_kt(c.ground_speed_kt);
    set_var(HOST_VAR_MACH, c.mach * HOST_MACH_UNITS_PER_MACH);
    set_var(HOST_VAR_WIND_SPEED, c.wind_kt);
    set_var(HOST_VAR_WIND_DIR, 180.0);  // straight across the course
    run_cycle();
    EXPECT_EQ(ins_state.wind_correction_sine, -999.0);
    EXPECT_NEAR(ins_state.steer_heading, 89.5, 1e-4);
  }
}

// ---------------------------------------------------------------------------------------------
// Drift angle: heading against the previous frame's track, which the test sets directly. This
// frame's own track (about 090 here) would give other answers.
// ---------------------------------------------------------------------------------------------

TEST_F(NavigationCycleTest, DriftAngleAndSideAgainstThePreviousTrack) {
  struct Case {
    double host_heading;
    double previous_track;
    int drift;
    bool left;  // track left of heading: the wind pushes the aircraft left
  };
  const Case cases[] = {
      {5.0, 355.0, 10, true},   // across north: the track is 10 degrees left of the heading
      {355.0, 5.0, 10, false},  // across north: 10 degrees right
      {90.0, 80.7, 10, true},    {80.0, 90.2, 10, false},
      {359.5, 0.4, 0, false},     // heading 360 over a track just right of north
      {200.0, 10.0, 170, false},  // 190 left the long way round: 170 right the short way
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.host_heading << " over " << c.previous_track);
    SetUp();
    write_waypoints({{0.0, 1.0}});
    place_aircraft({0.0, 0.0});
    set_ground_speed_kt(200.0);
    ins_state.ground_speed = 200.0;
    ins_state.track = c.previous_track;
    ins_state.drift_left = c.left ? 0 : 1;
    set_var(HOST_VAR_HEADING_MAG, c.host_heading);
    run_cycle();
    EXPECT_EQ(ins_state.drift_angle, c.drift);
    EXPECT_EQ(ins_state.drift_left, c.left ? 1 : 0);
    EXPECT_NEAR(ins_state.track, 90.0, 1e-3);  // this frame's track, for the next frame
  }
}

TEST_F(NavigationCycleTest, DriftNeedsMoreThan75KnotsInThePreviousFrame) {
  const std::vector<Pos> file = write_waypoints({{-0.01, 1.0}});
  place_aircraft({0.0, 0.0});
  const double course = inverse({0.0, 0.0}, file[0]).azimuth;  // 090.57: the track next frame
  ASSERT_EQ(std::floor(course), 90.0);
  set_var(HOST_VAR_HEADING_MAG, 100.0);
  set_ground_speed_kt(200.0);  // this frame's speed does not count
  ins_state.ground_speed = 75.0;
  ins_state.track = 90.0;
  ins_state.drift_angle = 7;
  ins_state.drift_left = 0;
  run_cycle();
  EXPECT_EQ(ins_state.drift_angle, 0);
  EXPECT_EQ(ins_state.drift_left, 0);  // kept although the track is left of the heading
  EXPECT_NEAR(ins_state.track, course, 1e-3);
  run_cycle();  // now the previous frame was fast
  EXPECT_EQ(ins_state.drift_angle, 10);
  EXPECT_EQ(ins_state.drift_left, 1);
}

// ---------------------------------------------------------------------------------------------
// Cross-track, track angle error, desired track and track.
// ---------------------------------------------------------------------------------------------

// The present position is put 5 NM off the leg at right angles to it, a quarter or three
// quarters of the way along. On a sphere that is exactly 5 NM of cross-track.
TEST_F(NavigationCycleTest, CrossTrackAndTrackAngleErrorFromTheNearerHalf) {
  struct LegCase {
    const char* name;
    Pos from;
    Pos to;
  };
  const LegCase legs[] = {
      {"northbound along a meridian", {40.0, 10.0}, {42.0, 10.0}},
      {"southbound along a meridian", {42.0, 10.0}, {40.0, 10.0}},
      {"oblique, north-east", {45.0, 5.0}, {46.0, 7.0}},
  };
  for (const LegCase& leg_case : legs) {
    for (double fraction : {0.25, 0.75}) {
      for (bool left : {true, false}) {
        SCOPED_TRACE(testing::Message()
                     << leg_case.name << ", " << fraction << (left ? " left" : " right"));
        SetUp();
        const std::vector<Pos> file = write_waypoints({leg_case.from, leg_case.to});
        const Pos from = file[0];
        const Pos to = file[1];
        ins_state.to_waypoint = 1;
        const Leg leg = inverse(from, to);
        double course_at_foot = 0.0;
        const Pos foot = direct(from, leg.azimuth, leg.nm * fraction, &course_at_foot);
        const Pos here = direct(foot, course_at_foot + (left ? -90.0 : 90.0), 5.0);
        place_aircraft(here);
        set_var(HOST_VAR_MAGVAR, 3.0);
        run_cycle();

        EXPECT_NEAR(ins_state.cross_track_nm, 5.0, 1e-4);
        EXPECT_EQ(ins_state.cross_track_left, left ? 1 : 0);

        // Angle at the reference waypoint between the leg and the line to the aircraft.
        const bool to_is_reference = fraction < 0.5;
        const Pos reference = to_is_reference ? to : from;
        const Pos other_end = to_is_reference ? from : to;
        const double leg_course = inverse(reference, other_end).azimuth;
        const double present_course = inverse(reference, here).azimuth;
        EXPECT_NEAR(ins_state.track_error, std::fabs(angle_diff_deg(leg_course, present_course)),
                    1e-3);
        EXPECT_EQ(ins_state.track_error_left, left ? 1 : 0) << "same side as the cross-track";
        EXPECT_NEAR(angle_diff_deg(deg(ins_state.ref_leg_course), leg_course + 180.0), 0.0, 1e-3);

        const double desired = inverse(here, to).azimuth - 3.0;
        EXPECT_NEAR(angle_diff_deg(ins_state.desired_track, desired), 0.0, 1e-3);
        const double track = desired + (left ? -5.0 : 5.0);  // one degree per mile
        EXPECT_NEAR(angle_diff_deg(ins_state.track, track), 0.0, 1e-3);
        EXPECT_GE(ins_state.track, 0.0);
        EXPECT_LT(ins_state.track, 360.0);
      }
    }
  }
}

TEST_F(NavigationCycleTest, DesiredTrack002FiveMilesLeftGivesTrack357) {
  // Leg north along the prime meridian; the aircraft on the equator 5 NM west of it (1/12
  // degree of longitude is 5 minutes of arc), the variation chosen so the magnetic course to
  // TO is 002.
  const std::vector<Pos> file = write_waypoints({{-1.0, 0.0}, {1.0, 0.0}});
  ins_state.to_waypoint = 1;
  for (bool left : {true, false}) {
    SCOPED_TRACE(left ? "left" : "right");
    const Pos here{0.0, left ? -1.0 / 12.0 : 1.0 / 12.0};
    place_aircraft(here);
    set_var(HOST_VAR_MAGVAR, inverse(here, file[1]).azimuth - 2.0);
    run_cycle();
    EXPECT_NEAR(ins_state.desired_track, 2.0, 1e-4);
    // The 1e-8 guard in every course turns the leg by up to 3e-7 rad: 2e-5 NM of cross-track.
    EXPECT_NEAR(ins_state.cross_track_nm, 5.0, 1e-4);
    EXPECT_NEAR(ins_state.track, left ? 357.0 : 7.0, 1e-3);
  }
}

TEST_F(NavigationCycleTest, MidLegBelongsToTheToHalf) {
  const std::vector<Pos> file = write_waypoints({{45.0, 5.0}, {46.0, 7.0}});
  ins_state.to_waypoint = 1;
  const Leg leg = inverse(file[0], file[1]);
  const double to_reference_course = inverse(file[1], file[0]).azimuth + 180.0;
  const double from_reference_course = leg.azimuth + 180.0;
  // Either side of the middle of the leg, through the whole cycle.
  for (double nm : {leg.nm / 2.0 - 0.01, leg.nm / 2.0 + 0.01}) {
    place_aircraft(direct(file[0], leg.azimuth, nm));
    run_cycle();
    const double expected = nm < leg.nm / 2.0 ? to_reference_course : from_reference_course;
    EXPECT_NEAR(angle_diff_deg(deg(ins_state.ref_leg_course), expected), 0.0, 1e-3);
  }
  // Exactly at the middle, which positions cannot hit to the last bit.
  ins_state.from_angle = ins_state.leg_angle * 0.5;
  EXPECT_EQ(navigation_steps::compute_cross_track_angle(),
            navigation_steps::CrossTrackReference::TO_WAYPOINT);
  EXPECT_NEAR(angle_diff_deg(deg(ins_state.ref_leg_course), to_reference_course), 0.0, 1e-3);
  ins_state.from_angle = std::nextafter(ins_state.leg_angle * 0.5, 1.0);
  EXPECT_EQ(navigation_steps::compute_cross_track_angle(),
            navigation_steps::CrossTrackReference::FROM_WAYPOINT);
}

// The cycle keeps what depends on the leg alone, and the present latitude's sine and cosine,
// from frame to frame. Whatever moves a waypoint or the aircraft between frames (a new leg, an
// entry written straight into the state, a return to an earlier leg, a jump of the aircraft),
// every figure must be exactly what the stateless great-circle routines give for the state as
// it is now: a value kept from an earlier leg or position would show here as a wrong bit.
TEST_F(NavigationCycleTest, KeptLegGeometryFollowsEveryChangeOfTheLegBitForBit) {
  struct Frame {
    Pos from, to, present;  // degrees, longitude east positive
  };
  const Pos a{45.0, 5.0}, b{46.0, 7.0}, c{-33.5, 151.2}, d{64.1, -21.9};
  const Frame frames[] = {
      {a, b, {45.2, 5.3}},
      {a, b, {45.2, 5.3}},               // the same frame twice
      {a, b, {45.9, 6.9}},               // the far half of the leg
      {a, c, {45.9, 6.9}},               // TO replaced
      {d, c, {45.9, 6.9}},               // FROM replaced
      {c, d, {45.9, 6.9}},               // the leg reversed
      {a, b, {45.9, 6.9}},               // back to the first leg
      {a, b, {-10.0, 100.0}},            // the aircraft moved far away
      {a, b, {45.0, 5.0}},               // on the FROM waypoint
      {{45.0, 5.0001}, b, {45.0, 5.0}},  // FROM moved by a hair
  };
  ins_state.magnetic_variation = rad(-4.0);
  for (const Frame& f : frames) {
    ins_state.from_lat = rad(f.from.lat);
    ins_state.from_lon = -rad(f.from.lon);
    ins_state.to_lat = rad(f.to.lat);
    ins_state.to_lon = -rad(f.to.lon);
    ins_state.present_lat = rad(f.present.lat);
    ins_state.present_lon = -rad(f.present.lon);
    navigation_steps::compute_leg_geometry();
    navigation_steps::compute_direct_course();
    const auto reference = navigation_steps::compute_cross_track_angle();

    const InsState& s = ins_state;
    const double leg = central_angle(s.from_lat, s.from_lon, s.to_lat, s.to_lon);
    const double to = central_angle(s.present_lat, s.present_lon, s.to_lat, s.to_lon);
    const double from = central_angle(s.from_lat, s.from_lon, s.present_lat, s.present_lon);
    EXPECT_EQ(s.leg_angle, leg);
    EXPECT_EQ(s.to_angle, to);
    EXPECT_EQ(s.from_angle, from);
    const double course_ccw = initial_course(s.present_lat, s.to_lat, s.to_lon - s.present_lon);
    EXPECT_EQ(s.direct_course_angle, std::fmod(course_ccw + s.magnetic_variation, TWO_PI));
    const bool to_half = leg * 0.5 >= from;
    EXPECT_EQ(reference == navigation_steps::CrossTrackReference::TO_WAYPOINT, to_half);
    const auto reversed = [](double lat_a, double lon_a, double lat_b, double lon_b) {
      return std::fmod(initial_course(lat_a, lat_b, lon_a - lon_b) + PI, TWO_PI);
    };
    if (to_half) {
      EXPECT_EQ(s.ref_leg_course, reversed(s.to_lat, s.to_lon, s.from_lat, s.from_lon));
      EXPECT_EQ(s.ref_present_course, reversed(s.to_lat, s.to_lon, s.present_lat, s.present_lon));
    } else {
      EXPECT_EQ(s.ref_leg_course, reversed(s.from_lat, s.from_lon, s.to_lat, s.to_lon));
      EXPECT_EQ(s.ref_present_course,
                reversed(s.from_lat, s.from_lon, s.present_lat, s.present_lon));
    }
  }
}

TEST_F(NavigationCycleTest, NothingIsShownBeforeTheInsIsReady) {
  write_waypoints({{-1.0, 0.0}, {1.0, 0.0}});
  ins_state.to_waypoint = 1;
  place_aircraft({0.0, -0.1});
  set_var(HOST_VAR_HEADING_MAG, 123.0);
  set_ground_speed_kt(300.0);
  ins_state.nav_ready = 0;
  run_cycle();
  EXPECT_EQ(ins_state.distance_to_go, 0.0);
  EXPECT_EQ(ins_state.heading, 0);
  EXPECT_EQ(ins_state.steer_heading, 0.0);
  EXPECT_EQ(ins_state.cross_track_nm, 0.0);
  EXPECT_EQ(ins_state.track_error, 0.0);
  EXPECT_EQ(ins_state.desired_track, 0.0);
  EXPECT_EQ(ins_state.track, 0.0);
  EXPECT_EQ(ins_state.ttg_minutes, 0.0);

  ins_state.nav_ready = 1;
  run_cycle();
  EXPECT_NEAR(ins_state.distance_to_go, inverse({0.0, -0.1}, {1.0, 0.0}).nm, 1e-3);
  EXPECT_EQ(ins_state.heading, 123);
  EXPECT_GT(ins_state.cross_track_nm, 5.0);
  EXPECT_GT(ins_state.track_error, 1.0);
  EXPECT_GT(ins_state.desired_track, 1.0);
  EXPECT_GT(ins_state.ttg_minutes, 0.0);
}

// ---------------------------------------------------------------------------------------------
// Leg sequencing and the end of the coupling.
// ---------------------------------------------------------------------------------------------

class CoupledLegTest : public NavigationCycleTest {
 protected:
  // Three waypoints eastward along 50 N; the aircraft `nm` short of waypoint `to` on the leg.
  Pos fly_coupled_towards(int to, double nm) {
    file_ = write_waypoints({{50.0, 0.0}, {50.0, 1.0}, {50.0, 2.0}});
    ins_state.to_waypoint = static_cast<uint8_t>(to);
    ins_state.from_waypoint = static_cast<uint8_t>(to - 1);
    ins_state.hold_active = 1;
    const Pos here = direct(file_[to], inverse(file_[to], file_[to - 1]).azimuth, nm);
    place_aircraft(here);
    run_cycle();
    EXPECT_NEAR(ins_state.distance_to_go, nm, 1e-4);
    return here;
  }
  std::vector<Pos> file_;
};

TEST_F(CoupledLegTest, AutoChangesLegWithinTwoMilesUpToTheLastLine) {
  struct Case {
    int to;
    double nm;
    bool changes;
  };
  // 2.0 itself cannot be hit to the last bit through positions; 1.9999 is as close as needed.
  const Case cases[] = {{1, 1.9999, true}, {1, 2.01, false}, {1, 0.0, true}, {2, 0.3, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "TO " << c.to << " at " << c.nm);
    SetUp();
    fly_coupled_towards(c.to, c.nm);
    EXPECT_EQ(heading_events().size(), 1u);
    EXPECT_EQ(ins_state.hold_active, 1);
    EXPECT_EQ(ins_state.to_waypoint, c.changes ? c.to + 1 : c.to);
    EXPECT_EQ(ins_state.from_waypoint, c.to - (c.changes ? 0 : 1));
    EXPECT_EQ(ins_state.reload_to_waypoint, c.changes ? 1 : 0);
    EXPECT_EQ(ins_state.reload_from_waypoint, c.changes ? 1 : 0);
    EXPECT_EQ(ins_state.to_lat, rad(file_[c.to].lat));  // this frame finishes the old leg
  }
}

TEST_F(CoupledLegTest, TheNewLegIsReadInTheNextFrame) {
  const Pos here = fly_coupled_towards(1, 1.5);
  ASSERT_EQ(ins_state.to_waypoint, 2);
  run_cycle();
  EXPECT_EQ(ins_state.to_lon, -rad(file_[2].lon));
  EXPECT_EQ(ins_state.from_lon, -rad(file_[1].lon));
  EXPECT_NEAR(ins_state.distance_to_go, inverse(here, file_[2]).nm, 1e-6);
  EXPECT_EQ(ins_state.to_waypoint, 2);  // 60 NM out: no further change
}

TEST_F(CoupledLegTest, ManDropsHoldWithinHalfAMileAndNeverChangesLeg) {
  for (double nm : {0.4999, 0.51, 1.5}) {
    SCOPED_TRACE(nm);
    SetUp();
    ins_state.auto_selected = 0;
    ins_state.man_selected = 1;
    fly_coupled_towards(1, nm);
    EXPECT_EQ(heading_events().size(), 1u);  // sent before the release
    EXPECT_EQ(ins_state.hold_active, nm <= 0.5 ? 0 : 1);
    EXPECT_EQ(ins_state.to_waypoint, 1);
    EXPECT_EQ(ins_state.reload_to_waypoint, 0);
  }
}

TEST_F(CoupledLegTest, NotCoupledTheLegNeverChanges) {
  fly_coupled_towards(1, 3.0);
  ins_state.hold_active = 0;
  place_aircraft(file_[1]);
  run_cycle();
  EXPECT_EQ(ins_state.to_waypoint, 1);
  EXPECT_EQ(heading_events().size(), 1u);  // only the coupled first frame sent
}

TEST_F(NavigationCycleTest, AutoNeverStepsPastWaypoint99) {
  // A hand-edited file numbering a line 150: TO 99 is the last number the INS can hold.
  Pos stored{};
  workdir.write("WAYPOINTS.DAT", NavigationCycleTest::waypoint_line(0, {0.0, 0.0}, &stored) +
                                     NavigationCycleTest::waypoint_line(150, {1.0, 1.0}, &stored));
  ins_state.to_waypoint = 99;  // no such line: TO stays at 0, 0, where the aircraft is
  ins_state.hold_active = 1;
  place_aircraft({0.0, 0.0});
  run_cycle();
  EXPECT_EQ(ins_state.file_waypoint_number, 150);
  EXPECT_EQ(ins_state.to_waypoint, 99);
}

// Step 6 is the only difference between the two gauges.
TEST_F(CoupledLegTest, APermitAtZeroDropsHoldInTheSameFrameOnlyForInsUpdate) {
  for (bool alternate : {false, true}) {
    for (uint32_t permit : {103u, 106u}) {
      SCOPED_TRACE(testing::Message() << (alternate ? "INS_ALT_UPDATE" : "INS_UPDATE") << " with "
                                      << permit << " at 0");
      SetUp();
      fly_coupled_towards(1, 30.0);
      ASSERT_EQ(ins_state.coupling_permit_103, 1);
      ASSERT_EQ(ins_state.coupling_permit_106, 1);
      set_var(permit, 0.0);
      alternate ? run_alt_cycle() : run_cycle();
      EXPECT_EQ(heading_events().size(), 2u);  // this frame still steers
      EXPECT_EQ(ins_state.hold_active, alternate ? 1 : 0);
      EXPECT_EQ(ins_state.coupling_permit_103, permit == 103 && !alternate ? 0 : 1);
      EXPECT_EQ(ins_state.coupling_permit_106, permit == 106 && !alternate ? 0 : 1);
      alternate ? run_alt_cycle() : run_cycle();
      EXPECT_EQ(heading_events().size(), alternate ? 3u : 2u);
    }
  }
}

TEST_F(CoupledLegTest, PermitsAreCopiedWhenNotCoupled) {
  set_var(HOST_VAR_AP_MASTER, 0.0);
  run_cycle();
  EXPECT_EQ(ins_state.coupling_permit_103, 0);
  EXPECT_EQ(ins_state.coupling_permit_106, 1);
}

// Losing alignment or power while coupled releases HOLD: no heading 0 sent, no leg skipped.
TEST_F(CoupledLegTest, AnInsThatCannotNavigateReleasesHoldAndSendsNothing) {
  for (bool lose_power : {false, true}) {
    SCOPED_TRACE(lose_power ? "power lost" : "not ready");
    SetUp();
    fly_coupled_towards(1, 30.0);
    ASSERT_EQ(heading_events().size(), 1u);
    if (lose_power) {
      ins_state.ins_powered = 0;
    } else {
      ins_state.nav_ready = 0;  // distance to go now reads 0
    }
    for (int frame = 0; frame < 3; ++frame) run_cycle();
    EXPECT_EQ(ins_state.hold_active, 0);
    EXPECT_EQ(heading_events().size(), 1u);
    EXPECT_EQ(ins_state.to_waypoint, 1);
  }
}

}  // namespace
