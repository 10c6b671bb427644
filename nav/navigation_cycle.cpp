#include "nav/navigation_cycle.h"

#include "nav/geodesy.h"

void ins_update_service(GaugeHeader*, uint32_t service_code, uint32_t) {
  if (service_code == SERVICE_PRE_UPDATE) navigation_cycle(true);
}

void ins_alt_update_service(GaugeHeader*, uint32_t service_code, uint32_t) {
  if (service_code == SERVICE_PRE_UPDATE) navigation_cycle(false);
}

// Placeholder until leg guidance is built: keeps the present position current.
void navigation_cycle(bool) { update_present_position(); }
