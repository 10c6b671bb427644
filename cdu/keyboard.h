// Mouse routines of the CDU keyboard: SET, INSERT, CLEAR and the digit keys.
#pragma once

#include <cstdint>

#include "boundary/gauge_api.h"

int32_t GAUGE_CALLBACK set_key(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK insert_key(const MousePoint* point, uint32_t event_flags);
int32_t GAUGE_CALLBACK clear_key(const MousePoint* point, uint32_t event_flags);

// Presses digit key `digit` (0 to 9): the entry takes the digit once a press, the key latching
// until it is released.
int32_t press_digit_key(int digit);

// The digit keys' mouse routines, one a key: the mouse tables hold plain function pointers that
// carry no argument, so each key's digit is built into a routine of its own.
template <int digit>
int32_t GAUGE_CALLBACK digit_key(const MousePoint*, uint32_t) {
  static_assert(digit >= 0 && digit <= 9);
  return press_digit_key(digit);
}
