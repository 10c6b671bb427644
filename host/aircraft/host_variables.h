// Host variables as this host supplies them: each token id the module may ask for is answered
// from the simulated aircraft and the clock, converted to the unit the simulator uses for it.
// A scenario may also pin a raw value to any token id, exactly as the module will read it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "boundary/gauge_api.h"
#include "boundary/gauge_vocabulary.h"
#include "host/aircraft/aircraft.h"
#include "host/aircraft/sim_clock.h"

namespace host {

// The token ids this host knows and the units it answers them in are the module's own
// (HostVarToken in gauge_vocabulary.h).

// The value type tag this host writes into every record it answers: a 64-bit float.
inline constexpr uint32_t HOST_VALUE_TYPE_FLOAT64 = 1;

// Mach and the outside air temperature from the standard atmosphere at the aircraft's altitude
// and true airspeed, each unless a scenario set it.
void update_air_data(Aircraft& aircraft);

// The values `set NAME VALUE` may give a condition, in the scenario's units: a scenario that
// sets a latitude of 95 degrees or a speed of 1e308 knots describes no aircraft, and would only
// drive the module (and the flight model) into numbers no simulator hands it.
struct ConditionRange {
  double min = 0.0;
  double max = 0.0;
  std::string_view unit;  // "degrees", "knots", ... ("" for a flag or a count)
  bool whole = false;     // whole numbers only (the tick counter)
  bool flag = false;      // 0 or 1
};

class HostVariables {
 public:
  HostVariables(Aircraft& aircraft, SimClock& clock) : aircraft_(aircraft), clock_(clock) {}

  // Refreshes the record: the previous value moves to `previous_value` and the current one is
  // written. Ids this host does not know leave the record exactly as it was.
  void answer(HostVar& var) const;

  // The value a token id has now, in the simulator's unit; empty for an unknown id.
  std::optional<double> value_of(uint32_t token_id) const;

  // `var ID VALUE`: pins the raw value of a token id until a condition of that id is set.
  void pin_raw(uint32_t token_id, double value) { pinned_[token_id] = value; }

  // `set NAME VALUE` with the scenario's units (degrees, knots, 0/1); false for an unknown name.
  bool set_condition(std::string_view name, double value);
  static bool is_condition_name(std::string_view name);
  static std::vector<std::string_view> condition_names();
  // Empty for an unknown name.
  static std::optional<ConditionRange> condition_range(std::string_view name);

 private:
  std::optional<double> condition_value(uint32_t token_id) const;
  void answer_with_pins(HostVar& var) const;

  Aircraft& aircraft_;
  SimClock& clock_;
  std::map<uint32_t, double> pinned_;
};

}  // namespace host
