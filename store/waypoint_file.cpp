#include "store/waypoint_file.h"

// Placeholder until the waypoint file is built.
bool load_waypoint(int32_t, double&, double&) { return false; }
int format_waypoint_line(char*, std::size_t, int32_t, double, double) { return -1; }
bool write_waypoint_file(const WaypointLine*, int) { return false; }
bool read_waypoint_table(WaypointEntry table[WAYPOINT_TABLE_SIZE]) {
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) table[i] = WaypointEntry{};
  return false;
}
