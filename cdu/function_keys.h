// Mouse routines of every CDU control other than the keyboard.
#pragma once

#include <cstdint>

#include "boundary/gauge_api.h"

// How long the lamp test runs: 5 s at 18 ticks a second.
constexpr int32_t LAMP_TEST_TICKS = 90;

int32_t GAUGE_CALLBACK plan_spot(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK data_selector_cw(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK data_selector_ccw(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK hold_key(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK last_wpt_key(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK switch_to_man(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK switch_to_auto(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK wypt_chg_key(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK thumbwheel_units_up(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK thumbwheel_units_down(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK thumbwheel_tens_up(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK thumbwheel_tens_down(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK lamp_test_spot(const MousePoint* point, uint32_t event_flags);
