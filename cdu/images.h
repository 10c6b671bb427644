// Image routines of the CDU: the data-selector knob and the two waypoint thumbwheels.
#pragma once

#include "boundary/gauge_api.h"

double GAUGE_CALLBACK data_selector_knob_image(ElementHeader* element);
double GAUGE_CALLBACK thumbwheel_horizontal(ElementHeader* element);
double GAUGE_CALLBACK thumbwheel_tens_vertical(ElementHeader* element);
double GAUGE_CALLBACK thumbwheel_units_vertical(ElementHeader* element);
