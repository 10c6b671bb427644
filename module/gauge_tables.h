// The module's gauges as the host sees them: records, element chains and mouse lists (the element
// depths the cycles show and hide by are in state/gauge_elements.h).
#pragma once

#include "boundary/gauge_api.h"

// Gauge records, in the order of Linkage.
enum GaugeIndex : int {
  GAUGE_INS = 0,
  GAUGE_INS_UPDATE = 1,
  GAUGE_INS_ALT_UPDATE = 2,
  GAUGE_ALIGN = 3,
  GAUGE_FIRST_LARGE_ICON = 4,   // "INSicon1024_01" .. "_08"
  GAUGE_FIRST_SMALL_ICON = 12,  // "INSicon_01" .. "_08"
};

// Puts every element's image flags back to their load-time values.
void restore_load_time_element_flags();

// Puts the state and every element's hidden bit back to their load-time values. Tests use it to
// start each case from a freshly loaded module.
void reset_module_for_tests();
