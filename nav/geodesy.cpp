#include "nav/geodesy.h"

// Placeholder until the geodesy is built.
DegreesMinutes split_degrees(double) { return {}; }
double central_angle(double, double, double, double) { return 0.0; }
double initial_course(double, double, double) { return 0.0; }
void update_present_position() {}
void update_to_waypoint_display() {}
