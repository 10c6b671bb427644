#include "core/geodesy.h"

#include <cmath>

#include "core/convert.h"

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
