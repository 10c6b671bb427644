// The flight model on its own: the wind triangle, straight flight over the ground, the
// autopilot's standard-rate turn, the take-off, and motion across the 180-degree meridian and
// near a pole. Expected values come from the law of cosines (wind triangle) and GeographicLib's
// inverse problem on the same sphere, not from the model's own vector sum.
#include "host/flight/flight_model.h"

#include <gtest/gtest.h>

#include <GeographicLib/Geodesic.hpp>
#include <cmath>

#include "host/flight/atmosphere.h"

namespace {

constexpr double DEG = RAD_PER_DEGREE;

// Ground speed and track by the triangle's law of cosines: the angle between the heading and
// the direction the wind blows TO decides how much the wind adds, and the drift angle follows
// from the law of sines.
flight::GroundVector triangle_by_cosines(double tas_kt, double heading_deg, double wind_from_deg,
                                         double wind_kt) {
  const double wind_to_off_heading = (wind_from_deg + 180.0 - heading_deg) * DEG;
  const double gs_kt = std::sqrt(tas_kt * tas_kt + wind_kt * wind_kt +
                                 2.0 * tas_kt * wind_kt * std::cos(wind_to_off_heading));
  const double drift_deg = std::asin(wind_kt * std::sin(wind_to_off_heading) / gs_kt) / DEG;
  return {gs_kt, std::fmod(heading_deg + drift_deg + 360.0, 360.0)};
}

double angle_between_deg(double a_deg, double b_deg) {
  return std::abs(std::remainder(a_deg - b_deg, 360.0));
}

struct Inverse {
  double distance_nm;
  double azimuth_deg;
};
Inverse inverse_nm(double lat1, double lon1, double lat2, double lon2) {
  // The navigation sphere written out (NM per radian, metres per NM): an independent reference.
  static const GeographicLib::Geodesic sphere(3437.7467707849396 * 1852.0, 0.0);
  double s12_m = 0.0, azi1 = 0.0, azi2 = 0.0;
  sphere.Inverse(lat1, lon1, lat2, lon2, s12_m, azi1, azi2);
  return {s12_m / 1852.0, azi1};
}

// Runs the model for `seconds` at `fps` frames a second.
void fly(flight::FlightModel& model, double seconds, const flight::Autopilot& ap = {},
         int fps = 30) {
  const long frames = std::lround(seconds * fps);
  for (long frame = 0; frame < frames; ++frame) model.step(1.0 / fps, ap);
}

flight::FlightModel cruising(double lat, double lon, double heading_true, double tas_kt,
                             double alt_ft = 35000.0) {
  flight::FlightModel model;
  model.park(lat, lon, heading_true, alt_ft);
  model.state().tas_kt = tas_kt;
  model.fly_as_set();
  return model;
}

struct TriangleCase {
  double tas_kt, heading_deg, wind_from_deg, wind_kt;
};
constexpr TriangleCase TRIANGLES[] = {
    {450.0, 90.0, 0.0, 40.0},     // crosswind from the left: drift right
    {450.0, 270.0, 270.0, 40.0},  // straight headwind
    {480.0, 0.0, 180.0, 50.0},    // tailwind on north
    {480.0, 355.0, 250.0, 80.0},  // across north, wind from the left rear
    {250.0, 135.0, 60.0, 120.0},  // strong wind, large drift
};

TEST(FlightModelWind, TriangleGivesGroundSpeedAndTrack) {
  for (const TriangleCase& c : TRIANGLES) {
    SCOPED_TRACE(c.heading_deg);
    const flight::GroundVector expected =
        triangle_by_cosines(c.tas_kt, c.heading_deg, c.wind_from_deg, c.wind_kt);
    const flight::GroundVector got =
        flight::wind_triangle(c.tas_kt, c.heading_deg, flight::Wind{c.wind_from_deg, c.wind_kt});
    EXPECT_NEAR(got.gs_kt, expected.gs_kt, 1e-9);
    EXPECT_NEAR(angle_between_deg(got.track_true_deg, expected.track_true_deg), 0.0, 1e-9);
  }
  // By hand: 450 knots east, 40 knots from the north: sqrt(450^2 + 40^2), 90 + atan(40/450).
  const flight::GroundVector east = flight::wind_triangle(450.0, 90.0, flight::Wind{0.0, 40.0});
  EXPECT_NEAR(east.gs_kt, 451.774, 0.001);
  EXPECT_NEAR(east.track_true_deg, 95.080, 0.001);
}

TEST(FlightModelWind, StraightFlightMakesGoodTheTriangleOverTheGround) {
  for (const TriangleCase& c : TRIANGLES) {
    SCOPED_TRACE(c.heading_deg);
    flight::FlightModel model = cruising(0.5, 10.0, c.heading_deg, c.tas_kt);
    model.set_wind(flight::WindProfile(flight::Wind{c.wind_from_deg, c.wind_kt}));
    const double minutes = 10.0;
    fly(model, minutes * 60.0);
    const flight::GroundVector expected =
        triangle_by_cosines(c.tas_kt, c.heading_deg, c.wind_from_deg, c.wind_kt);
    EXPECT_NEAR(model.state().gs_kt, expected.gs_kt, 1e-6);
    EXPECT_NEAR(angle_between_deg(model.state().track_true_deg, expected.track_true_deg), 0.0,
                1e-6);
    // Over the ground, measured on the sphere: near the equator a held track is a great
    // circle to well within these tolerances over 10 minutes.
    const Inverse made_good =
        inverse_nm(0.5, 10.0, model.state().lat_deg, model.state().lon_east_deg);
    EXPECT_NEAR(made_good.distance_nm, expected.gs_kt * minutes / 60.0, 0.01);
    EXPECT_NEAR(angle_between_deg(made_good.azimuth_deg, expected.track_true_deg), 0.0, 0.01);
  }
}

TEST(FlightModelWind, EveryStepMovesAsTheTriangleAndTheSphereSayForTheInputsOfThatStep) {
  // The model keeps the last wind triangle, the track's and the step's sines and cosines; each
  // step must still come out exactly as the plain functions give it for that step's airspeed,
  // heading and wind, however these change between steps (and when they change back).
  using Change = void (*)(flight::FlightModel&);
  const Change changes[] = {
      [](flight::FlightModel& m) {
        m.state().tas_kt += 7.0;
        m.set_targets(m.target_alt_ft(), m.state().tas_kt);  // held from then on
      },
      [](flight::FlightModel& m) { m.state().heading_true_deg += 1.5; },
      [](flight::FlightModel& m) {
        m.set_wind(flight::WindProfile(flight::Wind{300.0, 55.0}));
      },
      [](flight::FlightModel& m) {
        m.set_wind(flight::WindProfile(flight::Wind{310.0, 55.0}));
      },
      [](flight::FlightModel& m) { m.state().heading_true_deg -= 1.5; },
      [](flight::FlightModel& m) {
        m.set_wind(flight::WindProfile(flight::Wind{300.0, 40.0}));
      },
      [](flight::FlightModel& m) { m.state().heading_true_deg = 0.0; },
      [](flight::FlightModel& m) { m.state().heading_true_deg = 359.75; },
  };
  flight::FlightModel model = cruising(63.0, -20.0, 300.0, 480.0);
  model.set_wind(flight::WindProfile(flight::Wind{300.0, 40.0}));
  const double dt_s = 1.0 / 30.0;
  int frame = 0;
  for (int round = 0; round < 3; ++round) {
    for (const Change change : changes) {
      change(model);
      for (int i = 0; i < 4; ++i, ++frame) {  // the change's frame and three steady ones
        const double lat = model.state().lat_deg, lon = model.state().lon_east_deg;
        model.step(dt_s, {});
        const flight::FlightState& s = model.state();
        const flight::GroundVector ground =
            flight::wind_triangle(s.tas_kt, s.heading_true_deg, model.wind_now());
        double expected_lat = lat, expected_lon = lon;
        flight::advance_on_sphere(expected_lat, expected_lon, ground.track_true_deg,
                                  ground.gs_kt * dt_s / 3600.0 / NM_PER_RADIAN);
        ASSERT_EQ(s.gs_kt, ground.gs_kt) << "frame " << frame;
        ASSERT_EQ(s.track_true_deg, ground.track_true_deg) << "frame " << frame;
        ASSERT_EQ(s.lat_deg, expected_lat) << "frame " << frame;
        ASSERT_EQ(s.lon_east_deg, expected_lon) << "frame " << frame;
      }
    }
  }
}

TEST(FlightModelWind, ProfileInterpolatesByComponentsBetweenLayers) {
  flight::WindProfile profile;
  EXPECT_TRUE(profile.calm());
  EXPECT_EQ(profile.at(10000.0).speed_kt, 0.0);
  profile.add_layer(30000.0, flight::Wind{90.0, 20.0});
  profile.add_layer(0.0, flight::Wind{0.0, 20.0});
  // Below and above the layers: the nearest layer.
  EXPECT_DOUBLE_EQ(profile.at(-500.0).from_true_deg, 0.0);
  EXPECT_DOUBLE_EQ(profile.at(41000.0).from_true_deg, 90.0);
  // Half way: 10 knots from the north and 10 from the east, 14.14 from 045.
  EXPECT_NEAR(profile.at(15000.0).speed_kt, std::sqrt(200.0), 1e-9);
  EXPECT_NEAR(profile.at(15000.0).from_true_deg, 45.0, 1e-9);

  // A veer through north goes the short way: 350 and 010 meet at 000, not at 180.
  flight::WindProfile veer;
  veer.add_layer(0.0, flight::Wind{350.0, 40.0});
  veer.add_layer(20000.0, flight::Wind{10.0, 40.0});
  EXPECT_NEAR(angle_between_deg(veer.at(10000.0).from_true_deg, 0.0), 0.0, 1e-9);
  EXPECT_NEAR(veer.at(10000.0).speed_kt, 40.0 * std::cos(10.0 * DEG), 1e-9);
}

// --- Autopilot

TEST(FlightModelAutopilot, TurnsAtThreeDegreesASecondTheShortWayAndHolds) {
  struct Turn {
    double start_true_deg, bug_mag_deg, magvar_east_deg, after_s, expected_true_deg;
  };
  const Turn turns[] = {
      {0.0, 90.0, 0.0, 10.0, 30.0},       // right turn under way
      {0.0, 90.0, 0.0, 30.0, 90.0},       // reaches the bug
      {0.0, 90.0, 0.0, 120.0, 90.0},      // and holds it without overshoot
      {10.0, 340.0, 0.0, 5.0, 355.0},     // left through north, the short way
      {350.0, 20.0, 0.0, 5.0, 5.0},       // right through north
      {0.0, 100.0, -10.0, 40.0, 90.0},    // bug 100 magnetic with 10 W is 090 true
      {200.0, 100.0, 15.0, 10.0, 170.0},  // 100 magnetic with 15 E is 115 true: turn left
  };
  for (const Turn& t : turns) {
    SCOPED_TRACE(t.after_s);
    flight::FlightModel model = cruising(45.0, 5.0, t.start_true_deg, 300.0);
    model.set_magvar_east_deg(t.magvar_east_deg);
    fly(model, t.after_s, flight::Autopilot{true, true, t.bug_mag_deg});
    EXPECT_NEAR(angle_between_deg(model.state().heading_true_deg, t.expected_true_deg), 0.0, 1e-6);
  }
}

TEST(FlightModelAutopilot, TurnRateIsStandardAtAnyFrameRate) {
  for (int fps : {6, 18, 30, 60}) {
    flight::FlightModel model = cruising(45.0, 5.0, 0.0, 300.0);
    fly(model, 7.0, flight::Autopilot{true, true, 180.0}, fps);
    EXPECT_NEAR(model.state().heading_true_deg, 21.0, 1e-6) << fps << " fps";
  }
}

TEST(FlightModelAutopilot, DoesNotSteerUnlessMasterAndHeadingModeAreOnAndAirborne) {
  for (const flight::Autopilot ap :
       {flight::Autopilot{false, true, 90.0}, flight::Autopilot{true, false, 90.0}}) {
    flight::FlightModel model = cruising(45.0, 5.0, 0.0, 300.0);
    fly(model, 10.0, ap);
    EXPECT_EQ(model.state().heading_true_deg, 0.0);
  }
  flight::FlightModel parked;
  parked.park(45.0, 5.0, 0.0);
  fly(parked, 10.0, flight::Autopilot{true, true, 90.0});
  EXPECT_EQ(parked.state().heading_true_deg, 0.0);
}

TEST(FlightModelAutopilot, MagneticHeadingIsTrueMinusEastVariation) {
  flight::FlightModel model = cruising(45.0, 5.0, 5.0, 300.0);
  model.set_magvar_east_deg(10.0);
  EXPECT_NEAR(model.heading_mag_deg(), 355.0, 1e-12);
  model.set_magvar_east_deg(-20.0);
  EXPECT_NEAR(model.heading_mag_deg(), 25.0, 1e-12);
}

// --- Ground, take-off and climb

TEST(FlightModelTakeoff, ParkedAircraftStandsStillInAnyWind) {
  flight::FlightModel model;
  model.park(52.7, -8.9, 240.0, 46.0);
  model.set_wind(flight::WindProfile(flight::Wind{300.0, 40.0}));
  fly(model, 120.0);
  EXPECT_EQ(model.state().lat_deg, 52.7);
  EXPECT_EQ(model.state().lon_east_deg, -8.9);
  EXPECT_EQ(model.state().gs_kt, 0.0);
  EXPECT_EQ(model.phase(), flight::Phase::Parked);
}

TEST(FlightModelTakeoff, RollsClimbsAndLevelsAtCruise) {
  flight::FlightModel model;
  model.park(0.0, 0.0, 90.0, 0.0);
  model.set_wind(flight::WindProfile(flight::Wind{0.0, 40.0}));
  model.start_takeoff(35000.0, 480.0);
  // 3 knots a second to 150: 50 seconds on the ground, along the runway, no wind drift, and
  // half of a times t squared: 0.5 x 3 x 50^2 knot-seconds = 1.0417 NM.
  long roll_frames = 0;
  double lat_on_ground = 0.0, lon_on_ground = 0.0;
  while (model.phase() == flight::Phase::TakeoffRoll && roll_frames < 30 * 600) {
    lat_on_ground = model.state().lat_deg;
    lon_on_ground = model.state().lon_east_deg;
    model.step(1.0 / 30.0, flight::Autopilot{});
    ++roll_frames;
  }
  EXPECT_EQ(model.phase(), flight::Phase::Climb);
  EXPECT_NEAR(static_cast<double>(roll_frames), 50.0 * 30.0, 1.0);
  const Inverse roll = inverse_nm(0.0, 0.0, lat_on_ground, lon_on_ground);
  EXPECT_NEAR(roll.distance_nm, 0.5 * 3.0 * 50.0 * 50.0 / 3600.0, 0.005);
  EXPECT_NEAR(roll.azimuth_deg, 90.0, 1e-6);

  // 35,000 feet at 2,500 feet a minute: 14 minutes of climb.
  fly(model, 14.0 * 60.0 - 1.0);
  EXPECT_EQ(model.phase(), flight::Phase::Climb);
  EXPECT_NEAR(model.state().vertical_speed_fpm, 2500.0, 1e-6);
  fly(model, 2.0);
  EXPECT_EQ(model.phase(), flight::Phase::Cruise);
  EXPECT_DOUBLE_EQ(model.state().alt_ft, 35000.0);
  EXPECT_DOUBLE_EQ(model.state().tas_kt, 480.0);
  EXPECT_NEAR(model.state().vertical_speed_fpm, 0.0, 1e-9);
  // In the air the wind counts, and the air data agree with the atmosphere at the level.
  const flight::GroundVector expected = triangle_by_cosines(480.0, 90.0, 0.0, 40.0);
  EXPECT_NEAR(model.state().gs_kt, expected.gs_kt, 1e-6);
  EXPECT_NEAR(model.mach(), 480.0 / 576.42, 0.0005);
  EXPECT_NEAR(model.oat_c(), -54.34, 0.01);
}

TEST(FlightModelTakeoff, NewTargetsAreFlownAtTheClimbRateAndAcceleration) {
  flight::FlightModel model = cruising(10.0, 10.0, 0.0, 400.0, 30000.0);
  model.set_targets(31000.0, 420.0);
  fly(model, 12.0);
  EXPECT_NEAR(model.state().alt_ft, 30500.0, 1e-6);
  EXPECT_NEAR(model.state().tas_kt, 412.0, 1e-6);
  fly(model, 60.0);
  EXPECT_DOUBLE_EQ(model.state().alt_ft, 31000.0);
  EXPECT_DOUBLE_EQ(model.state().tas_kt, 420.0);
}

// --- The 180-degree meridian and the poles

TEST(FlightModelSphere, CrossesTheAntimeridianBothWays) {
  struct Crossing {
    double lon_start, heading_true_deg, lon_expected;
  };
  // 480 knots for 60 s is 8 NM, at 16.5 S that is 8 / (60 cos 16.5) = 0.13906 degree of longitude.
  const double dlon = 8.0 / (60.0 * std::cos(16.5 * DEG));
  for (const Crossing c : {Crossing{179.95, 90.0, 179.95 + dlon - 360.0},
                           Crossing{-179.95, 270.0, -179.95 - dlon + 360.0}}) {
    flight::FlightModel model = cruising(-16.5, c.lon_start, c.heading_true_deg, 480.0);
    fly(model, 60.0);
    const flight::FlightState& s = model.state();
    EXPECT_GT(s.lon_east_deg, -180.0);
    EXPECT_LE(s.lon_east_deg, 180.0);
    // Along the parallel to within the great circle's sag over 8 NM.
    EXPECT_NEAR(s.lon_east_deg, c.lon_expected, 1e-4);
    EXPECT_NEAR(s.lat_deg, -16.5, 1e-3);
    EXPECT_NEAR(inverse_nm(-16.5, c.lon_start, s.lat_deg, s.lon_east_deg).distance_nm, 8.0, 1e-4);
  }
}

TEST(FlightModelSphere, StepOverThePoleLandsOnTheFarMeridian) {
  // One 60-second step of 8 NM from 3 NM short of the pole on 030 E: 5 NM down 150 W.
  flight::FlightModel model = cruising(90.0 - 3.0 / 60.0, 30.0, 0.0, 480.0);
  model.step(60.0, flight::Autopilot{});
  EXPECT_NEAR(model.state().lat_deg, 90.0 - 5.0 / 60.0, 1e-9);
  EXPECT_NEAR(model.state().lon_east_deg, -150.0, 1e-6);
}

TEST(FlightModelSphere, MotionNearThePoleStaysFiniteAndOnTheSphere) {
  // East at 89.95 N: round and round a 3 NM circle; the latitude holds, longitudes stay named
  // in range, and every step covers the ground speed's distance.
  flight::FlightModel model = cruising(89.95, 0.0, 90.0, 480.0);
  double lat_prev = model.state().lat_deg;
  double lon_prev = model.state().lon_east_deg;
  for (int frame = 0; frame < 30 * 120; ++frame) {
    model.step(1.0 / 30.0, flight::Autopilot{});
    const flight::FlightState& s = model.state();
    ASSERT_TRUE(std::isfinite(s.lat_deg) && std::isfinite(s.lon_east_deg));
    ASSERT_GT(s.lon_east_deg, -180.0);
    ASSERT_LE(s.lon_east_deg, 180.0);
    ASSERT_NEAR(inverse_nm(lat_prev, lon_prev, s.lat_deg, s.lon_east_deg).distance_nm,
                480.0 / 3600.0 / 30.0, 1e-7);
    lat_prev = s.lat_deg;
    lon_prev = s.lon_east_deg;
  }
  EXPECT_NEAR(model.state().lat_deg, 89.95, 1e-3);

  // North with the heading held: the aircraft reaches the pole and stays at it, finite.
  flight::FlightModel north = cruising(89.99, -120.0, 0.0, 480.0);
  fly(north, 300.0);
  EXPECT_TRUE(std::isfinite(north.state().lat_deg) && std::isfinite(north.state().lon_east_deg));
  EXPECT_LE(north.state().lat_deg, 90.0);
  EXPECT_GT(north.state().lat_deg, 90.0 - 0.01 / 60.0);
}

// The closed-form step against GeographicLib's direct problem on the same sphere: single steps
// from everywhere that is awkward (the poles, the 180-degree meridian, the equator, a step over
// a pole, a step of a quarter of the world), and a whole two-hour flight of 216 000 frames
// (take-off, climb, wind layers, autopilot turns) stepped beside a GeographicLib twin.
TEST(FlightModelSphere, StepAgreesWithGeographicLibsDirectProblem) {
  struct Step {
    double lat, lon, course, distance_nm;
  };
  const Step steps[] = {
      {52.7, -8.9, 315.0, 4.4 / 1852.0 * 30.0},
      {-16.5, 179.999, 90.0, 8.0},
      {-16.5, -179.999, 270.0, 8.0},
      {0.0, 0.0, 45.0, 1e-6},
      {89.999, 30.0, 0.0, 1.0},
      {-90.0, 10.0, 180.0, 3.0},
      {90.0, 0.0, 123.0, 0.5},
      {10.0, 170.0, 60.0, 5400.0},
      {-45.0, -100.0, 200.0, 0.002},
      {63.9, -22.6, 271.3, 0.0043},
  };
  for (const Step& c : steps) {
    SCOPED_TRACE(c.lat);
    double lat = c.lat, lon = c.lon;
    flight::advance_on_sphere(lat, lon, c.course, c.distance_nm / NM_PER_RADIAN);
    double lat2 = 0.0, lon2 = 0.0;
    flight::nav_sphere().Direct(c.lat, c.lon, c.course, c.distance_nm * 1852.0, lat2, lon2);
    EXPECT_LT(inverse_nm(lat, lon, lat2, lon2).distance_nm * 1852.0, 1e-6);  // a micrometre
    EXPECT_GT(lon, -180.0);
    EXPECT_LE(lon, 180.0);
  }
}

TEST(FlightModelSphere, AWholeFlightStaysWithItsGeographicLibTwin) {
  flight::FlightModel model;
  model.park(52.7, -8.9, 240.0);
  flight::WindProfile wind;
  wind.add_layer(0.0, {250.0, 15.0});
  wind.add_layer(35000.0, {300.0, 60.0});
  model.set_wind(wind);
  model.start_takeoff(35000.0, 480.0);
  double twin_lat = 52.7, twin_lon = -8.9;
  flight::Autopilot ap{true, true, 240.0};
  double farthest_m = 0.0, flown_nm = 0.0;
  for (int frame = 0; frame < 2 * 3600 * 30; ++frame) {
    if (frame % (30 * 600) == 0)
      ap.heading_bug_mag_deg = std::fmod(ap.heading_bug_mag_deg + 97.0, 360.0);
    model.step(1.0 / 30.0, ap);
    const flight::FlightState& s = model.state();
    flown_nm += s.gs_kt / 3600.0 / 30.0;
    flight::nav_sphere().Direct(twin_lat, twin_lon, s.track_true_deg,
                                s.gs_kt / 3600.0 / 30.0 * 1852.0, twin_lat, twin_lon);
    if (frame % 3000 == 0 || frame + 1 == 2 * 3600 * 30) {
      farthest_m =
          std::max(farthest_m,
                   inverse_nm(s.lat_deg, s.lon_east_deg, twin_lat, twin_lon).distance_nm * 1852.0);
    }
  }
  // Some 900 NM flown, through turns of 97 degrees every ten minutes.
  EXPECT_GT(flown_nm, 800.0);
  EXPECT_LT(farthest_m, 1e-3);  // a millimetre
  std::printf("largest distance from the GeographicLib twin: %.3g m\n", farthest_m);
}

}  // namespace

// The host's great circles are the INS's sphere's: one minute of arc is one nautical mile, and
// the course at the start is true, across the 180th meridian too.
TEST(GreatCircle, DistanceAndInitialCourseOnTheNavigationSphere) {
  struct Case {
    double lat1, lon1, lat2, lon2, distance_nm, course_deg;
  };
  const Case cases[] = {
      {0.0, 0.0, 0.0, 1.0, 60.0, 90.0},       {0.0, 0.0, 1.0, 0.0, 60.0, 0.0},
      {10.0, 0.0, 0.0, 0.0, 600.0, 180.0},    {0.0, 179.5, 0.0, -179.5, 60.0, 90.0},
      {0.0, -179.5, 0.0, 179.5, 60.0, 270.0}, {52.0, -8.0, 52.0, -8.0, 0.0, 180.0},
  };
  for (const Case& c : cases) {
    const flight::GreatCircle gc = flight::great_circle(c.lat1, c.lon1, c.lat2, c.lon2);
    EXPECT_NEAR(gc.distance_nm, c.distance_nm, 1e-9) << c.lat1 << " " << c.lon1;
    if (c.distance_nm > 0.0) {
      EXPECT_NEAR(gc.initial_course_true_deg, c.course_deg, 1e-9);
    }
    EXPECT_GE(gc.initial_course_true_deg, 0.0);
    EXPECT_LT(gc.initial_course_true_deg, 360.0);
  }
}
