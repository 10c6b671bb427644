// The navigation cycle of INS_UPDATE and INS_ALT_UPDATE.
//
// Angles: positions are radians with longitude WEST positive. The direct course is kept
// counter-clockwise, plus the variation, so it is minus the magnetic course; the cross-track
// courses are true courses, clockwise. Every reduction "modulo 2 pi" is fmod (through
// fmod_positive), which keeps the dividend's sign. Every float-to-integer conversion goes
// through truncate_to, so no conversion is undefined whatever the host delivers.
#include "nav/navigation_cycle.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "core/convert.h"
#include "core/geodesy.h"
#include "nav/present_position.h"
#include "state/host_bridge.h"
#include "state/ins_state.h"
#include "store/waypoint_file.h"

namespace {

constexpr double AUTO_LEG_CHANGE_NM = 2.0;       // inclusive
constexpr double MAN_HOLD_RELEASE_NM = 0.5;      // inclusive
constexpr double MOVING_GROUND_SPEED_KT = 40.0;  // above: time to go, wind correction, shown speed
constexpr double WIND_REFRESH_TRUE_AIRSPEED_KT = 60.0;
constexpr double DRIFT_GROUND_SPEED_KT = 75.0;    // above: drift angle
constexpr double SPEED_OF_SOUND_FACTOR = 1517.0;  // speed of sound, kt = sqrt(1517 x kelvin)
constexpr double UNUSABLE_WIND_CORRECTION = -999.0;

InsState& state() {
  return ins_state;
}

// Signed difference a - b of two angles in degrees, folded into [-180, 180] so that it is the
// short way round the compass (005 is 10 degrees right of 355, not 350 left). Differences of
// exactly 180 keep their sign.
double shortest_difference_deg(double a_deg, double b_deg) {
  double difference = fmod_positive(a_deg - b_deg, 360.0);
  if (difference > 180.0) {
    difference -= 360.0;
  } else if (difference < -180.0) {
    difference += 360.0;
  }
  return difference;
}

// True course from A to B, clockwise from north, plus pi, in [0, 2 pi): the form the
// cross-track geometry compares (longitudes west positive). `dlon` is lon A - lon B.
double reversed_true_course(SinCos lat_a, SinCos lat_b, SinCos dlon) {
  return fmod_positive(initial_course(lat_a, lat_b, dlon) + PI, TWO_PI);
}

// The exact bits of an angle: -0 and +0 differ (their sines do), and a NaN matches only itself.
uint64_t bits_of(double angle) {
  return std::bit_cast<uint64_t>(angle);
}

// The sine and cosine of the last angle asked for. The cycle needs the same few angles' sines
// and cosines in several steps of a frame (the present latitude in the distances and in both
// courses) and again next frame while the aircraft sits still; each is computed once. The
// memo is keyed by the angle's bits rather than cleared by whatever changes the angle, so no
// path that moves a waypoint or the present position can leave a stale value behind, and the
// values are those sin and cos give, bit for bit.
class SinCosMemo {
 public:
  SinCos of(double angle) {
    const uint64_t key = bits_of(angle);
    if (!valid_ || key != key_) {
      value_ = sin_cos(angle);
      key_ = key;
      valid_ = true;
    }
    return value_;
  }

 private:
  uint64_t key_ = 0;
  bool valid_ = false;
  SinCos value_{};
};

// What depends on the leg's two waypoints alone: their latitudes' sines and cosines, the leg's
// length and its course seen from either end. Recomputed only in a frame whose waypoints
// differ, bit for bit, from those it was computed for (a new leg, an entry, a power cycle).
struct LegGeometry {
  SinCos from_lat;
  SinCos to_lat;
  double leg_angle;
  double reversed_course_to_from;  // the leg seen from TO (towards FROM)
  double reversed_course_from_to;  // the leg seen from FROM (towards TO)
};

class LegGeometryMemo {
 public:
  const LegGeometry& of(double from_lat, double from_lon, double to_lat, double to_lon) {
    const std::array<uint64_t, 4> key = {bits_of(from_lat), bits_of(from_lon), bits_of(to_lat),
                                         bits_of(to_lon)};
    if (!valid_ || key != key_) {
      leg_.from_lat = sin_cos(from_lat);
      leg_.to_lat = sin_cos(to_lat);
      leg_.leg_angle = central_angle(leg_.from_lat, leg_.to_lat, std::cos(from_lon - to_lon));
      leg_.reversed_course_to_from =
          reversed_true_course(leg_.to_lat, leg_.from_lat, sin_cos(to_lon - from_lon));
      leg_.reversed_course_from_to =
          reversed_true_course(leg_.from_lat, leg_.to_lat, sin_cos(from_lon - to_lon));
      key_ = key;
      valid_ = true;
    }
    return leg_;
  }

 private:
  std::array<uint64_t, 4> key_{};
  bool valid_ = false;
  LegGeometry leg_{};
};

// The module's one set of memos (no allocation: fixed fields, filled on first use).
struct NavigationTrig {
  LegGeometryMemo leg;
  SinCosMemo present_lat;
  SinCosMemo to_dlon;    // to_lon - present_lon
  SinCosMemo from_dlon;  // from_lon - present_lon
};
NavigationTrig navigation_trig;

const LegGeometry& leg_geometry(const InsState& s) {
  return navigation_trig.leg.of(s.from_lat, s.from_lon, s.to_lat, s.to_lon);
}
SinCos present_lat_trig(const InsState& s) {
  return navigation_trig.present_lat.of(s.present_lat);
}
SinCos to_dlon_trig(const InsState& s) {
  return navigation_trig.to_dlon.of(s.to_lon - s.present_lon);
}
SinCos from_dlon_trig(const InsState& s) {
  return navigation_trig.from_dlon.of(s.from_lon - s.present_lon);
}

// A course kept counter-clockwise (minus the course, in degrees) as the clockwise course: minus
// 90 is 090, and a course of 0 comes out as 360.
double clockwise_deg(double minus_course_deg) {
  return minus_course_deg >= 0.0 ? 360.0 - minus_course_deg : -minus_course_deg;
}

}  // namespace

namespace navigation_steps {

// The TO waypoint is the file line numbered to_waypoint. A missing file or line keeps the
// previous coordinates; the display form is refreshed either way, and the request is spent.
void load_to_waypoint_on_request() {
  InsState& s = state();
  if (s.reload_to_waypoint != 0) {
    load_waypoint(s.to_waypoint, s.to_lat, s.to_lon, s.file_waypoint_number);
    update_to_waypoint_display();
  }
  s.reload_to_waypoint = 0;
}

// The FROM waypoint is always the line before the TO waypoint, whatever from_waypoint shows.
// With TO 0 the number sought is -1, which no line carries.
void load_from_waypoint_on_request() {
  InsState& s = state();
  const int32_t to_number = s.to_waypoint;
  if (s.reload_from_waypoint != 0 && to_number <= s.file_waypoint_number) {
    load_waypoint(to_number - 1, s.from_lat, s.from_lon, s.file_waypoint_number);
  }
  s.reload_from_waypoint = 0;
}

void compute_leg_geometry() {
  InsState& s = state();
  const LegGeometry& leg = leg_geometry(s);
  const SinCos present_lat = present_lat_trig(s);
  s.leg_angle = leg.leg_angle;
  s.to_angle = central_angle(present_lat, leg.to_lat, std::cos(s.present_lon - s.to_lon));
  s.distance_to_go = s.nav_ready != 0 ? s.to_angle * NM_PER_RADIAN : 0.0;
  s.from_angle = central_angle(leg.from_lat, present_lat, from_dlon_trig(s).cosine);
}

// While HOLD is engaged: send the heading computed in the previous frame, then sequence the
// leg. An INS that has lost power or is not navigating has nothing valid to steer by: it
// releases HOLD rather than send heading 0 and race through the legs on a zeroed distance.
void run_coupled_actions() {
  InsState& s = state();
  if (s.hold_active == 0) return;
  if (s.nav_ready == 0 || s.ins_powered == 0) {
    s.hold_active = 0;
    return;
  }

  send_key_event(EVENT_HEADING_BUG_SET,
                 static_cast<uint32_t>(truncate_to<int32_t>(s.steer_heading)));

  // AUTO: the next leg is read from the file in the next frame; this frame finishes the old one.
  const int32_t to_number = s.to_waypoint;
  if (s.auto_selected != 0 && s.distance_to_go <= AUTO_LEG_CHANGE_NM &&
      to_number < s.file_waypoint_number && to_number < LAST_WAYPOINT_NUMBER) {
    s.from_waypoint = s.to_waypoint;
    s.to_waypoint = static_cast<uint8_t>(to_number + 1);
    s.reload_to_waypoint = 1;
    s.reload_from_waypoint = 1;
  }

  // MAN: the leg never changes here; the coupling ends on reaching the TO waypoint.
  if (s.man_selected != 0 && s.distance_to_go <= MAN_HOLD_RELEASE_NM) s.hold_active = 0;
}

// Both autopilot conditions must hold for the coupling to stay engaged, checked every frame.
void apply_coupling_permits() {
  InsState& s = state();
  s.coupling_permit_103 = truncate_to<uint8_t>(refresh_host_var(HV_AP_MASTER));
  s.coupling_permit_106 = truncate_to<uint8_t>(refresh_host_var(HV_AP_HEADING));
  if (s.coupling_permit_103 == 0 || s.coupling_permit_106 == 0) s.hold_active = 0;
}

void read_heading() {
  InsState& s = state();
  const uint16_t heading = truncate_to<uint16_t>(refresh_host_var(HV_HEADING) + 0.5);
  s.heading = s.nav_ready != 0 ? heading : 0;
}

// Drift is the angle between heading and the track of the previous frame. Its side is taken
// the short way round the compass, so heading 005 over track 355 drifts L, not R.
void compute_drift_angle() {
  InsState& s = state();
  if (!(s.ground_speed > DRIFT_GROUND_SPEED_KT)) {
    s.drift_angle = 0;  // drift_left keeps its value
    return;
  }
  const int16_t difference =
      static_cast<int16_t>(static_cast<int32_t>(s.heading) - truncate_to<int16_t>(s.track));
  int32_t angle = std::abs(static_cast<int32_t>(difference));
  if (angle >= 360) angle -= 360;
  if (angle >= 180 && angle < 360) angle = 360 - angle;
  s.drift_angle = static_cast<int16_t>(angle);
  s.drift_left = shortest_difference_deg(s.heading, s.track) >= 0.0 ? 1 : 0;
}

void read_ground_speed() {
  InsState& s = state();
  s.ground_speed = refresh_host_var(HV_GROUND_SPEED) * SECONDS_PER_HOUR * NM_PER_METRE;
  s.ground_speed_shown = s.ground_speed > MOVING_GROUND_SPEED_KT ? s.ground_speed : 0.0;
}

// Hours, minutes and tenths of a minute, each truncated; hours wrap at 256 like the 8-bit
// counter they are kept in (the minutes and tenths stay right, 256 hours being a whole number
// of 8-bit minute and tenth periods).
void compute_time_to_go() {
  InsState& s = state();
  if (!(s.ground_speed > MOVING_GROUND_SPEED_KT)) {
    s.time_to_go_hours = 0.0;
    s.ttg_hours = 0;
    s.ttg_minutes = 0.0;
    s.ttg_tenths = 0;
    return;
  }
  const double hours = s.distance_to_go / s.ground_speed;
  s.time_to_go_hours = hours;
  s.ttg_hours = truncate_to<uint8_t>(hours);
  const double minutes = (hours - s.ttg_hours) * 60.0;
  s.ttg_minutes = truncate_to<uint8_t>(minutes);
  s.ttg_tenths = truncate_to<uint8_t>((minutes - s.ttg_minutes) * 10.0);
}

void read_magnetic_variation() {
  InsState& s = state();
  s.magnetic_variation_deg = refresh_host_var(HV_MAGVAR);
  s.magnetic_variation = s.magnetic_variation_deg * RAD_PER_DEGREE;
}

// Counter-clockwise course to TO plus the variation: minus the magnetic course.
void compute_direct_course() {
  InsState& s = state();
  const double course_ccw =
      initial_course(present_lat_trig(s), leg_geometry(s).to_lat, to_dlon_trig(s));
  s.direct_course_angle = fmod_positive(course_ccw + s.magnetic_variation, TWO_PI);
}

// Wind comes as true degrees and whole knots, rounded here; the direction is made magnetic so
// that it compares with the magnetic course.
void read_wind_and_airspeed() {
  InsState& s = state();
  const double wind_speed_kt = refresh_host_var(HV_WIND_SPEED);
  const double wind_dir_true_deg = refresh_host_var(HV_WIND_DIR);
  const double mach_host = refresh_host_var(HV_MACH);
  const double oat_c = refresh_host_var(HV_OAT);

  s.wind_speed = wind_speed_kt + 0.5;
  double wind_dir_deg = wind_dir_true_deg - s.magnetic_variation_deg + 0.5;
  if (wind_dir_deg >= 360.0) wind_dir_deg -= 360.0;
  if (wind_dir_deg < 0.0) wind_dir_deg += 360.0;
  s.wind_dir_deg = wind_dir_deg;
  s.wind_dir = fmod_positive(wind_dir_deg * RAD_PER_DEGREE, TWO_PI);
  s.air_temperature_k = oat_c + KELVIN_AT_ZERO_CELSIUS;
  s.true_airspeed =
      std::sqrt(SPEED_OF_SOUND_FACTOR * s.air_temperature_k) * mach_host * HOST_MACH_PER_UNIT;
}

// Sine of the wind correction angle: the crosswind over the true airspeed. The wind's angle
// off the magnetic course is wind_dir minus the course, and the course is minus
// direct_course_angle, hence the sum. A crosswind from the right gives a positive sine (turn
// right into it). The correction is unusable when slow, when the crosswind exceeds the
// airspeed, or when there is no airspeed at all.
void compute_wind_correction() {
  InsState& s = state();
  double sine = UNUSABLE_WIND_CORRECTION;
  if (s.ground_speed > MOVING_GROUND_SPEED_KT) {
    sine = std::sin(s.wind_dir + s.direct_course_angle) * s.wind_speed / s.true_airspeed;
  }
  if (!(s.ground_speed > MOVING_GROUND_SPEED_KT) || std::isnan(sine) || std::fabs(sine) > 1.0) {
    sine = UNUSABLE_WIND_CORRECTION;
  }
  s.wind_correction_sine = sine;
}

// Still counter-clockwise: subtracting the correction turns the heading clockwise into the wind.
void compute_steering_course() {
  InsState& s = state();
  if (s.wind_correction_sine != UNUSABLE_WIND_CORRECTION) {
    s.steer_course =
        fmod_positive(s.direct_course_angle - std::asin(s.wind_correction_sine), TWO_PI);
  } else {
    s.steer_course = s.direct_course_angle;
  }
}

// Back to clockwise degrees. Both branches leave the magnetic heading less half a degree, so
// the whole part sent to the host is one below the nearest whole degree (course 090 sends 89).
void convert_steering_to_degrees() {
  InsState& s = state();
  s.steer_heading = clockwise_deg(s.steer_course * DEG_PER_RADIAN + 0.5);
  if (s.nav_ready == 0) s.steer_heading = 0.0;
}

// The shown wind holds its last values while the aircraft is slow on the ground.
void refresh_shown_wind() {
  InsState& s = state();
  if (s.ground_speed >= MOVING_GROUND_SPEED_KT ||
      s.true_airspeed >= WIND_REFRESH_TRUE_AIRSPEED_KT) {
    s.wind_dir_shown = truncate_to<uint16_t>(s.wind_dir_deg);
    s.wind_speed_shown = truncate_to<int32_t>(s.wind_speed);
  }
}

// Cross-track angle from the nearer end of the leg: the TO waypoint up to and including
// mid-leg, the FROM waypoint beyond it. Positive means left of the leg (FROM towards TO).
CrossTrackReference compute_cross_track_angle() {
  InsState& s = state();
  CrossTrackReference reference;
  double sine;
  const LegGeometry& leg = leg_geometry(s);
  const SinCos present_lat = present_lat_trig(s);
  if (s.leg_angle * 0.5 >= s.from_angle) {
    reference = CrossTrackReference::TO_WAYPOINT;
    s.ref_leg_course = leg.reversed_course_to_from;
    s.ref_present_course = reversed_true_course(leg.to_lat, present_lat, to_dlon_trig(s));
    sine = std::sin(s.to_angle) * std::sin(s.ref_present_course - s.ref_leg_course);
  } else {
    reference = CrossTrackReference::FROM_WAYPOINT;
    s.ref_leg_course = leg.reversed_course_from_to;
    s.ref_present_course = reversed_true_course(leg.from_lat, present_lat, from_dlon_trig(s));
    sine = std::sin(s.from_angle) * std::sin(s.ref_leg_course - s.ref_present_course);
  }
  if (sine > 1.0) sine = 1.0;
  if (sine < -1.0) sine = -1.0;
  s.cross_track_angle = std::asin(sine);
  return reference;
}

void compute_cross_track_distance() {
  InsState& s = state();
  const double cross_track_nm = s.cross_track_angle * NM_PER_RADIAN;
  s.cross_track_left = cross_track_nm >= 0.0 ? 1 : 0;
  s.cross_track_nm = s.nav_ready != 0 ? std::fabs(cross_track_nm) : 0.0;
}

// Angle at the reference waypoint between the leg and the line to the present position. Seen
// from TO the leg runs backwards, so the same sign means the other side. The side is taken the
// short way round the compass: courses either side of north (359 and 001) are 2 degrees apart
// on one side, not 358 on the other, so the side agrees with the cross-track side.
void compute_track_angle_error(CrossTrackReference reference) {
  InsState& s = state();
  const double error_deg = (s.ref_leg_course - s.ref_present_course) * DEG_PER_RADIAN;
  const bool clockwise_of_leg = shortest_difference_deg(error_deg, 0.0) >= 0.0;
  if (reference == CrossTrackReference::TO_WAYPOINT) {
    s.track_error_left = clockwise_of_leg ? 0 : 1;
  } else {
    s.track_error_left = clockwise_of_leg ? 1 : 0;
  }
  double magnitude = std::fabs(error_deg);
  if (magnitude > 360.0) magnitude -= 360.0;
  if (magnitude > 180.0) magnitude = 360.0 - magnitude;
  s.track_error = s.nav_ready != 0 ? magnitude : 0.0;
}

// Magnetic course direct to TO, clockwise, in (0, 360]: north shows as 360.
void compute_desired_track() {
  InsState& s = state();
  const double desired = clockwise_deg(s.direct_course_angle * DEG_PER_RADIAN);
  s.desired_track = s.nav_ready != 0 ? desired : 0.0;
}

// The desired track corrected by the cross-track distance at one degree per nautical mile,
// left of the leg turning it anticlockwise.
void compute_track() {
  InsState& s = state();
  double track = s.desired_track - s.cross_track_angle * NM_PER_RADIAN;
  if (track >= 360.0) track -= 360.0;
  if (track < 0.0) track += 360.0;
  if (track == 360.0) track = 0.0;
  s.track = s.nav_ready != 0 ? track : 0.0;
}

}  // namespace navigation_steps

void GAUGE_CALLBACK ins_update_service(GaugeHeader*, int32_t service_code, uint32_t) {
  if (service_code == SERVICE_PRE_UPDATE) navigation_cycle(true);
}

void GAUGE_CALLBACK ins_alt_update_service(GaugeHeader*, int32_t service_code, uint32_t) {
  if (service_code == SERVICE_PRE_UPDATE) navigation_cycle(false);
}

void navigation_cycle(bool check_coupling_permits) {
  using namespace navigation_steps;
  update_present_position();
  load_to_waypoint_on_request();
  load_from_waypoint_on_request();
  compute_leg_geometry();
  run_coupled_actions();
  if (check_coupling_permits) apply_coupling_permits();
  read_heading();
  compute_drift_angle();
  read_ground_speed();
  compute_time_to_go();
  read_magnetic_variation();
  compute_direct_course();
  read_wind_and_airspeed();
  compute_wind_correction();
  compute_steering_course();
  convert_steering_to_degrees();
  refresh_shown_wind();
  const CrossTrackReference reference = compute_cross_track_angle();
  compute_cross_track_distance();
  compute_track_angle_error(reference);
  compute_desired_track();
  compute_track();
}
