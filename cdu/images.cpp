// Image values of the CDU's data-selector knob and waypoint thumbwheels. The host turns each
// value into a picture itself: the knob's image k is bitmap 4162 + k, and a wheel's strip moves
// up 30 pixels per digit. None of these routines writes state.
#include "cdu/images.h"

#include "state/ins_state.h"

double GAUGE_CALLBACK data_selector_knob_image(ElementHeader*) {
  return static_cast<double>(ins_state.data_selector);
}

// Strip and window are both 30 pixels wide and the horizontal range has no travel, so the value
// has no effect; it is a constant 1.0.
double GAUGE_CALLBACK thumbwheel_horizontal(ElementHeader*) {
  return 1.0;
}

double GAUGE_CALLBACK thumbwheel_tens_vertical(ElementHeader*) {
  return static_cast<double>(ins_state.thumbwheel_tens);
}

double GAUGE_CALLBACK thumbwheel_units_vertical(ElementHeader*) {
  return static_cast<double>(ins_state.thumbwheel_units);
}
