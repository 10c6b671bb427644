#include "store/plan_import.h"

// Placeholder until the import is built.
void request_flight_plan_import() {}
void import_flight_plan() {}
