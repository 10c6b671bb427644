#include "cdu/function_keys.h"

// Placeholder until the function keys are built.
int32_t plan_spot(const MousePoint*, uint32_t) { return 0; }
int32_t data_selector_cw(const MousePoint*, uint32_t) { return 0; }
int32_t data_selector_ccw(const MousePoint*, uint32_t) { return 0; }
int32_t hold_key(const MousePoint*, uint32_t) { return 0; }
int32_t last_wpt_key(const MousePoint*, uint32_t) { return 0; }
int32_t switch_to_man(const MousePoint*, uint32_t) { return 0; }
int32_t switch_to_auto(const MousePoint*, uint32_t) { return 0; }
int32_t wypt_chg_key(const MousePoint*, uint32_t) { return 0; }
int32_t thumbwheel_units_up(const MousePoint*, uint32_t) { return 0; }
int32_t thumbwheel_units_down(const MousePoint*, uint32_t) { return 0; }
int32_t thumbwheel_tens_up(const MousePoint*, uint32_t) { return 0; }
int32_t thumbwheel_tens_down(const MousePoint*, uint32_t) { return 0; }
int32_t lamp_test_spot(const MousePoint*, uint32_t) { return 0; }
