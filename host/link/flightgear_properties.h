// What the link reads from FlightGear's property tree and how it becomes the host's Aircraft:
// the property paths asked for in each batch, the reply lines read back as one sample, and the
// sample set on the aircraft. Values in, values out: no socket here, so every reply FlightGear
// can give (a value, an empty line for a property without one, anything else) is tested alone.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/aircraft/aircraft.h"

namespace host::link {

// One batch's values, as FlightGear reported them.
struct FlightGearSample {
  double sim_time_s = 0.0;  // /sim/time/elapsed-sec: stands still while FlightGear is paused
  bool freeze_master = false;
  bool freeze_clock = false;
  double lat_deg = 0.0;
  double lon_east_deg = 0.0;
  double heading_true_deg = 0.0;
  double heading_mag_deg = 0.0;  // the airframe's magnetic heading (not the DG's reading)
  double gs_kt = 0.0;
  // The rest may be missing in a FlightGear (another aircraft, an older version): each is
  // empty then, and the aircraft keeps what it had.
  std::optional<double> alt_ft;
  std::optional<double> heading_dg_deg;  // the heading indicator (what the KAP140 steers)
  std::optional<double> wind_from_true_deg;
  std::optional<double> wind_speed_kt;
  std::optional<double> oat_c;
  std::optional<double> mach;
  std::optional<double> tas_kt;
  std::optional<double> bus_volts;
  std::optional<bool> battery_master;     // the c172p's battery master switch
  std::optional<double> heading_bug_deg;  // FlightGear's autopilot heading bug (magnetic)
  std::optional<bool> ap_engaged;         // KAP140 roll axis lock
  std::optional<bool> ap_heading_mode;    // KAP140 heading hold lock
  std::optional<double> static_pressure_inhg;

  bool paused() const { return freeze_master || freeze_clock; }
  // FlightGear's magnetic variation, east positive: true heading less magnetic heading.
  double magvar_east_deg() const;
};

// The property paths of one batch, in the order their replies come back.
const std::vector<std::string>& sample_paths();

// The batch of requests as sent: one "get PATH\r\n" line per path, then "pwd\r\n", which
// FlightGear answers (in data mode) with BATCH_END_REPLY: the line that ends the batch's reply,
// which no value the batch asks for can be. A reply is placed only when its lines are exactly
// one per path, then that one.
std::string sample_request();
inline constexpr std::string_view BATCH_END_REPLY = "/";

struct SampleReading {
  std::optional<FlightGearSample> sample;  // empty when the reply cannot be used
  std::string fault;                       // why not, naming the property and what came
  std::vector<std::string> missing;        // optional properties that had no value
};

// Reads a batch's reply lines (one per path of sample_paths(), in order). A property that must
// be there (time, pause, position, heading, ground speed) without a value, any value that is
// not a number (or true/false) where one is due, and any number no aircraft can have (a
// latitude beyond 90 degrees, a speed past MAX_SPEED_KT, ...) make the whole sample unusable.
// Angles may come up to one turn outside their range (a longitude just past the antimeridian, a
// heading just below 0) and are taken back into it: longitudes into [-180, 180), headings and
// directions into [0, 360).
SampleReading read_sample(const std::vector<std::string>& lines);

// Faster than any aircraft that carries an INS flies (Mach 6): a speed beyond is no speed.
inline constexpr double MAX_SPEED_KT = 4000.0;

// Sets the aircraft from a sample: position, headings and variation, ground speed, wind, OAT,
// Mach, altitude, TAS, power from the electrical bus and the autopilot switches from the
// KAP140's locks. What the sample lacks stays as it was. The heading bug is the module's, never
// FlightGear's.
void apply_sample(const FlightGearSample& sample, Aircraft& aircraft);

// Power as the c172p has it. Its bus takes the highest of its sources: the battery (24 V, a
// little more fully charged) through the battery master, the alternator (28 V once the engine
// turns 800 rpm) through the alternator master, a ground power unit (28 V). So a bus above
// BATTERY_MAX_VOLTS is fed by the alternator (or the ground): main power. The battery is on
// when its master switch is and the bus is alive (BUS_ALIVE_VOLTS, the least the c172p's
// avionics, its KAP140 among them, work on); without the switch's value (another aircraft),
// a live bus alone.
inline constexpr double BATTERY_MAX_VOLTS = 25.5;
inline constexpr double BUS_ALIVE_VOLTS = 8.0;

// The KAP140's heading mode (what its HDG button does from OFF), with the bug on `bug_deg` and
// the altitude held at the static pressure given (vertical speed 0 when there is none): lines of
// setd/setb/seti, none answered.
std::string kap140_heading_mode_commands(double bug_deg,
                                         std::optional<double> hold_static_pressure_inhg);

// The c172p's battery, alternator and avionics masters on: the INS's power on the ground.
std::string prepare_commands();

// A take-off as FlightGear does a start in the air: its start position (/sim/presets) set to
// `ahead_nm` ahead of the aircraft on its true heading, at `alt_ft` and `tas_kt`, in the air,
// the parking brake off, and FlightGear's "reposition" command, which puts the aircraft there
// (the c172p's start-up then starts its engine and sets it up for an approach).
struct TakeoffPoint {
  double lat_deg = 0.0;
  double lon_east_deg = 0.0;
  double heading_true_deg = 0.0;
  double alt_ft = 0.0;
  double tas_kt = 0.0;
};
TakeoffPoint takeoff_point(const FlightGearSample& standing, double ahead_nm, double alt_ft,
                           double tas_kt);
std::string takeoff_commands(const TakeoffPoint& point);

// The c172p in cruise after its start-up's approach set-up: flaps up, throttle 0.85, mixture
// rich, both magnetos.
std::string cruise_commands();

// The elevator back to neutral: the KAP140's pitch servo leaves it where it was when its locks
// are dropped, and nothing else in a FlightGear without a joystick moves it again.
std::string elevator_neutral_command();

// What FlightGear sent, for a message: quoted, at most 40 characters of it, anything not
// printable as "?".
std::string shown(std::string_view text);

// "setd /autopilot/settings/heading-bug-deg 111.0\r\n".
std::string heading_bug_command(double bug_mag_deg);

}  // namespace host::link
