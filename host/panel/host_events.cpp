#include "host/panel/host_events.h"

namespace host {

void HostEvents::add(const HostEvents& later) {
  if (later.heading_bug_mag_deg) heading_bug_mag_deg = later.heading_bug_mag_deg;
  heading_bug_sets += later.heading_bug_sets;
}

void steer_autopilot(const HostEvents& raised, Aircraft& aircraft) {
  if (raised.heading_bug_mag_deg) aircraft.heading_bug_mag_deg = *raised.heading_bug_mag_deg;
}

}  // namespace host
