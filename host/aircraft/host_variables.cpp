#include "host/aircraft/host_variables.h"

#include <algorithm>
#include <array>

#include "host/flight/atmosphere.h"

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
    {"tick", HOST_VAR_TICK, {0.0, 4294967295.0, "", true, false}},  // the 32-bit counter
    {"lat", HOST_VAR_LATITUDE, {-90.0, 90.0, "degrees"}},
    {"lon", HOST_VAR_LONGITUDE, {-180.0, 180.0, "degrees"}},
    {"gs", HOST_VAR_GROUND_SPEED, {0.0, MAX_SPEED_KT, "knots"}},
    {"heading", HOST_VAR_HEADING_MAG, {0.0, 360.0, "degrees"}},
    {"magvar", HOST_VAR_MAGVAR, {-180.0, 180.0, "degrees"}},
    {"wind_speed", HOST_VAR_WIND_SPEED, {0.0, 500.0, "knots"}},
    {"wind_dir", HOST_VAR_WIND_DIR, {0.0, 360.0, "degrees"}},
    {"mach", HOST_VAR_MACH, {0.0, 5.0, ""}},
    {"oat", HOST_VAR_OAT, {-100.0, 100.0, "degrees Celsius"}},
    {"battery", HOST_VAR_BATTERY, FLAG},
    {"main_power", HOST_VAR_MAIN_POWER, FLAG},
    {"ap_master", HOST_VAR_AP_MASTER, FLAG},
    {"ap_heading", HOST_VAR_AP_HEADING, FLAG},
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
  const double units = lon_east_deg / 360.0 * HOST_LON_UNITS_PER_TURN;
  return units < 0.0 ? HOST_LON_UNITS_PER_TURN + units : units;
}

// How each id this host knows is answered, from the aircraft and the clock in the simulator's unit.
using AnswerRoutine = double (*)(const Aircraft& aircraft, const SimClock& clock);

struct TokenAnswer {
  uint32_t token_id;
  AnswerRoutine routine;
};

constexpr std::array<TokenAnswer, 14> TOKEN_ANSWERS = {{
    {HOST_VAR_TICK,
     [](const Aircraft&, const SimClock& c) { return static_cast<double>(c.tick()); }},
    {HOST_VAR_LATITUDE,
     [](const Aircraft& a, const SimClock&) { return a.lat_deg / HOST_LAT_DEG_PER_UNIT; }},
    {HOST_VAR_LONGITUDE,
     [](const Aircraft& a, const SimClock&) { return longitude_units(a.lon_east_deg); }},
    {HOST_VAR_GROUND_SPEED,
     [](const Aircraft& a, const SimClock&) { return a.gs_kt * METRES_PER_SECOND_PER_KNOT; }},
    {HOST_VAR_HEADING_MAG, [](const Aircraft& a, const SimClock&) { return a.heading_mag_deg; }},
    {HOST_VAR_MAGVAR, [](const Aircraft& a, const SimClock&) { return a.magvar_east_deg; }},
    {HOST_VAR_WIND_SPEED, [](const Aircraft& a, const SimClock&) { return a.wind_speed_kt; }},
    {HOST_VAR_WIND_DIR, [](const Aircraft& a, const SimClock&) { return a.wind_from_true_deg; }},
    {HOST_VAR_MACH,
     [](const Aircraft& a, const SimClock&) { return a.mach * HOST_MACH_UNITS_PER_MACH; }},
    {HOST_VAR_OAT, [](const Aircraft& a, const SimClock&) { return a.oat_c; }},
    {HOST_VAR_BATTERY, [](const Aircraft& a, const SimClock&) { return as_flag(a.battery_on); }},
    {HOST_VAR_MAIN_POWER,
     [](const Aircraft& a, const SimClock&) { return as_flag(a.main_power_on); }},
    {HOST_VAR_AP_MASTER,
     [](const Aircraft& a, const SimClock&) { return as_flag(a.ap_master_on); }},
    {HOST_VAR_AP_HEADING,
     [](const Aircraft& a, const SimClock&) { return as_flag(a.ap_heading_on); }},
}};

// The routines by id, for ids up to the largest this host knows: the id is the index.
constexpr uint32_t LARGEST_TOKEN_ID = [] {
  uint32_t largest = 0;
  for (const TokenAnswer& entry : TOKEN_ANSWERS) largest = std::max(largest, entry.token_id);
  return largest;
}();
constexpr std::array<AnswerRoutine, LARGEST_TOKEN_ID + 1> ANSWER_BY_TOKEN = [] {
  std::array<AnswerRoutine, LARGEST_TOKEN_ID + 1> table{};
  for (const TokenAnswer& entry : TOKEN_ANSWERS) table[entry.token_id] = entry.routine;
  return table;
}();

AnswerRoutine answer_routine(uint32_t token_id) {
  return token_id <= LARGEST_TOKEN_ID ? ANSWER_BY_TOKEN[token_id] : nullptr;
}

void write_answer(HostVar& var, double value) {
  var.previous_value = var.value;
  var.value = value;
  var.value_ref = &var.value;
  var.value_type = HOST_VALUE_TYPE_FLOAT64;
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
  const AnswerRoutine routine = answer_routine(token_id);
  if (routine == nullptr) return std::nullopt;
  return routine(aircraft_, clock_);
}

std::optional<double> HostVariables::value_of(uint32_t token_id) const {
  if (!pinned_.empty()) {  // most runs pin nothing: no search every time the module asks
    auto pinned = pinned_.find(token_id);
    if (pinned != pinned_.end()) return pinned->second;
  }
  return condition_value(token_id);
}

void HostVariables::answer(HostVar& var) const {
  // The module asks for a handful of ids many times a frame: the id picks the routine that
  // answers it from a table straight away, and only a run that pinned something looks further.
  if (!pinned_.empty()) return answer_with_pins(var);
  if (const AnswerRoutine routine = answer_routine(var.token_id))
    write_answer(var, routine(aircraft_, clock_));
}

void HostVariables::answer_with_pins(HostVar& var) const {
  if (const std::optional<double> value = value_of(var.token_id)) write_answer(var, *value);
}

namespace {

// The aircraft's quantity a condition sets, or none when it names a switch (or nothing).
double* condition_quantity(Aircraft& a, uint32_t token) {
  switch (token) {
    case HOST_VAR_LATITUDE:
      return &a.lat_deg;
    case HOST_VAR_LONGITUDE:
      return &a.lon_east_deg;
    case HOST_VAR_GROUND_SPEED:
      return &a.gs_kt;
    case HOST_VAR_HEADING_MAG:
      return &a.heading_mag_deg;
    case HOST_VAR_MAGVAR:
      return &a.magvar_east_deg;
    case HOST_VAR_WIND_SPEED:
      return &a.wind_speed_kt;
    case HOST_VAR_WIND_DIR:
      return &a.wind_from_true_deg;
    case HOST_VAR_MACH:
      return &a.mach;
    case HOST_VAR_OAT:
      return &a.oat_c;
    default:
      return nullptr;
  }
}

// The aircraft's switch a condition sets, or none when it names a quantity (or nothing).
bool* condition_switch(Aircraft& a, uint32_t token) {
  switch (token) {
    case HOST_VAR_BATTERY:
      return &a.battery_on;
    case HOST_VAR_MAIN_POWER:
      return &a.main_power_on;
    case HOST_VAR_AP_MASTER:
      return &a.ap_master_on;
    case HOST_VAR_AP_HEADING:
      return &a.ap_heading_on;
    default:
      return nullptr;
  }
}

}  // namespace

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
  if (*token == HOST_VAR_TICK) {
    // The scenario parser admits only finite values; keep the cast defined.
    clock_.set_tick(static_cast<int64_t>(std::clamp(value, -1e15, 1e15)));
    return true;
  }
  if (double* quantity = condition_quantity(a, *token)) {
    *quantity = value;
    // Mach and the outside air temperature, once set, are no longer worked out from the
    // altitude and the airspeed.
    if (*token == HOST_VAR_MACH) a.mach_set = true;
    if (*token == HOST_VAR_OAT) a.oat_set = true;
    return true;
  }
  if (bool* on = condition_switch(a, *token)) {
    *on = value != 0.0;
    return true;
  }
  return false;
}

}  // namespace host
