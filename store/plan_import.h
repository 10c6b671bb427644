// Import of the simulator's flight plan "PLAN.PLN" into the waypoint file (plan_import.cpp says
// how). Pure file routines: nothing here reads or writes the INS state; the CDU's import step
// (cdu/flight_plan_import.h) asks for them and keeps their results.
#pragma once

#include "store/waypoint_file.h"

inline constexpr const char* PLAN_SCRATCH_FILE_NAME = "WPOINTS.TMP";

// Whether PLAN.PLN opens as a readable regular file.
bool plan_file_opens();

// Reads PLAN.PLN and writes the new waypoint file whole: line 0 the present position
// (`present_lat`, `present_lon`: radians, longitude west positive), lines 1..99 the plan's
// waypoints, then zeros. `table` is the scratch the plan's waypoints are converted into (entries
// 0..98 hold them afterwards). Returns true when the new file was written; false leaves the
// waypoint file exactly as it was.
bool import_plan_file(double present_lat, double present_lon,
                      WaypointEntry table[WAYPOINT_TABLE_SIZE]);
