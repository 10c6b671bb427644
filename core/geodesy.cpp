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

SinCos sin_cos(double angle) {
  return {std::sin(angle), std::cos(angle)};
}

double central_angle(SinCos lat1, SinCos lat2, double cos_dlon) {
  double s = lat1.sine * lat2.sine + lat1.cosine * lat2.cosine * cos_dlon;
  if (s > 1.0) s = 1.0;
  if (s < -1.0) s = -1.0;
  return std::acos(s);
}

double central_angle(double lat1, double lon1, double lat2, double lon2) {
  return central_angle(sin_cos(lat1), sin_cos(lat2), std::cos(lon1 - lon2));
}

double initial_course(SinCos lat_a, SinCos lat_b, SinCos dlon) {
  const double y = dlon.sine * lat_b.cosine + COURSE_GUARD;
  const double x =
      lat_a.cosine * lat_b.sine - lat_a.sine * lat_b.cosine * dlon.cosine + COURSE_GUARD;
  return fmod_positive(std::atan2(y, x), TWO_PI);
}

double initial_course(double lat_a, double lat_b, double dlon) {
  return initial_course(sin_cos(lat_a), sin_cos(lat_b), sin_cos(dlon));
}
