// Present position and great-circle routines. Distances and courses are checked against
// GeographicLib on a sphere, an independent implementation of the same geometry.
#include "core/geodesy.h"

#include <GeographicLib/Geodesic.hpp>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "boundary/gauge_vocabulary.h"
#include "nav/present_position.h"
#include "tests/unit/test_support.h"

using test_support::ModuleTest;

namespace {

// Independent of the vocabulary's NM_PER_RADIAN on purpose: the reference sphere is built from
// the definition (one minute of arc per nautical mile), and the constant is checked against it.
constexpr double kNmPerRadian = 60.0 * 180.0 / PI;
double rad(double degrees) {
  return degrees * PI / 180.0;
}

// A sphere whose radius is one radian of arc in nautical miles: s12 comes out in NM.
const GeographicLib::Geodesic& sphere() {
  static const GeographicLib::Geodesic geodesic(kNmPerRadian, 0.0);
  return geodesic;
}

// Smallest difference between two angles in radians, whatever their multiples of 2 pi.
double angle_diff(double a, double b) {
  return std::remainder(a - b, 2.0 * PI);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Degrees and minutes.
// ---------------------------------------------------------------------------------------------

struct SplitCase {
  double degrees;
  int32_t whole;
  double minutes;
  int32_t abs_whole;
  double abs_minutes;
};

TEST(SplitDegrees, WholeDegreesAndMinutesWithTheRolloverNudge) {
  const SplitCase cases[] = {
      {45.99999, 46, -0.0006, 46, 0.0006},   // within the nudge: 46 00.00, not 45 60.00
      {-45.99999, -46, 0.0006, 46, 0.0006},  // the mirror case
      {45.99991, 45, 59.9946, 45, 59.9946},  // just outside the nudge
      {-0.5, 0, -30.0, 0, 30.0},             // south of the equator by half a degree
      {0.0, 0, 0.0, 0, 0.0},
      {12.5, 12, 30.0, 12, 30.0},
      {-179.75, -179, -45.0, 179, 45.0},
      {180.0, 180, 0.0, 180, 0.0},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.degrees);
    const DegreesMinutes split = split_degrees(c.degrees);
    EXPECT_EQ(split.whole, c.whole);
    EXPECT_NEAR(split.minutes, c.minutes, 1e-9);
    EXPECT_EQ(split.abs_whole, c.abs_whole);
    EXPECT_NEAR(split.abs_minutes, c.abs_minutes, 1e-9);
  }
}

TEST(SplitDegrees, GivesTheValueBackAndMinutesStayBelowSixty) {
  for (double v = -180.0; v <= 180.0; v += 0.0123) {
    const DegreesMinutes split = split_degrees(v);
    EXPECT_NEAR(split.whole + split.minutes / 60.0, v, 1e-12);
    EXPECT_LE(split.abs_minutes, 60.0 * (1.0 - 0.00008333) + 1e-9);
  }
  EXPECT_EQ(split_degrees(std::nan("")).whole, 0);  // defined, no undefined conversion
}

// ---------------------------------------------------------------------------------------------
// Present position from the host's raw values.
// ---------------------------------------------------------------------------------------------

class PresentPositionTest : public ModuleTest {
 protected:
  void set_position(double lat_deg, double lon_raw) {
    set_var(HOST_VAR_LATITUDE, lat_deg / HOST_LAT_DEG_PER_UNIT);
    set_var(HOST_VAR_LONGITUDE, lon_raw);
  }
  // The host's 48-bit longitude, as the substitute host supplies it: east as a fraction of a
  // full turn of 2^48, west as 2^48 plus the (negative) east value.
  static double lon_raw(double lon_east_deg) {
    const double turn = std::ldexp(1.0, 48);
    const double raw = lon_east_deg / 360.0 * turn;
    return raw < 0 ? turn + raw : raw;
  }
};

TEST_F(PresentPositionTest, ConvertsLatitudeAndLongitudeInEveryForm) {
  set_position(45.99999, lon_raw(-73.25));  // 45.99999 N, 73 15 W
  update_present_position();
  EXPECT_NEAR(ins_state.present_lat_deg, 45.99999, 1e-9);
  EXPECT_EQ(ins_state.present_lat_whole, 46);
  EXPECT_NEAR(ins_state.present_lat_minutes, -0.0006, 1e-6);
  EXPECT_EQ(ins_state.present_lat_abs_whole, 46);
  EXPECT_NEAR(ins_state.present_lat_abs_minutes, 0.0006, 1e-6);
  EXPECT_NEAR(ins_state.present_lat, rad(45.99999), 1e-12);

  EXPECT_NEAR(ins_state.present_lon_deg, -73.25, 1e-9);
  EXPECT_EQ(ins_state.present_lon_whole, -73);
  EXPECT_NEAR(ins_state.present_lon_minutes, -15.0, 1e-6);
  EXPECT_EQ(ins_state.present_lon_abs_whole, 73);
  EXPECT_NEAR(ins_state.present_lon_abs_minutes, 15.0, 1e-6);
  EXPECT_NEAR(ins_state.present_lon_east, rad(-73.25), 1e-12);
  EXPECT_NEAR(ins_state.present_lon, rad(73.25), 1e-12);  // west-positive
}

TEST_F(PresentPositionTest, LongitudeThresholdSeparatesEastFromWest) {
  // 2^47 + 4 is still east (about +180); one unit more is west (about -180).
  set_position(0.0, 140737488355332.0);
  update_present_position();
  EXPECT_GT(ins_state.present_lon_deg, 0.0);
  EXPECT_NEAR(ins_state.present_lon_deg, 180.0, 1e-9);
  EXPECT_GT(ins_state.present_lon_east, 0.0);
  EXPECT_LT(ins_state.present_lon, 0.0);

  set_position(0.0, 140737488355333.0);
  update_present_position();
  EXPECT_LT(ins_state.present_lon_deg, 0.0);
  EXPECT_NEAR(ins_state.present_lon_deg, -180.0, 1e-9);
  EXPECT_EQ(ins_state.present_lon_whole, -180);
  EXPECT_GT(ins_state.present_lon, 0.0);
}

TEST_F(PresentPositionTest, ExactlyZeroAndHalfADegreeSouth) {
  set_position(0.0, 0.0);
  update_present_position();
  EXPECT_EQ(ins_state.present_lat_whole, 0);
  EXPECT_EQ(ins_state.present_lat_minutes, 0.0);
  EXPECT_EQ(ins_state.present_lon_whole, 0);
  EXPECT_EQ(ins_state.present_lon_minutes, 0.0);
  EXPECT_EQ(ins_state.present_lat, 0.0);
  EXPECT_EQ(ins_state.present_lon, 0.0);

  set_position(-0.5, lon_raw(0.5));
  update_present_position();
  EXPECT_EQ(ins_state.present_lat_whole, 0);
  EXPECT_NEAR(ins_state.present_lat_minutes, -30.0, 1e-6);
  EXPECT_NEAR(ins_state.present_lat_abs_minutes, 30.0, 1e-6);
  EXPECT_NEAR(ins_state.present_lat, rad(-0.5), 1e-12);
  EXPECT_NEAR(ins_state.present_lon, rad(-0.5), 1e-12);
}

TEST_F(PresentPositionTest, RefreshesTheHostVariablesEveryCall) {
  set_position(10.0, lon_raw(20.0));
  update_present_position();
  set_position(-10.0, lon_raw(-20.0));
  update_present_position();
  EXPECT_NEAR(ins_state.present_lat_deg, -10.0, 1e-9);
  EXPECT_NEAR(ins_state.present_lon_deg, -20.0, 1e-9);
}

TEST_F(ModuleTest, ToWaypointDisplayFormKeepsTheWestPositiveSense) {
  ins_state.to_lat = rad(-33.5);  // 33 30 S
  ins_state.to_lon = -0.5;        // 0.5 rad EAST, as stored
  update_to_waypoint_display();
  EXPECT_NEAR(ins_state.to_lat_deg, -33.5, 1e-12);
  EXPECT_EQ(ins_state.to_lat_abs_whole, 33);
  EXPECT_NEAR(ins_state.to_lat_abs_minutes, 30.0, 1e-9);
  const double lon_deg = -0.5 * 180.0 / PI;  // -28.6478897...
  EXPECT_NEAR(ins_state.to_lon_deg, lon_deg, 1e-12);
  EXPECT_EQ(ins_state.to_lon_abs_whole, 28);
  EXPECT_NEAR(ins_state.to_lon_abs_minutes, (-lon_deg - 28.0) * 60.0, 1e-9);
}

// ---------------------------------------------------------------------------------------------
// Central angle.
// ---------------------------------------------------------------------------------------------

// fmod_positive skips the library call for values within one modulus: it must give fmod's
// bits for every value, at and around the modulus, for both signs, zeros, NaN and infinity.
TEST(FmodPositive, GivesTheBitsOfFmodForEveryKindOfValue) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const double modulus : {TWO_PI, 360.0}) {
    const double values[] = {0.0,
                             -0.0,
                             std::numeric_limits<double>::denorm_min(),
                             1.0,
                             PI,
                             std::nextafter(modulus, 0.0),
                             modulus,
                             std::nextafter(modulus, inf),
                             2.0 * modulus,
                             7.5 * modulus,
                             1e300,
                             inf,
                             nan};
    for (const double magnitude : values) {
      for (const double value : {magnitude, -magnitude}) {
        const double expected = std::fmod(value, modulus);
        const double got = fmod_positive(value, modulus);
        if (std::isnan(expected)) {
          EXPECT_TRUE(std::isnan(got)) << value;
        } else {
          EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(expected))
              << value << " mod " << modulus;
        }
      }
    }
  }
}

TEST(CentralAngle, IdenticalPositionsGiveZeroAndNeverNaN) {
  // For many latitudes sin^2 + cos^2 comes out a hair above 1; without the clamp acos gives NaN.
  for (double lat = -1.57; lat <= 1.57; lat += 0.001) {
    const double angle = central_angle(lat, 0.3, lat, 0.3);
    ASSERT_FALSE(std::isnan(angle)) << lat;
    EXPECT_LE(angle, 3e-8) << lat;
  }
}

TEST(CentralAngle, AntipodalPositionsGivePiAnd10800Miles) {
  for (double lat = -1.57; lat <= 1.57; lat += 0.001) {
    const double angle = central_angle(lat, 0.3, -lat, 0.3 + PI);
    ASSERT_FALSE(std::isnan(angle)) << lat;
    EXPECT_NEAR(angle, PI, 3e-8) << lat;
    EXPECT_NEAR(angle * NM_PER_RADIAN, 10800.0, 1e-4) << lat;
  }
}

TEST(CentralAngle, AcrossThe180DegreeMeridianNoSpecialCase) {
  // 179.5 E to 179.5 W at 10 N is one degree of longitude, like 0.5 W to 0.5 E.
  const double across = central_angle(rad(10), rad(-179.5), rad(10), rad(179.5));
  const double near_greenwich = central_angle(rad(10), rad(0.5), rad(10), rad(-0.5));
  EXPECT_NEAR(across, near_greenwich, 1e-12);
  double s12 = 0, azi1 = 0, azi2 = 0;
  sphere().Inverse(10, 179.5, 10, -179.5, s12, azi1, azi2);
  EXPECT_NEAR(across * NM_PER_RADIAN, s12, 1e-6);
}

TEST(CentralAngle, MatchesGeographicLibAndDoesNotDependOnLongitudeSense) {
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> lat(-90.0, 90.0), lon(-180.0, 180.0);
  for (int i = 0; i < 2000; ++i) {
    const double lat1 = lat(random), lon1 = lon(random), lat2 = lat(random), lon2 = lon(random);
    double s12 = 0, azi1 = 0, azi2 = 0;
    sphere().Inverse(lat1, lon1, lat2, lon2, s12, azi1, azi2);
    // The module keeps longitudes west-positive; the angle must not care.
    const double west = central_angle(rad(lat1), -rad(lon1), rad(lat2), -rad(lon2));
    const double east = central_angle(rad(lat1), rad(lon1), rad(lat2), rad(lon2));
    EXPECT_NEAR(west * NM_PER_RADIAN, s12, 1e-5)
        << lat1 << " " << lon1 << " " << lat2 << " " << lon2;
    EXPECT_NEAR(west, east, 1e-12);
    EXPECT_GE(west, 0.0);
    EXPECT_LE(west, PI);
  }
}

TEST(CentralAngle, NauticalMilesPerRadianIsOneMinuteOfArc) {
  EXPECT_NEAR(NM_PER_RADIAN, kNmPerRadian, 1e-9);
  // One degree of latitude is 60 NM.
  EXPECT_NEAR(central_angle(rad(10), 0, rad(11), 0) * NM_PER_RADIAN, 60.0, 1e-6);
}

// ---------------------------------------------------------------------------------------------
// Initial course. Longitudes below are west-positive as in the state: dlon = lon A - lon B is
// the clockwise (true) course, dlon = lon B - lon A its negative.
// ---------------------------------------------------------------------------------------------

TEST(InitialCourse, CardinalCoursesFromTheEquator) {
  struct Case {
    double lat_b_deg, lon_b_west_deg, course_deg;
  } cases[] = {
      {10, 0, 0},     // due north
      {0, -10, 90},   // due east (west-positive: east is negative)
      {-10, 0, 180},  // due south
      {0, 10, -90},   // due west, i.e. 270
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.course_deg);
    const double clockwise = initial_course(0.0, rad(c.lat_b_deg), 0.0 - rad(c.lon_b_west_deg));
    const double counter = initial_course(0.0, rad(c.lat_b_deg), rad(c.lon_b_west_deg) - 0.0);
    EXPECT_NEAR(angle_diff(clockwise, rad(c.course_deg)), 0.0, 1e-6);
    EXPECT_NEAR(angle_diff(counter, -rad(c.course_deg)), 0.0, 1e-6);
    EXPECT_GT(clockwise, -PI);
    EXPECT_LE(clockwise, PI);
  }
}

TEST(InitialCourse, IdenticalPositionsGiveAQuarterPiInEitherSense) {
  for (double lat : {0.0, 0.7, -1.2}) {
    EXPECT_NEAR(initial_course(lat, lat, 0.0), PI / 4, 1e-9) << lat;
    EXPECT_NEAR(initial_course(lat, lat, -0.0), PI / 4, 1e-9) << lat;
  }
}

TEST(InitialCourse, MatchesGeographicLibInBothSenses) {
  std::mt19937 random(777);
  std::uniform_real_distribution<double> lat(-85.0, 85.0), lon(-180.0, 180.0);
  int compared = 0;
  for (int i = 0; i < 2000; ++i) {
    const double lat1 = lat(random), lon1 = lon(random), lat2 = lat(random), lon2 = lon(random);
    double s12 = 0, azi1 = 0, azi2 = 0;
    sphere().Inverse(lat1, lon1, lat2, lon2, s12, azi1, azi2);
    // The guards move the course by about 1e-8 over the size of the terms: skip legs that are
    // too short or too close to antipodal for a course to be meaningful.
    const double arc = s12 / kNmPerRadian;
    if (arc < 0.01 || arc > PI - 0.01) continue;
    ++compared;
    const double lon1_west = -rad(lon1), lon2_west = -rad(lon2);
    const double clockwise = initial_course(rad(lat1), rad(lat2), lon1_west - lon2_west);
    const double counter = initial_course(rad(lat1), rad(lat2), lon2_west - lon1_west);
    EXPECT_NEAR(angle_diff(clockwise, rad(azi1)), 0.0, 1e-6) << lat1 << " " << lon1;
    EXPECT_NEAR(angle_diff(counter, -rad(azi1)), 0.0, 1e-6) << lat1 << " " << lon1;
  }
  EXPECT_GT(compared, 1900);
}

TEST(InitialCourse, SweepOverTheCompassFromSeveralStarts) {
  // Walk out along every 15 degrees of the compass with GeographicLib and read the course back.
  const double starts[][2] = {{0, 0}, {51.5, -0.5}, {-33.9, 151.2}, {10, 179.9}, {80, -100}};
  for (const auto& start : starts) {
    for (int azi = -165; azi <= 180; azi += 15) {
      double lat2 = 0, lon2 = 0;
      const double distance_nm = 500.0;
      sphere().Direct(start[0], start[1], azi, distance_nm, lat2, lon2);
      const double lon1_west = -rad(start[1]), lon2_west = -rad(lon2);
      const double course = initial_course(rad(start[0]), rad(lat2), lon1_west - lon2_west);
      EXPECT_NEAR(angle_diff(course, rad(azi)), 0.0, 1e-6) << start[0] << " " << azi;
      EXPECT_NEAR(central_angle(rad(start[0]), lon1_west, rad(lat2), lon2_west) * NM_PER_RADIAN,
                  distance_nm, 1e-6);
    }
  }
}

TEST(InitialCourse, AcrossThe180DegreeMeridianHeadsEast) {
  // 179.5 E to 179.5 W along 10 N: east, slightly north of east on the great circle.
  const double lon_a_west = rad(-179.5), lon_b_west = rad(179.5);
  const double course = initial_course(rad(10), rad(10), lon_a_west - lon_b_west);
  double s12 = 0, azi1 = 0, azi2 = 0;
  sphere().Inverse(10, 179.5, 10, -179.5, s12, azi1, azi2);
  EXPECT_NEAR(angle_diff(course, rad(azi1)), 0.0, 1e-6);
  EXPECT_NEAR(course, rad(90), rad(1));
}

TEST(InitialCourse, PolesGiveFiniteCourses) {
  const double half_pi = PI / 2;
  for (double dlon : {-3.0, -1.0, 0.0, 0.5, 2.0, PI}) {
    for (double lat_other : {-1.0, 0.0, 0.4, 1.5}) {
      const double from_pole = initial_course(half_pi, lat_other, dlon);
      const double to_pole = initial_course(lat_other, half_pi, dlon);
      const double from_south = initial_course(-half_pi, lat_other, dlon);
      for (double c : {from_pole, to_pole, from_south}) {
        EXPECT_TRUE(std::isfinite(c));
        EXPECT_GT(c, -PI - 1e-12);
        EXPECT_LE(c, PI);
      }
      // Towards the north pole from anywhere else the course is north, whatever dlon.
      EXPECT_NEAR(to_pole, 0.0, 1e-6) << dlon << " " << lat_other;
    }
  }
}
