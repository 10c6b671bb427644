#include "msu/mode_selector.h"

// Placeholder until the mode selector unit is built.
void align_service(GaugeHeader*, uint32_t, uint32_t) {}
int32_t mode_knob_cw(const MousePoint*, uint32_t) { return 0; }
int32_t mode_knob_ccw(const MousePoint*, uint32_t) { return 0; }
double mode_knob_image(ElementHeader*) { return 0.0; }
