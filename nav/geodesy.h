// Present position and the great-circle primitives of the navigation computer, on a sphere
// whose nautical mile is one minute of arc.
#pragma once

#include <cstdint>

constexpr double PI = 3.141592653589793;
constexpr double NM_PER_RADIAN = 3437.7467707849396;  // 60 x 180 / pi
constexpr double DEG_PER_RADIAN = 57.29577951308232;
constexpr double RAD_PER_DEGREE = 0.017453292519943295;
constexpr double ROLLOVER_NUDGE_DEG = 0.00008333;  // just under 0.005 minute
constexpr double COURSE_GUARD = 1e-8;

struct DegreesMinutes {
  int32_t whole;          // signed whole degrees
  double minutes;         // signed minutes
  int32_t abs_whole;      // |whole|
  double abs_minutes;     // |minutes|
};

DegreesMinutes split_degrees(double degrees);
double central_angle(double lat1, double lon1, double lat2, double lon2);
double initial_course(double lat_a, double lat_b, double dlon);

// Reads host variables 71 and 72 and writes every present-position field of the state.
void update_present_position();
// Writes the TO waypoint's display form (degrees, whole degrees and minutes) from to_lat/to_lon.
void update_to_waypoint_display();
