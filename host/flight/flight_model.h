// The simulated aircraft's flight model: where the aircraft is and how it moves, frame by frame.
//
// Motion is on the same sphere the INS navigates on, one whose nautical mile is one minute of
// arc (radius 3437.747 NM of 1852 m), so a flight measured by the host and by the INS agree to
// the metre apart from the INS's own single-precision rounding. Each step moves the aircraft
// along the great circle of its ground track (the vector sum of the air vector, true airspeed on
// true heading, and the wind at its altitude) by the ground speed times the step. Steps are a
// frame long, so the rhumb-line character of a constant heading is followed as a pilot flies it.
//
// The aircraft's phases: parked (standing still on the ground, as the alignment needs: ground
// speed exactly 0 whatever the wind), the take-off roll (accelerating along the runway heading,
// no wind drift on the ground), the climb to the cruise level, and cruise (holding the target
// level and speed, changing to a new target at the climb rate and acceleration). The autopilot
// turns the aircraft, whenever it is airborne and both its master and heading mode are on,
// towards the heading bug (magnetic) at a standard-rate turn, 3 degrees a second, the short way.
//
// Positions: latitude north-positive, longitude east-positive in (-180, 180]; the 180-degree
// meridian and the poles need no special handling (the direct problem on the sphere, solved with
// unit vectors).
#pragma once

#include <GeographicLib/Geodesic.hpp>
#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "boundary/gauge_vocabulary.h"

namespace flight {

constexpr double SPHERE_RADIUS_M = NM_PER_RADIAN * METRES_PER_NM;
constexpr double STANDARD_RATE_DEG_PER_S = 3.0;

// The sphere the INS navigates on; every great-circle question the host asks goes to it.
const GeographicLib::Geodesic& nav_sphere();

// From one position to another on that sphere: the distance and the course at the start.
struct GreatCircle {
  double distance_nm = 0.0;
  double initial_course_true_deg = 0.0;  // [0, 360)
};
GreatCircle great_circle(double lat1_deg, double lon1_east_deg, double lat2_deg,
                         double lon2_east_deg);

// A wind: the direction it blows FROM, degrees true, and its speed.
struct Wind {
  double from_true_deg = 0.0;
  double speed_kt = 0.0;
};

// Wind by altitude: a list of layers, each a wind at an altitude. Between two layers the wind is
// interpolated linearly by its north and east components (so a veer through north does not swing
// the long way round); below the lowest and above the highest layer it is that layer's wind. An
// empty profile is calm.
class WindProfile {
 public:
  WindProfile() = default;
  explicit WindProfile(Wind constant) { add_layer(0.0, constant); }

  // Adds a layer, keeping the layers in order of altitude; a layer at an altitude already
  // listed replaces it.
  void add_layer(double alt_ft, Wind wind);
  Wind at(double alt_ft) const;
  bool calm() const { return layers_.empty(); }

 private:
  struct Layer {
    double alt_ft;
    Wind wind;
  };
  std::vector<Layer> layers_;
};

// The ground track and speed that a true airspeed on a true heading makes good in a wind: the
// wind triangle. Track in [0, 360); with no ground speed the track is the heading.
struct GroundVector {
  double gs_kt = 0.0;
  double track_true_deg = 0.0;
};
GroundVector wind_triangle(double tas_kt, double heading_true_deg, Wind wind);

// Whether two numbers are the same to the bit (0 and -0 differ, a NaN is itself): what a cache
// of a calculation compares its inputs with, so that it answers exactly as the calculation would.
inline bool same_bits(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// A direction in degrees with its cosine and sine, worked out again only when it changes: the
// heading, the track and the wind hold still for most of a flight's frames.
struct Direction {
  double deg = std::numeric_limits<double>::quiet_NaN();  // none yet: the first point() sets it
  double cos = 1.0;
  double sin = 0.0;
  void point(double angle_deg);
};
GroundVector wind_triangle(double tas_kt, const Direction& heading, double wind_kt,
                           const Direction& wind_from);

// An angle in radians with its sine and cosine, worked out again only when it changes: a frame's
// step over the sphere at a steady ground speed.
struct Angle {
  double rad = std::numeric_limits<double>::quiet_NaN();
  double sin = 0.0;
  double cos = 1.0;
  void set(double angle_rad);
};

// Moves a position `angle_rad` (the distance over the sphere's radius) along the great circle
// leaving it on a true course: the direct problem on the sphere in closed form. It is what a
// frame's step asks, over and over, and costs a tenth of GeographicLib's general solution (an
// ellipsoid's series, evaluated at zero flattening); the tests hold it against GeographicLib
// step by step and over whole flights. Longitude comes back in (-180, 180].
void advance_on_sphere(double& lat_deg, double& lon_east_deg, double course_true_deg,
                       double angle_rad);
// The same with the course's and the angle's sines and cosines at hand.
void advance_on_sphere(double& lat_deg, double& lon_east_deg, const Direction& course,
                       const Angle& angle);

// Reduces an angle to [0, 360), and a difference of angles to (-180, 180].
double wrap_360_deg_by_fmod(double angle_deg);
inline double wrap_360_deg(double angle_deg) {
  // Most angles are in range already (the model wraps every heading it makes): no fmod for
  // them, which returns them unchanged anyway. Inline: the frame asks it a few times over.
  if (angle_deg >= 0.0 && angle_deg < 360.0) return angle_deg;
  return wrap_360_deg_by_fmod(angle_deg);
}
double wrap_180_deg(double angle_deg);

enum class Phase { Parked, TakeoffRoll, Climb, Cruise };
const char* phase_name(Phase phase);

// How the aircraft takes off and climbs. Defaults are an airliner's, roughly: a 50-second roll
// to 150 knots, 2,500 feet a minute, a knot a second of acceleration in the air.
struct Performance {
  double rotate_kt = 150.0;
  double roll_accel_kt_per_s = 3.0;
  double climb_fpm = 2500.0;
  double air_accel_kt_per_s = 1.0;
};

// The autopilot's switches and heading bug as the host last set them.
struct Autopilot {
  bool master_on = false;
  bool heading_mode_on = false;
  double heading_bug_mag_deg = 0.0;
  bool steering() const { return master_on && heading_mode_on; }
};

// Everything the model moves. The inputs (position, altitude, airspeed, heading) may be set
// directly between steps, as a scenario does; the outputs are recomputed by every step.
struct FlightState {
  double lat_deg = 0.0;
  double lon_east_deg = 0.0;
  double alt_ft = 0.0;
  double tas_kt = 0.0;
  double heading_true_deg = 0.0;
  // Outputs of the last step.
  double gs_kt = 0.0;
  double track_true_deg = 0.0;
  double vertical_speed_fpm = 0.0;
};

class FlightModel {
 public:
  // Stands the aircraft still on the ground at a position and heading: ground speed 0.
  void park(double lat_deg, double lon_east_deg, double heading_true_deg, double alt_ft = 0.0);

  // Starts the take-off roll from where the aircraft stands, on its heading; after lift-off it
  // climbs at the performance's rate to the cruise level and accelerates to the cruise speed.
  void start_takeoff(double cruise_alt_ft, double cruise_tas_kt);

  // Airborne at the present altitude and airspeed, holding them (a scenario's free flight).
  void fly_as_set();

  // Level and speed the aircraft changes to in the climb and cruise.
  void set_targets(double alt_ft, double tas_kt);

  void set_wind(WindProfile wind) { wind_ = std::move(wind); }
  void set_magvar_east_deg(double magvar_east_deg) { magvar_east_deg_ = magvar_east_deg; }
  void set_performance(Performance performance) { performance_ = performance; }

  // Advances the model by dt_s seconds: autopilot turn, speed and altitude, then the move.
  void step(double dt_s, const Autopilot& autopilot);

  FlightState& state() { return state_; }
  const FlightState& state() const { return state_; }
  Phase phase() const { return phase_; }
  bool airborne() const { return phase_ == Phase::Climb || phase_ == Phase::Cruise; }
  double target_alt_ft() const { return target_alt_ft_; }
  double target_tas_kt() const { return target_tas_kt_; }

  // What the instruments read from the model.
  Wind wind_now() const { return wind_.at(state_.alt_ft); }
  double magvar_east_deg() const { return magvar_east_deg_; }
  double heading_mag_deg() const;  // magnetic = true - variation (east positive)
  double mach() const;
  double oat_c() const;

 private:
  void turn(double dt_s, const Autopilot& autopilot);
  void change_speed_and_level(double dt_s);
  void move(double dt_s);

  FlightState state_;
  Phase phase_ = Phase::Parked;
  WindProfile wind_;
  Performance performance_;
  double magvar_east_deg_ = 0.0;
  double target_alt_ft_ = 0.0;
  double target_tas_kt_ = 0.0;
  Direction heading_, wind_from_;  // of the last step's wind triangle
  // The last wind triangle's inputs and result: at a steady airspeed, heading and wind (most of
  // a cruise) the ground vector is the same frame after frame.
  struct Triangle {
    double tas_kt = std::numeric_limits<double>::quiet_NaN();
    double heading_deg = 0.0, wind_kt = 0.0, wind_from_deg = 0.0;
    GroundVector ground;
  };
  Triangle triangle_;
  Direction course_;  // of the last step's move over the sphere
  Angle step_angle_;
};

}  // namespace flight
