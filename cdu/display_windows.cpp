#include "cdu/display_windows.h"

// Placeholder until the display windows are built: every window stays as it is.
double right_display_text(ElementHeader*) { return 0.0; }
double left_display_text(ElementHeader*) { return 0.0; }
double w_letter_text(ElementHeader*) { return 0.0; }
double e_letter_text(ElementHeader*) { return 0.0; }
double s_letter_text(ElementHeader*) { return 0.0; }
double n_letter_text(ElementHeader*) { return 0.0; }
double to_number_text(ElementHeader*) { return 0.0; }
double from_number_text(ElementHeader*) { return 0.0; }
