// The waypoint file: one text line per waypoint, "NUMBER LAT LON" with the position in radians
// (latitude north positive, longitude WEST positive), numbered 0..99. Waypoint 0 is where the
// INS was aligned. The file is the only state that outlives the module; every reader and writer
// opens, uses and closes it within one routine call.
//
// Pure file routines: values in, values out. Nothing here reads or writes the INS state; the
// subsystems that call them put the results into it.
#pragma once

#include <cstddef>
#include <cstdint>

// The file's name, its line format, WAYPOINT_TABLE_SIZE (the store keeps one table entry for each
// waypoint number 0..99, so waypoint 99 survives a rewrite) and LAST_WAYPOINT_NUMBER are shared
// with the hosts.
#include "boundary/gauge_vocabulary.h"

struct WaypointEntry {
  float lat;  // radians, north positive
  float lon;  // radians, west positive
};

// The start of the rewrite's temporary file's name, "WAYPOINTS.NEW-PID-NUMBER": in the same
// folder, so the rename that replaces the old file is atomic, and of the writer's own, so that
// two writers on one folder never rename or remove each other's half-written temporary.
inline constexpr const char* WAYPOINT_TEMP_FILE_PREFIX = "WAYPOINTS.NEW-";
// A temporary older than this was left by a writer that was killed; the next rewrite removes it.
constexpr long STALE_WAYPOINT_TEMP_SECONDS = 600;
// Lines are read in pieces of at most 99 characters.
constexpr std::size_t WAYPOINT_LINE_BUFFER = 100;

// How lines are read, by every reader below: a line is "NUMBER LAT LON" parsed like
// "%d %f %f" (white space skipped, the number a 32-bit decimal integer, the coordinates single
// precision). A line without a leading number is skipped. CR LF ends a line like LF. A line
// longer than 99 characters is taken from its first 99 characters only: the rest of it is the
// tail of some field, never a line of its own, so it is passed over even when it starts with
// digits. A field cut by that limit (it runs up to the 99th character while the line goes on)
// does not convert, nor does a coordinate that reads as NaN or infinity or overflows a float;
// such a field leaves its destination as it was. A coordinate after one that is not a number at
// all is not looked for.

// Finds waypoint `number`: reads the whole file, sets `last_number` to the number of the last
// line that starts with a number (the INS keeps it as file_waypoint_number), and stores the last
// matching line's latitude and longitude (single precision, widened) in `lat` and `lon`. A
// missing file, one that is not a regular file, or one that cannot be read to its end leaves all
// three as they were, and so does a file without a numbered line for `last_number`, or without a
// matching line for `lat` and `lon`; a field that does not convert to a finite number leaves that
// destination as it was. Returns true when a line matched.
bool load_waypoint(int32_t number, double& lat, double& lon, int32_t& last_number);

struct WaypointLine {
  double lat;  // radians, north positive
  double lon;  // radians, west positive
};

// Formats "NUMBER LAT LON\n" with WAYPOINT_LINE_DECIMALS (8) decimals into `buffer`, always
// terminated, exactly as printf's "%d %.8f %.8f\n" writes it for every double. Returns the length,
// or -1 (and an empty buffer) when it did not fit.
int format_waypoint_line(char* buffer, std::size_t size, int32_t number, double lat, double lon);

// Writes `count` lines numbered 0..count-1 as a whole new waypoint file: into a temporary file
// of this write's own in the same folder (created afresh, never through a file or link already
// there), flushed to the disk, then renamed over the old one, so a reader finds the old file or
// the new one, whole, however many writers there are. Stale temporaries are removed first. On
// any failure (the temporary cannot be created, a
// write, the flush or the close fails, a value does not fit a line, the rename fails, or count
// is outside 0..WAYPOINT_TABLE_SIZE) the temporary is removed, the old file is left exactly as
// it was and false is returned.
bool write_waypoint_file(const WaypointLine* lines, int count);

enum TableRead : int {
  TABLE_READ,        // the whole file was read
  TABLE_NO_FILE,     // there is no waypoint file
  TABLE_UNREADABLE,  // there is one, but it is not a regular file or could not be read whole
};

// Reads the file into `table` by each line's own number (0..WAYPOINT_TABLE_SIZE-1), starting
// from all zeros; lines without a number or with another number are passed over. Only a file
// read to its end counts as read: a read error part way is never taken for the end of the file.
TableRead read_waypoint_table(WaypointEntry table[WAYPOINT_TABLE_SIZE]);

// INSERT's rewrite: puts waypoint `number` (0..99) at `lat`, `lon` into the file, keeping every
// other line's waypoint under its own number, as one atomic rewrite of 100 lines numbered 0..99.
// `table` is the scratch the file is read into. Returns false, and the file is left as it was,
// when the number is out of range, when a file that exists cannot be read whole (no permission,
// a read error, not a regular file: a table of what was read before the failure must not replace
// it), or when the rewrite fails.
bool rewrite_waypoint(WaypointEntry table[WAYPOINT_TABLE_SIZE], int32_t number, double lat,
                      double lon);
