// Text routines of the CDU's eight windows. Each writes its window's text into the element's
// text buffer (bounded by its size) and returns 1.0 when the element's current value is 0.0,
// else 0.0, so that the value the host stores back alternates 1, 0, 1, ... on each update.
#pragma once

#include "boundary/gauge_api.h"

double GAUGE_CALLBACK right_display_text(ElementHeader* element);
double GAUGE_CALLBACK left_display_text(ElementHeader* element);
double GAUGE_CALLBACK w_letter_text(ElementHeader* element);
double GAUGE_CALLBACK e_letter_text(ElementHeader* element);
double GAUGE_CALLBACK s_letter_text(ElementHeader* element);
double GAUGE_CALLBACK n_letter_text(ElementHeader* element);
double GAUGE_CALLBACK to_number_text(ElementHeader* element);
double GAUGE_CALLBACK from_number_text(ElementHeader* element);
