#include "cdu/images.h"

// Placeholder until the images are built.
double data_selector_knob_image(ElementHeader*) { return 0.0; }
double thumbwheel_horizontal(ElementHeader*) { return 0.0; }
double thumbwheel_tens_vertical(ElementHeader*) { return 0.0; }
double thumbwheel_units_vertical(ElementHeader*) { return 0.0; }
