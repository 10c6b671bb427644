// The press latch that all sixteen CDU keys share (HOLD, SET, INSERT, LAST WPT, WYPT CHG, CLEAR
// and the digits). A key acts only when it is not latched; every click latches it for 5 ticks,
// after which the CDU cycle releases it (in the first frame at or past the release tick) and
// hides its pressed image. The pressed flag says whether a release is pending; the release tick
// is only read while it is 1.
#pragma once

#include <cstdint>

constexpr int32_t KEY_LATCH_TICKS = 5;

// Returns true when the key was released (its action runs), and in every case latches it
// (pressed flag 1) with a release tick of the freshly read host tick + 5. A click on a latched
// key therefore only restarts its 5 ticks.
bool press_key_latch(int32_t& pressed, int32_t& release_tick);
