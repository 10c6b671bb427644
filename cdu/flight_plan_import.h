// The CDU's flight-plan import step: the hidden spot asks for it, the CDU cycle runs it in its
// next frame. The file work is the store's (store/plan_import.h); this step feeds it the present
// position and the scratch table and keeps its result in the INS state.
#pragma once

// The hidden spot's action: raises plan_import_request when PLAN.PLN opens, clears it otherwise.
void request_flight_plan_import();
// Runs a requested import to completion (called by the CDU cycle): clears the request; when a new
// waypoint file was written, also drops any half-keyed entry and makes the navigation computer
// re-read its TO waypoint from the new file (to_waypoint itself stays).
void import_flight_plan();
