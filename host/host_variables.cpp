#include "host/host_variables.h"

#include <algorithm>
#include <array>

#include "atmosphere.h"

namespace host {

namespace {

struct ConditionName {
  std::string_view name;
  uint32_t token_id;
  ConditionRange range;
};

constexpr ConditionRange FLAG = {0.0, 1.0, "", false, true};
constexpr double MAX_SPEED_KT = 2000.0;

constexpr std::array<ConditionName, 14> CONDITION_NAMES = {{
    {"tick", TOKEN_TICK, {0.0, 4294967295.0, "", true, false}},  // the 32-bit counter
    {"lat", TOKEN_LATITUDE, {-90.0, 90.0, "degrees"}},
    {"lon", TOKEN_LONGITUDE, {-180.0, 180.0, "degrees"}},
    {"gs", TOKEN_GROUND_SPEED, {0.0, MAX_SPEED_KT, "knots"}},
    {"heading", TOKEN_HEADING_MAG, {0.0, 360.0, "degrees"}},
    {"magvar", TOKEN_MAGVAR, {-180.0, 180.0, "degrees"}},
    {"wind_speed", TOKEN_WIND_SPEED, {0.0, 500.0, "knots"}},
    {"wind_dir", TOKEN_WIND_DIR, {0.0, 360.0, "degrees"}},
    {"mach", TOKEN_MACH, {0.0, 5.0, ""}},
    {"oat", TOKEN_OAT, {-100.0, 100.0, "degrees Celsius"}},
    {"battery", TOKEN_BATTERY, FLAG},
    {"main_power", TOKEN_MAIN_POWER, FLAG},
    {"ap_master", TOKEN_AP_MASTER, FLAG},
    {"ap_heading", TOKEN_AP_HEADING, FLAG},
}};

// Flight conditions with no host variable of their own: the flight model and the standard
// atmosphere turn them into Mach and the outside air temperature.
constexpr std::string_view CONDITION_ALTITUDE = "altitude";
constexpr std::string_view CONDITION_TAS = "tas";
constexpr ConditionRange ALTITUDE_RANGE = {-2000.0, 65000.0, "feet"};
constexpr ConditionRange TAS_RANGE = {0.0, MAX_SPEED_KT, "knots"};

std::optional<uint32_t> token_of(std::string_view name) {
  for (const ConditionName& entry : CONDITION_NAMES) {
    if (entry.name == name) return entry.token_id;
  }
  return std::nullopt;
}

double as_flag(bool on) {
  return on ? 1.0 : 0.0;
}

double longitude_units(double lon_east_deg) {
  const double units = lon_east_deg / 360.0 * LONGITUDE_UNITS_PER_TURN;
  return units < 0.0 ? LONGITUDE_UNITS_PER_TURN + units : units;
}

}  // namespace

void update_air_data(Aircraft& aircraft) {
  if (!aircraft.mach_set) aircraft.mach = flight::mach_from_tas(aircraft.tas_kt, aircraft.alt_ft);
  if (!aircraft.oat_set) aircraft.oat_c = flight::isa_temperature_c(aircraft.alt_ft);
}

bool HostVariables::is_condition_name(std::string_view name) {
  return condition_range(name).has_value();
}

std::vector<std::string_view> HostVariables::condition_names() {
  std::vector<std::string_view> names;
  for (const ConditionName& entry : CONDITION_NAMES) names.push_back(entry.name);
  names.push_back(CONDITION_ALTITUDE);
  names.push_back(CONDITION_TAS);
  return names;
}

std::optional<ConditionRange> HostVariables::condition_range(std::string_view name) {
  for (const ConditionName& entry : CONDITION_NAMES) {
    if (entry.name == name) return entry.range;
  }
  if (name == CONDITION_ALTITUDE) return ALTITUDE_RANGE;
  if (name == CONDITION_TAS) return TAS_RANGE;
  return std::nullopt;
}

std::optional<double> HostVariables::condition_value(uint32_t token_id) const {
  const Aircraft& a = aircraft_;
  switch (token_id) {
    case TOKEN_TICK:
      return static_cast<double>(clock_.tick());
    case TOKEN_LATITUDE:
      return a.lat_deg / LATITUDE_DEG_PER_UNIT;
    case TOKEN_LONGITUDE:
      return longitude_units(a.lon_east_deg);
    case TOKEN_GROUND_SPEED:
      return a.gs_kt * MPS_PER_KT;
    case TOKEN_HEADING_MAG:
      return a.heading_mag_deg;
    case TOKEN_MAGVAR:
      return a.magvar_east_deg;
    case TOKEN_WIND_SPEED:
      return a.wind_speed_kt;
    case TOKEN_WIND_DIR:
      return a.wind_from_true_deg;
    case TOKEN_MACH:
      return a.mach * MACH_UNITS;
    case TOKEN_OAT:
      return a.oat_c;
    case TOKEN_BATTERY:
      return as_flag(a.battery_on);
    case TOKEN_MAIN_POWER:
      return as_flag(a.main_power_on);
    case TOKEN_AP_MASTER:
      return as_flag(a.ap_master_on);
    case TOKEN_AP_HEADING:
      return as_flag(a.ap_heading_on);
    default:
      return std::nullopt;
  }
}

std::optional<double> HostVariables::value_of(uint32_t token_id) const {
  auto pinned = pinned_.find(token_id);
  if (pinned != pinned_.end()) return pinned->second;
  return condition_value(token_id);
}

void HostVariables::answer(HostVar& var) const {
  std::optional<double> value = value_of(var.token_id);
  if (!value) return;
  var.previous_value = var.value;
  var.value = *value;
  var.value_ref = &var.value;
  var.value_type = HOST_VALUE_TYPE_FLOAT64;
}

bool HostVariables::set_condition(std::string_view name, double value) {
  Aircraft& a = aircraft_;
  if (name == CONDITION_ALTITUDE || name == CONDITION_TAS) {
    (name == CONDITION_ALTITUDE ? a.alt_ft : a.tas_kt) = value;
    update_air_data(a);
    return true;
  }
  std::optional<uint32_t> token = token_of(name);
  if (!token) return false;
  pinned_.erase(*token);
  const bool on = value != 0.0;
  switch (*token) {
    case TOKEN_TICK:  // the scenario parser admits only finite values; keep the cast defined
      clock_.set_tick(static_cast<int64_t>(std::clamp(value, -1e15, 1e15)));
      break;
    case TOKEN_LATITUDE:
      a.lat_deg = value;
      break;
    case TOKEN_LONGITUDE:
      a.lon_east_deg = value;
      break;
    case TOKEN_GROUND_SPEED:
      a.gs_kt = value;
      break;
    case TOKEN_HEADING_MAG:
      a.heading_mag_deg = value;
      break;
    case TOKEN_MAGVAR:
      a.magvar_east_deg = value;
      break;
    case TOKEN_WIND_SPEED:
      a.wind_speed_kt = value;
      break;
    case TOKEN_WIND_DIR:
      a.wind_from_true_deg = value;
      break;
    case TOKEN_MACH:
      a.mach = value;
      a.mach_set = true;
      break;
    case TOKEN_OAT:
      a.oat_c = value;
      a.oat_set = true;
      break;
    case TOKEN_BATTERY:
      a.battery_on = on;
      break;
    case TOKEN_MAIN_POWER:
      a.main_power_on = on;
      break;
    case TOKEN_AP_MASTER:
      a.ap_master_on = on;
      break;
    case TOKEN_AP_HEADING:
      a.ap_heading_on = on;
      break;
    default:
      return false;
  }
  return true;
}

}  // namespace host
