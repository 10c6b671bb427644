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

// A bus this many volts or more counts as main power (the c172p's alternator gives 28 V, its
// battery alone about 24 V); any voltage above BATTERY_MIN_VOLTS as the battery on.
inline constexpr double MAIN_POWER_MIN_VOLTS = 20.0;
inline constexpr double BATTERY_MIN_VOLTS = 8.0;

// The KAP140's heading mode (what its HDG button does from OFF), with the bug on `bug_deg` and
// the altitude held at the static pressure given (vertical speed 0 when there is none): lines of
// setd/setb/seti, none answered.
std::string kap140_heading_mode_commands(double bug_deg,
                                         std::optional<double> hold_static_pressure_inhg);

// What FlightGear sent, for a message: quoted, at most 40 characters of it, anything not
// printable as "?".
std::string shown(std::string_view text);

// "setd /autopilot/settings/heading-bug-deg 111.0\r\n".
std::string heading_bug_command(double bug_mag_deg);

}  // namespace host::link
