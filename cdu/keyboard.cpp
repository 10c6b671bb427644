#include "cdu/keyboard.h"

// Placeholder until keyboard entry is built.
int32_t set_key(const MousePoint*, uint32_t) { return 0; }
int32_t insert_key(const MousePoint*, uint32_t) { return 0; }
int32_t clear_key(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_0(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_1(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_2(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_3(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_4(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_5(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_6(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_7(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_8(const MousePoint*, uint32_t) { return 0; }
int32_t digit_key_9(const MousePoint*, uint32_t) { return 0; }
