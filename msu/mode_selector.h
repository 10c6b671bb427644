// The "ALIGN" gauge: the mode selector unit with power, alignment and its lamps.
#pragma once

#include <cstdint>

#include "module/gauge_api.h"

void align_service(GaugeHeader* gauge, uint32_t service_code, uint32_t extra);
int32_t mode_knob_cw(const MousePoint* point, uint32_t event_flags);
int32_t mode_knob_ccw(const MousePoint* point, uint32_t event_flags);
double mode_knob_image(ElementHeader* element);
