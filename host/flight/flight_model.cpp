#include "host/flight/flight_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "host/flight/atmosphere.h"

namespace flight {

namespace {

// Moves `value` towards `target` by at most `max_step`.
double approach(double value, double target, double max_step) {
  if (value < target) return std::min(value + max_step, target);
  return std::max(value - max_step, target);
}
}  // namespace

double wrap_360_deg_by_fmod(double angle_deg) {
  double wrapped = std::fmod(angle_deg, 360.0);
  if (wrapped < 0.0) wrapped += 360.0;
  return wrapped >= 360.0 ? 0.0 : wrapped;  // -1e-17 + 360 rounds to 360
}

double wrap_180_deg(double angle_deg) {
  const double wrapped = wrap_360_deg(angle_deg);
  return wrapped > 180.0 ? wrapped - 360.0 : wrapped;
}

const char* phase_name(Phase phase) {
  switch (phase) {
    case Phase::Parked:
      return "parked";
    case Phase::TakeoffRoll:
      return "take-off roll";
    case Phase::Climb:
      return "climb";
    case Phase::Cruise:
      return "cruise";
  }
  return "?";
}

// --- Wind

void WindProfile::add_layer(double alt_ft, Wind wind) {
  auto at_or_above =
      std::lower_bound(layers_.begin(), layers_.end(), alt_ft,
                       [](const Layer& layer, double alt) { return layer.alt_ft < alt; });
  if (at_or_above != layers_.end() && at_or_above->alt_ft == alt_ft) {
    at_or_above->wind = wind;
  } else {
    layers_.insert(at_or_above, Layer{alt_ft, wind});
  }
}

Wind WindProfile::at(double alt_ft) const {
  if (layers_.empty()) return Wind{};
  if (alt_ft <= layers_.front().alt_ft) return layers_.front().wind;
  if (alt_ft >= layers_.back().alt_ft) return layers_.back().wind;
  auto upper = std::upper_bound(layers_.begin(), layers_.end(), alt_ft,
                                [](double alt, const Layer& layer) { return alt < layer.alt_ft; });
  const Layer& high = *upper;
  const Layer& low = *(upper - 1);
  const double share = (alt_ft - low.alt_ft) / (high.alt_ft - low.alt_ft);
  // Components of where the wind blows from, north and east.
  const double north_kt =
      (1.0 - share) * low.wind.speed_kt * std::cos(low.wind.from_true_deg * RAD_PER_DEGREE) +
      share * high.wind.speed_kt * std::cos(high.wind.from_true_deg * RAD_PER_DEGREE);
  const double east_kt =
      (1.0 - share) * low.wind.speed_kt * std::sin(low.wind.from_true_deg * RAD_PER_DEGREE) +
      share * high.wind.speed_kt * std::sin(high.wind.from_true_deg * RAD_PER_DEGREE);
  const double speed_kt = std::hypot(north_kt, east_kt);
  if (speed_kt == 0.0) return Wind{low.wind.from_true_deg, 0.0};
  return Wind{wrap_360_deg(std::atan2(east_kt, north_kt) * DEG_PER_RADIAN), speed_kt};
}

void Direction::point(double angle_deg) {
  if (same_bits(angle_deg, deg)) return;
  deg = angle_deg;
  cos = std::cos(angle_deg * RAD_PER_DEGREE);
  sin = std::sin(angle_deg * RAD_PER_DEGREE);
}

GroundVector wind_triangle(double tas_kt, const Direction& heading, double wind_kt,
                           const Direction& wind_from) {
  // The air moves towards the opposite of where the wind blows from.
  const double north_kt = tas_kt * heading.cos - wind_kt * wind_from.cos;
  const double east_kt = tas_kt * heading.sin - wind_kt * wind_from.sin;
  const double gs_kt = std::hypot(north_kt, east_kt);
  if (gs_kt == 0.0) return GroundVector{0.0, wrap_360_deg(heading.deg)};
  return GroundVector{gs_kt, wrap_360_deg(std::atan2(east_kt, north_kt) * DEG_PER_RADIAN)};
}

GroundVector wind_triangle(double tas_kt, double heading_true_deg, Wind wind) {
  Direction heading, wind_from;
  heading.point(heading_true_deg);
  wind_from.point(wind.from_true_deg);
  return wind_triangle(tas_kt, heading, wind.speed_kt, wind_from);
}

void Angle::set(double angle_rad) {
  if (same_bits(angle_rad, rad)) return;
  rad = angle_rad;
  sin = std::sin(angle_rad);
  cos = std::cos(angle_rad);
}

// --- The model

const GeographicLib::Geodesic& nav_sphere() {
  static const GeographicLib::Geodesic sphere(SPHERE_RADIUS_M, 0.0);
  return sphere;
}

GreatCircle great_circle(double lat1_deg, double lon1_east_deg, double lat2_deg,
                         double lon2_east_deg) {
  double distance_m = 0.0, course1_deg = 0.0, course2_deg = 0.0;
  nav_sphere().Inverse(lat1_deg, lon1_east_deg, lat2_deg, lon2_east_deg, distance_m, course1_deg,
                       course2_deg);
  return GreatCircle{distance_m / METRES_PER_NM, wrap_360_deg(course1_deg)};
}

void FlightModel::park(double lat_deg, double lon_east_deg, double heading_true_deg,
                       double alt_ft) {
  state_ = FlightState{};
  state_.lat_deg = lat_deg;
  state_.lon_east_deg = lon_east_deg;
  state_.heading_true_deg = wrap_360_deg(heading_true_deg);
  state_.track_true_deg = state_.heading_true_deg;
  state_.alt_ft = alt_ft;
  phase_ = Phase::Parked;
  target_alt_ft_ = alt_ft;
  target_tas_kt_ = 0.0;
}

void FlightModel::start_takeoff(double cruise_alt_ft, double cruise_tas_kt) {
  set_targets(cruise_alt_ft, cruise_tas_kt);
  phase_ = Phase::TakeoffRoll;
}

void FlightModel::fly_as_set() {
  set_targets(state_.alt_ft, state_.tas_kt);
  phase_ = Phase::Cruise;
}

void FlightModel::set_targets(double alt_ft, double tas_kt) {
  target_alt_ft_ = alt_ft;
  target_tas_kt_ = tas_kt;
}

double FlightModel::heading_mag_deg() const {
  return wrap_360_deg(state_.heading_true_deg - magvar_east_deg_);
}

double FlightModel::mach() const {
  return mach_from_tas(state_.tas_kt, state_.alt_ft);
}

double FlightModel::oat_c() const {
  return isa_temperature_c(state_.alt_ft);
}

void FlightModel::step(double dt_s, const Autopilot& autopilot) {
  if (!(dt_s > 0.0)) return;
  turn(dt_s, autopilot);
  change_speed_and_level(dt_s);
  move(dt_s);
}

void FlightModel::turn(double dt_s, const Autopilot& autopilot) {
  if (!airborne() || !autopilot.steering()) return;
  const double target_true_deg = autopilot.heading_bug_mag_deg + magvar_east_deg_;
  const double error_deg = wrap_180_deg(target_true_deg - state_.heading_true_deg);
  const double max_turn_deg = STANDARD_RATE_DEG_PER_S * dt_s;
  const double turn_deg = std::clamp(error_deg, -max_turn_deg, max_turn_deg);
  state_.heading_true_deg = wrap_360_deg(state_.heading_true_deg + turn_deg);
}

void FlightModel::change_speed_and_level(double dt_s) {
  const double climb_ft = performance_.climb_fpm / 60.0 * dt_s;
  const double alt_before_ft = state_.alt_ft;
  switch (phase_) {
    case Phase::Parked:
      state_.tas_kt = 0.0;
      break;
    case Phase::TakeoffRoll:
      state_.tas_kt += performance_.roll_accel_kt_per_s * dt_s;
      if (state_.tas_kt >= performance_.rotate_kt) phase_ = Phase::Climb;
      break;
    case Phase::Climb:
      state_.tas_kt = approach(state_.tas_kt, std::max(target_tas_kt_, performance_.rotate_kt),
                               performance_.air_accel_kt_per_s * dt_s);
      state_.alt_ft = approach(state_.alt_ft, target_alt_ft_, climb_ft);
      if (state_.alt_ft == target_alt_ft_) phase_ = Phase::Cruise;
      break;
    case Phase::Cruise:
      state_.tas_kt =
          approach(state_.tas_kt, target_tas_kt_, performance_.air_accel_kt_per_s * dt_s);
      state_.alt_ft = approach(state_.alt_ft, target_alt_ft_, climb_ft);
      break;
  }
  state_.vertical_speed_fpm = (state_.alt_ft - alt_before_ft) / dt_s * 60.0;
}

void FlightModel::move(double dt_s) {
  GroundVector ground{state_.tas_kt, wrap_360_deg(state_.heading_true_deg)};
  if (phase_ == Phase::Parked) ground.gs_kt = 0.0;
  if (airborne()) {
    const Wind wind = wind_now();
    Triangle& t = triangle_;
    if (!same_bits(state_.tas_kt, t.tas_kt) || !same_bits(state_.heading_true_deg, t.heading_deg) ||
        !same_bits(wind.speed_kt, t.wind_kt) || !same_bits(wind.from_true_deg, t.wind_from_deg)) {
      heading_.point(state_.heading_true_deg);
      wind_from_.point(wind.from_true_deg);
      t = Triangle{state_.tas_kt, state_.heading_true_deg, wind.speed_kt, wind.from_true_deg,
                   wind_triangle(state_.tas_kt, heading_, wind.speed_kt, wind_from_)};
    }
    ground = t.ground;
  }
  state_.gs_kt = ground.gs_kt;
  state_.track_true_deg = ground.track_true_deg;
  if (ground.gs_kt == 0.0) return;

  const double distance_nm = ground.gs_kt * dt_s / SECONDS_PER_HOUR;
  course_.point(ground.track_true_deg);
  step_angle_.set(distance_nm / NM_PER_RADIAN);
  advance_on_sphere(state_.lat_deg, state_.lon_east_deg, course_, step_angle_);
}

void advance_on_sphere(double& lat_deg, double& lon_east_deg, double course_true_deg,
                       double angle_rad) {
  Direction course;
  course.point(course_true_deg);
  Angle angle;
  angle.set(angle_rad);
  advance_on_sphere(lat_deg, lon_east_deg, course, angle);
}

void advance_on_sphere(double& lat_deg, double& lon_east_deg, const Direction& course,
                       const Angle& angle) {
  // In a frame turned about the pole axis to put the start on the zero meridian, the start is
  // (cos lat, 0, sin lat), north there is (-sin lat, 0, cos lat) and east (0, 1, 0); the end is
  // the start times cos(angle) plus the course's direction times sin(angle). Latitude and the
  // change of longitude come back by atan2, accurate everywhere, the poles included (where the
  // longitude changes by 180 degrees on a step across).
  const double lat_rad = lat_deg * RAD_PER_DEGREE;
  const double sin_lat = std::sin(lat_rad), cos_lat = std::cos(lat_rad);
  const double sin_course = course.sin, cos_course = course.cos;
  const double sin_angle = angle.sin, cos_angle = angle.cos;
  const double x = cos_lat * cos_angle - sin_lat * sin_angle * cos_course;
  const double y = sin_angle * sin_course;
  const double z = sin_lat * cos_angle + cos_lat * sin_angle * cos_course;
  lat_deg = std::atan2(z, std::hypot(x, y)) * DEG_PER_RADIAN;
  // Both longitudes lie within 180 degrees of zero, so one turn at most brings the sum into
  // (-180, 180], exactly (Sterbenz: a difference of numbers within a factor two is exact).
  double lon = lon_east_deg + std::atan2(y, x) * DEG_PER_RADIAN;
  if (lon > 180.0) lon -= 360.0;
  if (lon <= -180.0) lon += 360.0;
  lon_east_deg = lon;
}

}  // namespace flight
