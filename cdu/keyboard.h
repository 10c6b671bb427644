// Mouse routines of the CDU keyboard: SET, INSERT, CLEAR and the digit keys.
#pragma once

#include <cstdint>

#include "module/gauge_api.h"

// The press latch that every CDU key shares: returns true when the key was released (its action
// runs), and in every case latches it (pressed flag 1) with a release tick of the freshly read
// host tick + 5. A click on a latched key therefore only restarts its 5 ticks.
bool press_key_latch(int32_t& pressed, int32_t& release_tick);

int32_t set_key(const MousePoint* point, uint32_t event_flags);
int32_t insert_key(const MousePoint* point, uint32_t event_flags);
int32_t clear_key(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_0(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_1(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_2(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_3(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_4(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_5(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_6(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_7(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_8(const MousePoint* point, uint32_t event_flags);
int32_t digit_key_9(const MousePoint* point, uint32_t event_flags);
