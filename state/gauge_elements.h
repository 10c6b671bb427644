// The module's element chains as the subsystems change them: the depth of every element the
// cycles show and hide, and the routines that do it. The chains' records are built with the
// gauge tables (module/gauge_tables.cpp), which check these depths against them.
#pragma once

#include "boundary/gauge_api.h"

// Element depths in the INS (CDU) chain.
enum InsElementDepth : int {
  INS_DEPTH_FACE = 0,
  INS_DEPTH_HOLD_LIT = 1,
  INS_DEPTH_BAT_LIT = 2,
  INS_DEPTH_ALERT_LIT = 3,
  INS_DEPTH_HOLD_PRESSED = 4,
  INS_DEPTH_SET_PRESSED = 5,
  INS_DEPTH_SET_LIT = 6,
  INS_DEPTH_INSERT_PRESSED = 7,
  INS_DEPTH_LAST_WPT_PRESSED = 8,
  INS_DEPTH_LAST_WPT_LIT = 9,
  INS_DEPTH_WYPT_CHG_PRESSED = 10,
  INS_DEPTH_CLEAR_PRESSED = 11,
  INS_DEPTH_KEY0_PRESSED = 12,  // keys 1..9 follow at 13..21
  INS_DEPTH_DATA_SELECTOR_KNOB = 22,
  INS_DEPTH_SWITCH_AUTO = 23,
  INS_DEPTH_SWITCH_MAN = 24,
  INS_DEPTH_RIGHT_DISPLAY = 25,
  INS_DEPTH_LEFT_DISPLAY = 26,
  INS_DEPTH_W_LETTER = 27,
  INS_DEPTH_E_LETTER = 28,
  INS_DEPTH_S_LETTER = 29,
  INS_DEPTH_N_LETTER = 30,
  INS_DEPTH_TO_NUMBER = 31,
  INS_DEPTH_FROM_NUMBER = 32,
  INS_DEPTH_THUMBWHEEL_TENS = 33,
  INS_DEPTH_THUMBWHEEL_UNITS = 34,
  INS_ELEMENT_COUNT = 35
};

// Element depths in the ALIGN (mode selector unit) chain.
enum AlignElementDepth : int {
  ALIGN_DEPTH_FACE = 0,
  ALIGN_DEPTH_BAT_LIT = 1,
  ALIGN_DEPTH_READY_NAV_LIT = 2,
  ALIGN_DEPTH_MODE_KNOB = 3,
  ALIGN_ELEMENT_COUNT = 4
};

// The CDU's and the MSU's chains, each element's header by its depth. The module's tables
// (module/gauge_tables.cpp) build the element records and fill these when the module loads;
// the host only follows the chains' lists, never changes them, so depth n of a chain is always
// the element listed here: the cycles that show and hide lamps every frame need not walk it.
extern ElementHeader* ins_chain[INS_ELEMENT_COUNT];
extern ElementHeader* align_chain[ALIGN_ELEMENT_COUNT];

// The element at `depth` of the CDU's or the MSU's chain; `depth` is one of the depths above.
inline ElementHeader& ins_element(int depth) {
  INS_INVARIANT(depth >= 0 && depth < INS_ELEMENT_COUNT && ins_chain[depth] != nullptr);
  return *ins_chain[depth];
}
inline ElementHeader& align_element(int depth) {
  INS_INVARIANT(depth >= 0 && depth < ALIGN_ELEMENT_COUNT && align_chain[depth] != nullptr);
  return *align_chain[depth];
}

inline void show(ElementHeader& element) {
  element.image_flags &= ~IMAGE_HIDDEN;
}
inline void hide(ElementHeader& element) {
  element.image_flags |= IMAGE_HIDDEN;
}

// The element at `depth` of the chain that starts with the list `first` (a gauge's element
// list; depth 0 is its element), or null, found by following the lists as the host does: the
// tests read the chains this way, so they also see that the cycles' direct reach above lands
// where the host looks.
ElementHeader* element_at_depth(ElementHeader* const* first, int depth);
