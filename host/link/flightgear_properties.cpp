#include "host/link/flightgear_properties.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <variant>

#include "host/flight/flight_model.h"

namespace host::link {

namespace {

using DoubleField = double FlightGearSample::*;
using BoolField = bool FlightGearSample::*;
using OptionalDouble = std::optional<double> FlightGearSample::*;
using OptionalBool = std::optional<bool> FlightGearSample::*;

// The numbers a property can have: [low, high]; an angle may be up to one turn outside and is
// taken back into [low, high).
struct Limits {
  double low = 0.0;
  double high = 0.0;
  bool angle = false;
};

constexpr Limits LATITUDE{-90.0, 90.0};
constexpr Limits LONGITUDE{-180.0, 180.0, true};
constexpr Limits DIRECTION{0.0, 360.0, true};
constexpr Limits SPEED{0.0, MAX_SPEED_KT};
// FlightGear's time since it started: 0 to thirty thousand years.
constexpr Limits ELAPSED_TIME{0.0, 1e12};
constexpr Limits ALTITUDE_FT{-2000.0, 200000.0};  // the Dead Sea's shore to the stratosphere's top
constexpr Limits WIND_SPEED_KT{0.0, 500.0};
constexpr Limits TEMPERATURE_C{-150.0, 150.0};
constexpr Limits MACH{0.0, 10.0};
constexpr Limits VOLTS{0.0, 1000.0};
constexpr Limits PRESSURE_INHG{0.0, 40.0};

struct Property {
  const char* path;
  std::variant<DoubleField, BoolField, OptionalDouble, OptionalBool> field;
  Limits limits{};  // (for numbers)
};

// Required first (a sample without one of them is no sample), then the optional ones.
const Property PROPERTIES[] = {
    {"/sim/time/elapsed-sec", &FlightGearSample::sim_time_s, ELAPSED_TIME},
    {"/sim/freeze/master", &FlightGearSample::freeze_master},
    {"/sim/freeze/clock", &FlightGearSample::freeze_clock},
    {"/position/latitude-deg", &FlightGearSample::lat_deg, LATITUDE},
    {"/position/longitude-deg", &FlightGearSample::lon_east_deg, LONGITUDE},
    {"/orientation/heading-deg", &FlightGearSample::heading_true_deg, DIRECTION},
    {"/orientation/heading-magnetic-deg", &FlightGearSample::heading_mag_deg, DIRECTION},
    {"/velocities/groundspeed-kt", &FlightGearSample::gs_kt, SPEED},
    {"/position/altitude-ft", &FlightGearSample::alt_ft, ALTITUDE_FT},
    {"/instrumentation/heading-indicator/indicated-heading-deg", &FlightGearSample::heading_dg_deg,
     DIRECTION},
    {"/environment/wind-from-heading-deg", &FlightGearSample::wind_from_true_deg, DIRECTION},
    {"/environment/wind-speed-kt", &FlightGearSample::wind_speed_kt, WIND_SPEED_KT},
    {"/environment/temperature-degc", &FlightGearSample::oat_c, TEMPERATURE_C},
    {"/velocities/mach", &FlightGearSample::mach, MACH},
    {"/fdm/jsbsim/velocities/vtrue-kts", &FlightGearSample::tas_kt, SPEED},
    {"/systems/electrical/volts", &FlightGearSample::bus_volts, VOLTS},
    {"/autopilot/settings/heading-bug-deg", &FlightGearSample::heading_bug_deg, DIRECTION},
    {"/autopilot/KAP140/locks/roll-axis", &FlightGearSample::ap_engaged},
    {"/autopilot/KAP140/locks/hdg-hold", &FlightGearSample::ap_heading_mode},
    {"/systems/static/pressure-inhg", &FlightGearSample::static_pressure_inhg, PRESSURE_INHG},
    {"/controls/switches/master-bat", &FlightGearSample::battery_master},
};

// The value within its limits (an angle taken back by one turn), or nothing.
std::optional<double> within(double value, const Limits& limits) {
  if (limits.angle) {
    if (value < limits.low) value += 360.0;
    if (value >= limits.high) value -= 360.0;
    if (value < limits.low || value >= limits.high) return std::nullopt;
    return value;
  }
  if (value < limits.low || value > limits.high) return std::nullopt;
  return value;
}

std::string limits_text(const Limits& limits) {
  char text[96];
  std::snprintf(text, sizeof text, "(%g to %g%s)", limits.low, limits.high,
                limits.angle ? ", or one turn beyond" : "");
  return text;
}

std::optional<double> number_of(const std::string& text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

// FlightGear writes a bool as true/false; an int-typed lock may come as 0/1.
std::optional<bool> bool_of(const std::string& text) {
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  return std::nullopt;
}

std::string format_command(const char* verb, const char* path, const std::string& value) {
  return std::string(verb) + " " + path + " " + value + "\r\n";
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

// Positions to a tenth of a metre.
std::string precise_text(double degrees) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7f", degrees);
  return text;
}

}  // namespace

std::string shown(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 40)) {
    out += (c >= 0x20 && c < 0x7f) ? c : '?';
  }
  return "\"" + out + (text.size() > 40 ? "...\"" : "\"");
}

double FlightGearSample::magvar_east_deg() const {
  double variation = std::fmod(heading_true_deg - heading_mag_deg, 360.0);
  if (variation > 180.0) variation -= 360.0;
  if (variation <= -180.0) variation += 360.0;
  return variation;
}

const std::vector<std::string>& sample_paths() {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> all;
    for (const Property& p : PROPERTIES) all.emplace_back(p.path);
    return all;
  }();
  return paths;
}

std::string sample_request() {
  std::string request;
  for (const std::string& path : sample_paths()) request += "get " + path + "\r\n";
  return request + "pwd\r\n";
}

SampleReading read_sample(const std::vector<std::string>& lines) {
  SampleReading reading;
  if (lines.size() != std::size(PROPERTIES)) {
    reading.fault = "expected " + std::to_string(std::size(PROPERTIES)) + " reply lines, got " +
                    std::to_string(lines.size());
    return reading;
  }
  FlightGearSample sample;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Property& property = PROPERTIES[i];
    const std::string& text = lines[i];
    const bool required = std::holds_alternative<DoubleField>(property.field) ||
                          std::holds_alternative<BoolField>(property.field);
    if (text.empty()) {
      if (required) {
        reading.fault = std::string(property.path) + " has no value";
        return reading;
      }
      reading.missing.emplace_back(property.path);
      continue;
    }
    const bool is_bool = std::holds_alternative<BoolField>(property.field) ||
                         std::holds_alternative<OptionalBool>(property.field);
    const auto flag = is_bool ? bool_of(text) : std::nullopt;
    const auto parsed = is_bool ? std::nullopt : number_of(text);
    if (!flag && !parsed) {
      reading.fault = std::string(property.path) + ": " + shown(text) + " is not " +
                      (is_bool ? "true or false" : "a number");
      return reading;
    }
    const auto number = parsed ? within(*parsed, property.limits) : std::nullopt;
    if (parsed && !number) {
      reading.fault = std::string(property.path) + ": " + shown(text) + " is out of range " +
                      limits_text(property.limits);
      return reading;
    }
    std::visit(
        [&](auto field) {
          using Field = decltype(field);
          if constexpr (std::is_same_v<Field, DoubleField> ||
                        std::is_same_v<Field, OptionalDouble>) {
            sample.*field = *number;
          } else {
            sample.*field = *flag;
          }
        },
        property.field);
  }
  reading.sample = sample;
  return reading;
}

void apply_sample(const FlightGearSample& sample, Aircraft& aircraft) {
  aircraft.lat_deg = sample.lat_deg;
  aircraft.lon_east_deg = sample.lon_east_deg;
  aircraft.heading_mag_deg = sample.heading_mag_deg;
  aircraft.magvar_east_deg = sample.magvar_east_deg();
  aircraft.gs_kt = sample.gs_kt;
  if (sample.alt_ft) aircraft.alt_ft = *sample.alt_ft;
  if (sample.tas_kt) aircraft.tas_kt = *sample.tas_kt;
  if (sample.wind_from_true_deg) aircraft.wind_from_true_deg = *sample.wind_from_true_deg;
  if (sample.wind_speed_kt) aircraft.wind_speed_kt = *sample.wind_speed_kt;
  if (sample.oat_c) {
    aircraft.oat_c = *sample.oat_c;
    aircraft.oat_set = true;  // FlightGear's air, not the standard atmosphere's
  }
  if (sample.mach) {
    aircraft.mach = *sample.mach;
    aircraft.mach_set = true;
  }
  if (sample.bus_volts) {
    aircraft.main_power_on = *sample.bus_volts > BATTERY_MAX_VOLTS;
    aircraft.battery_on =
        sample.battery_master.value_or(true) && *sample.bus_volts >= BUS_ALIVE_VOLTS;
  }
  if (sample.ap_engaged) aircraft.ap_master_on = *sample.ap_engaged;
  if (sample.ap_heading_mode) aircraft.ap_heading_on = *sample.ap_heading_mode;
}

std::string kap140_heading_mode_commands(double bug_deg,
                                         std::optional<double> hold_static_pressure_inhg) {
  const std::string locks = "/autopilot/KAP140/locks/";
  std::string out = heading_bug_command(bug_deg);
  out += format_command("setd", "/autopilot/KAP140/settings/target-intercept-angle", "0");
  out += format_command("setd", "/autopilot/KAP140/settings/target-pressure-rate", "0");
  for (const char* lock : {"alt-hold", "apr-hold", "rev-hold", "gs-hold", "nav-hold"}) {
    out += format_command("setb", (locks + lock).c_str(), "false");
  }
  for (const char* lock : {"hdg-hold", "roll-axis", "pitch-axis"}) {
    out += format_command("setb", (locks + lock).c_str(), "true");
  }
  out += format_command("seti", (locks + "roll-mode").c_str(), "2");
  out += format_command("seti", (locks + "pitch-mode").c_str(), "1");
  out += format_command("seti", (locks + "roll-arm").c_str(), "0");
  out += format_command("seti", (locks + "pitch-arm").c_str(), "0");
  out += format_command("setb", "/autopilot/KAP140/annunciators/hdg/state", "true");
  if (hold_static_pressure_inhg) {
    out += format_command("setd", "/autopilot/KAP140/settings/target-alt-pressure",
                          number_text(*hold_static_pressure_inhg));
    out += format_command("setb", (locks + "alt-hold").c_str(), "true");
    out += format_command("seti", (locks + "pitch-mode").c_str(), "2");
    out += format_command("setb", "/autopilot/KAP140/annunciators/alt", "true");
  } else {
    out += format_command("setb", "/autopilot/KAP140/annunciators/vs", "true");
  }
  return out;
}

std::string prepare_commands() {
  std::string out;
  for (const char* master : {"master-bat", "master-alt", "master-avionics"}) {
    out += format_command("setb", (std::string("/controls/switches/") + master).c_str(), "true");
  }
  return out;
}

TakeoffPoint takeoff_point(const FlightGearSample& standing, double ahead_nm, double alt_ft,
                           double tas_kt) {
  TakeoffPoint point;
  point.heading_true_deg = standing.heading_true_deg;
  point.alt_ft = alt_ft;
  point.tas_kt = tas_kt;
  flight::nav_sphere().Direct(standing.lat_deg, standing.lon_east_deg, standing.heading_true_deg,
                              ahead_nm * METRES_PER_NM, point.lat_deg, point.lon_east_deg);
  return point;
}

std::string takeoff_commands(const TakeoffPoint& point) {
  const std::string presets = "/sim/presets/";
  std::string out;
  out += format_command("setd", (presets + "latitude-deg").c_str(), precise_text(point.lat_deg));
  out +=
      format_command("setd", (presets + "longitude-deg").c_str(), precise_text(point.lon_east_deg));
  out += format_command("setd", (presets + "altitude-ft").c_str(), number_text(point.alt_ft));
  out += format_command("setd", (presets + "airspeed-kt").c_str(), number_text(point.tas_kt));
  out += format_command("setd", (presets + "heading-deg").c_str(),
                        number_text(point.heading_true_deg));
  out += format_command("setb", (presets + "onground").c_str(), "false");
  out += format_command("setd", "/controls/gear/brake-parking", "0");
  return out + "run reposition\r\n";
}

std::string cruise_commands() {
  std::string out = format_command("setd", "/controls/flight/flaps", "0");
  out += format_command("setd", "/controls/engines/engine/throttle", "0.85");
  out += format_command("setd", "/controls/engines/engine/mixture", "1");
  return out + format_command("seti", "/controls/engines/engine/magnetos", "3");
}

std::string elevator_neutral_command() {
  return format_command("setd", "/controls/flight/elevator", "0");
}

std::string heading_bug_command(double bug_mag_deg) {
  return format_command("setd", "/autopilot/settings/heading-bug-deg", number_text(bug_mag_deg));
}

}  // namespace host::link
