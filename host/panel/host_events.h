// The host events the module raised through the panel's services (trigger_key_event) that the
// rest of the simulator acts on, handed out as a value by whoever runs the panel: the flight
// model and the FlightGear link take the autopilot's heading bug from here.
#pragma once

#include <cstdint>
#include <optional>

#include "host/aircraft/aircraft.h"

namespace host {

struct HostEvents {
  // The heading the module last sent to the autopilot's bug (EVENT_HEADING_BUG_SET), in
  // magnetic degrees: a whole number, read signed so that a negative bug stays negative.
  std::optional<double> heading_bug_mag_deg;
  // How many times it sent one.
  uint64_t heading_bug_sets = 0;

  // These events followed by `later`: the bug sent last is the one that holds.
  void add(const HostEvents& later);
};

// The aircraft's autopilot set from what the module sent (its heading bug, when it sent one):
// the flight model steers by it from its next step.
void steer_autopilot(const HostEvents& raised, Aircraft& aircraft);

}  // namespace host
