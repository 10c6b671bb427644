// The "ALIGN" gauge: the mode selector unit with power, alignment and its lamps.
#pragma once

#include <cstdint>

#include "boundary/gauge_api.h"

void GAUGE_CALLBACK align_service(GaugeHeader* gauge, int32_t service_code, uint32_t extra);
int32_t GAUGE_CALLBACK mode_knob_cw(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK mode_knob_ccw(const MousePoint* point, uint32_t event_flags);
double GAUGE_CALLBACK mode_knob_image(ElementHeader* element);
