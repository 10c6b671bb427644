// Mouse routines of the CDU keyboard: SET, INSERT, CLEAR and the digit keys.
#pragma once

#include <cstdint>

#include "boundary/gauge_api.h"

int32_t GAUGE_CALLBACK set_key(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK insert_key(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK clear_key(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_0(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_1(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_2(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_3(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_4(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_5(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_6(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_7(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_8(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK digit_key_9(const MousePoint* point, uint32_t event_flags);
