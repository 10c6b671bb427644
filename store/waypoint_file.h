// The waypoint file: one text line per waypoint, "NUMBER LAT LON" with the position in radians
// (latitude north positive, longitude WEST positive), numbered 0..99. Waypoint 0 is where the
// INS was aligned. The file is the only state that outlives the module; every reader and writer
// opens, uses and closes it within one routine call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "module/ins_state.h"

// One name on every file system, for readers and writers alike.
inline constexpr const char* WAYPOINT_FILE_NAME = "WAYPOINTS.DAT";
// Lines are read in pieces of at most 99 characters.
constexpr std::size_t WAYPOINT_LINE_BUFFER = 100;

// Finds waypoint `number`: reads the whole file, sets file_waypoint_number from each line that
// starts with a number (to the last such line's number), and stores the last matching line's
// latitude and longitude (single precision, widened) in `lat` and `lon`. A missing file, or no
// matching line, leaves them as they were; a field that does not convert to a finite number
// leaves that destination as it was. Returns true when a line matched.
bool load_waypoint(int32_t number, double& lat, double& lon);

struct WaypointLine {
  double lat;  // radians, north positive
  double lon;  // radians, west positive
};

// Formats "NUMBER LAT LON\n" with 8 decimals into `buffer`, always terminated. Returns the
// length, or -1 when it did not fit.
int format_waypoint_line(char* buffer, std::size_t size, int32_t number, double lat, double lon);

// Writes `count` lines numbered 0..count-1 as a whole new waypoint file: into a temporary file
// in the same folder, flushed, then renamed over the old one. On any failure the old file is
// left exactly as it was and false is returned.
bool write_waypoint_file(const WaypointLine* lines, int count);

// Reads the file into `table` by each line's own number (0..WAYPOINT_TABLE_SIZE-1), starting
// from all zeros; lines without a number or with another number are passed over. Returns false
// when the file cannot be opened (the table is then all zeros).
bool read_waypoint_table(WaypointEntry table[WAYPOINT_TABLE_SIZE]);
