#include "nav/geodesy.h"

#include <cmath>

#include "module/convert.h"
#include "module/host_bridge.h"
#include "module/ins_state.h"

namespace {

// Position conversions in the one form every part of the system uses (a product with the
// reciprocal, not a division), so the same angle gives the same bits wherever it is converted.
double degrees_to_radians(double degrees) {
  return degrees * PI * (1.0 / 180.0);
}
double radians_to_degrees(double radians) {
  return radians * 180.0 * (1.0 / PI);
}

}  // namespace

DegreesMinutes split_degrees(double degrees) {
  int32_t whole = 0;
  if (degrees < 0.0) {
    whole = truncate_to<int32_t>(degrees - ROLLOVER_NUDGE_DEG);
  } else if (degrees > 0.0) {
    whole = truncate_to<int32_t>(degrees + ROLLOVER_NUDGE_DEG);
  }
  const double minutes = (degrees - whole) * 60.0;
  // |whole| through the helper: negating INT32_MIN (absurd input) would be undefined.
  const int32_t abs_whole = truncate_to<int32_t>(std::fabs(static_cast<double>(whole)));
  return {whole, minutes, abs_whole, std::fabs(minutes)};
}

double central_angle(double lat1, double lon1, double lat2, double lon2) {
  double s =
      std::sin(lat1) * std::sin(lat2) + std::cos(lat1) * std::cos(lat2) * std::cos(lon1 - lon2);
  if (s > 1.0) s = 1.0;
  if (s < -1.0) s = -1.0;
  return std::acos(s);
}

double initial_course(double lat_a, double lat_b, double dlon) {
  const double y = std::sin(dlon) * std::cos(lat_b) + COURSE_GUARD;
  const double x = std::cos(lat_a) * std::sin(lat_b) -
                   std::sin(lat_a) * std::cos(lat_b) * std::cos(dlon) + COURSE_GUARD;
  return std::fmod(std::atan2(y, x), TWO_PI);
}

void update_present_position() {
  InsState& s = ins_state;

  s.present_lat_deg = refresh_host_var(HV_LATITUDE) * HOST_LAT_DEG_PER_UNIT;
  const DegreesMinutes lat = split_degrees(s.present_lat_deg);
  s.present_lat_whole = lat.whole;
  s.present_lat_minutes = lat.minutes;
  s.present_lat_abs_whole = lat.abs_whole;
  s.present_lat_abs_minutes = lat.abs_minutes;

  const double raw_lon = refresh_host_var(HV_LONGITUDE);
  s.present_lon_deg = raw_lon > HOST_LON_WEST_THRESHOLD ? raw_lon * HOST_LON_DEG_PER_UNIT - 360.0
                                                        : raw_lon * HOST_LON_DEG_PER_UNIT;
  const DegreesMinutes lon = split_degrees(s.present_lon_deg);
  s.present_lon_whole = lon.whole;
  s.present_lon_minutes = lon.minutes;
  s.present_lon_abs_whole = lon.abs_whole;
  s.present_lon_abs_minutes = lon.abs_minutes;

  s.present_lat = degrees_to_radians(s.present_lat_whole + s.present_lat_minutes / 60.0);
  s.present_lon_east = degrees_to_radians(s.present_lon_whole + s.present_lon_minutes / 60.0);
  s.present_lon = -s.present_lon_east;
}

void update_to_waypoint_display() {
  InsState& s = ins_state;

  s.to_lat_deg = radians_to_degrees(s.to_lat);
  const DegreesMinutes lat = split_degrees(s.to_lat_deg);
  s.to_lat_abs_whole = lat.abs_whole;
  s.to_lat_abs_minutes = lat.abs_minutes;

  s.to_lon_deg = radians_to_degrees(s.to_lon);
  const DegreesMinutes lon = split_degrees(s.to_lon_deg);
  s.to_lon_abs_whole = lon.abs_whole;
  s.to_lon_abs_minutes = lon.abs_minutes;
}
