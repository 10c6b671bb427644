// Image routines of the CDU: the data-selector knob and the two waypoint thumbwheels.
#pragma once

#include "module/gauge_api.h"

double data_selector_knob_image(ElementHeader* element);
double thumbwheel_horizontal(ElementHeader* element);
double thumbwheel_tens_vertical(ElementHeader* element);
double thumbwheel_units_vertical(ElementHeader* element);
