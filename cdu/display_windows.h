// Text routines of the CDU's eight windows. Each writes its window's text into the element's
// text buffer (bounded by its size) and returns 1.0 when the element's current value is 0.0,
// else 0.0, so that the value the host stores back alternates 1, 0, 1, ... on each update.
#pragma once

#include "module/gauge_api.h"

double right_display_text(ElementHeader* element);
double left_display_text(ElementHeader* element);
double w_letter_text(ElementHeader* element);
double e_letter_text(ElementHeader* element);
double s_letter_text(ElementHeader* element);
double n_letter_text(ElementHeader* element);
double to_number_text(ElementHeader* element);
double from_number_text(ElementHeader* element);
