// The navigation computer: the service routines of the two update gauges and their cycle.
#pragma once

#include <cstdint>

#include "module/gauge_api.h"

// "INS_UPDATE": the full cycle, with the coupling permits that can drop HOLD.
void ins_update_service(GaugeHeader* gauge, uint32_t service_code, uint32_t extra);
// "INS_ALT_UPDATE": the same cycle without the coupling-permit step.
void ins_alt_update_service(GaugeHeader* gauge, uint32_t service_code, uint32_t extra);

void navigation_cycle(bool check_coupling_permits);
