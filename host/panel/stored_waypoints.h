// The waypoint file the module keeps in its working folder, as a host reads it to show or check
// what the INS has stored. The module's own reader decides what the INS navigates by; this one
// only lists the lines a person would read as waypoints.
#pragma once

#include <string_view>
#include <vector>

namespace host {

struct StoredWaypoint {
  int number;           // 0..LAST_WAYPOINT_NUMBER
  double lat_rad;       // north positive
  double lon_west_rad;  // WEST positive, as the file holds it
};

// The waypoints of a waypoint file's text, in file order: every line that reads as
// "NUMBER LAT LON" with a number the INS knows and finite coordinates. Other lines are passed
// over. A number may appear on more than one line; the module takes the last.
std::vector<StoredWaypoint> stored_waypoints(std::string_view file_text);

}  // namespace host
