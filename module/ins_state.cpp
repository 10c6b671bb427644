#include "module/ins_state.h"

#include "module/gauge_tables.h"

InsState ins_state;

void reset_module_for_tests() {
  ins_state = InsState{};
  restore_load_time_element_flags();
}
