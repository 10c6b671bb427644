#include "host/panel/stored_waypoints.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "boundary/gauge_vocabulary.h"

namespace host {

std::vector<StoredWaypoint> stored_waypoints(std::string_view file_text) {
  std::vector<StoredWaypoint> waypoints;
  std::string line;
  while (!file_text.empty()) {
    const std::size_t end = file_text.find('\n');
    line.assign(file_text.substr(0, end));
    file_text.remove_prefix(end == std::string_view::npos ? file_text.size() : end + 1);
    StoredWaypoint w{};
    if (std::sscanf(line.c_str(), "%d %lf %lf", &w.number, &w.lat_rad, &w.lon_west_rad) != 3) {
      continue;
    }
    if (w.number < 0 || w.number > LAST_WAYPOINT_NUMBER || !std::isfinite(w.lat_rad) ||
        !std::isfinite(w.lon_west_rad)) {
      continue;
    }
    waypoints.push_back(w);
  }
  return waypoints;
}

}  // namespace host
