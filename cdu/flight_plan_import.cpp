#include "cdu/flight_plan_import.h"

#include "state/ins_state.h"
#include "store/plan_import.h"

void request_flight_plan_import() {
  ins_state.plan_import_request = plan_file_opens() ? 1 : 0;
}

void import_flight_plan() {
  InsState& s = ins_state;
  const bool imported = import_plan_file(s.present_lat, s.present_lon, s.waypoint_table);
  s.plan_import_request = 0;
  s.plan_waypoint_count = 0;
  if (imported) {
    s.reload_to_waypoint = 1;
    s.entry_position = ENTRY_IDLE;
  }
}
