// The CDU ("INS" gauge) service routine and its per-frame housekeeping.
#pragma once

#include <cstdint>

#include "boundary/gauge_api.h"

void GAUGE_CALLBACK ins_service(GaugeHeader* gauge, int32_t service_code, uint32_t extra);

// The frame cycle run on service code 6.
void cdu_frame_cycle();
// Fills the entry digits and hemisphere flags from the stored waypoint selected on the wheels.
void load_entry_from_store();
// Shows and hides every lamp, key and switch image of the CDU from the state.
void update_lamps();
