// Import of the simulator's flight plan "PLAN.PLN" into the waypoint file.
#pragma once

inline constexpr const char* PLAN_FILE_NAME = "PLAN.PLN";
inline constexpr const char* PLAN_SCRATCH_FILE_NAME = "WPOINTS.TMP";

// The hidden spot's action: raises plan_import_request when PLAN.PLN opens, clears it otherwise.
void request_flight_plan_import();
// Runs a requested import to completion (called by the CDU cycle).
void import_flight_plan();
