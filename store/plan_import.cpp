// Import of the simulator's flight plan into the waypoint file.
//
// Two passes over fixed-size buffers, no allocation. The copy phase picks the waypoint lines of
// PLAN.PLN and copies the position text of each into the scratch file WPOINTS.TMP, one line per
// waypoint. The conversion phase reads the scratch file back, turns up to 99 positions into
// radians in waypoint_table, and the new waypoint file is written in one piece: line 0 the
// present position, lines 1..99 the plan's waypoints in order, then zeros.
//
// Two kinds of waypoint line are recognised by their first token:
//   "<WorldPo..."  the XML form:       <WorldPosition>N47° 26' 58.82",W122° 18' 30.40",+000433.00
//   "waypoint..."  the key=value form: waypoint.1=WPT1, A, N47* 26.98', W122* 18.51', +000429.00
//
// Faults the import guards against, and why:
// - A line of 45 characters or less is passed over, but the line after it is examined like any
//   other: real plans put short lines (alternate_name=, 45-byte navaid type lines) right before
//   waypoint lines, and dropping the following line would lose those waypoints.
// - The key=value copy starts three characters before the star, but never before the line's
//   start.
// - Every scratch line ends with a line feed, even when the plan line was longer than a buffer
//   piece or had no final line feed, so one scratch line is always one waypoint.
// - A plan that cannot be opened or read, or a scratch or waypoint file that cannot be written,
//   leaves the old waypoint file as it was; the request is cleared and nothing else changes.
//   The scratch file is removed on every path once it was created.
// - A number that reads as NaN or infinity keeps the field's previous value, like a missing one.
#include "store/plan_import.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "module/ins_state.h"
#include "store/durable_file.h"
#include "store/text_lines.h"
#include "store/waypoint_file.h"

namespace {

// Plan and scratch lines are read in pieces of at most 99 characters.
constexpr std::size_t PLAN_LINE_BUFFER = 100;
// Lines of this many characters or fewer (line feed included) are never waypoint lines.
constexpr std::size_t SHORT_LINE_LENGTH = 45;
// Waypoints the plan can supply: waypoint file lines 1..99.
constexpr int PLAN_WAYPOINT_LIMIT = 99;

enum PlanLineSyntax : int { SYNTAX_NONE = 0, SYNTAX_XML = 1, SYNTAX_KEY_VALUE = 2 };

constexpr long double PI_L = 3.141592653589793238462643383279502884L;

// The parsed fields of the last scratch line. A field a line does not supply keeps the value it
// had from the line before; every import starts from zeros and no hemisphere letter.
struct PositionFields {
  char lat_hemisphere = '\0';
  int lat_degrees = 0;
  float lat_minutes = 0.0f;
  float lat_seconds = 0.0f;
  char lon_hemisphere = '\0';
  int lon_degrees = 0;
  float lon_minutes = 0.0f;
  float lon_seconds = 0.0f;
};

// Writes `text` as one scratch line, adding the line feed a cut or unterminated plan line lacks.
bool write_scratch_line(StoreFile& scratch, const char* text) {
  std::size_t length = std::strlen(text);
  if (!write_bytes(scratch, text, length)) return false;
  if (length == 0 || text[length - 1] != '\n') return write_bytes(scratch, "\n", 1);
  return true;
}

// Copy phase: every waypoint line's position text goes to the scratch file, one line each.
// Returns false when the scratch file could not be written.
bool copy_waypoint_lines(StoreFile& plan, StoreFile& scratch, int& syntax) {
  char line[PLAN_LINE_BUFFER];
  while (read_line_piece(plan, line, sizeof line)) {
    if (std::strlen(line) <= SHORT_LINE_LENGTH) continue;

    char token[9] = {};
    if (std::sscanf(line, " %8s", token) != 1) continue;

    if (std::strncmp(token, "<WorldPo", 8) == 0) {
      const char* tag_end = std::strchr(line, '>');
      if (tag_end == nullptr) continue;
      syntax = SYNTAX_XML;
      ++ins_state.plan_waypoint_count;
      if (!write_scratch_line(scratch, tag_end + 1)) return false;
    } else if (std::strcmp(token, "waypoint") == 0) {
      const char* star = std::strstr(line, "* ");
      if (star == nullptr) continue;
      // Back over the hemisphere letter and two degree digits (or the blank before a one-digit
      // degree), but not past the start of the line.
      const char* start = star - line >= 3 ? star - 3 : line;
      syntax = SYNTAX_KEY_VALUE;
      ++ins_state.plan_waypoint_count;
      if (!write_scratch_line(scratch, start)) return false;
    }
  }
  return true;
}

// Reads the next scratch line into `line` (its first 99 characters; the rest of a longer line
// is passed over so that the next call starts at the next waypoint). False at end of file.
bool read_scratch_line(StoreFile& scratch, char* line, std::size_t size) {
  if (!read_line_piece(scratch, line, size)) return false;
  std::size_t length = std::strlen(line);
  if (length + 1 == size && line[length - 1] != '\n') {
    char rest[PLAN_LINE_BUFFER];
    while (read_line_piece(scratch, rest, sizeof rest)) {
      std::size_t rest_length = std::strlen(rest);
      if (rest_length > 0 && rest[rest_length - 1] == '\n') break;
    }
  }
  return true;
}

void keep_if_finite(float& field, float value) {
  if (std::isfinite(value)) field = value;
}

// Parses one scratch line into `fields`. Conversions run in order and stop at the first one the
// text does not supply, so the fields after it keep their values. Separators are skipped
// whatever their length (a degree sign takes one or two bytes); none of them is stored.
void parse_position(const char* line, int syntax, PositionFields& fields) {
  PositionFields read = fields;
  if (syntax == SYNTAX_XML) {
    std::sscanf(line,
                "%1c%9d%*99[^0123456789]%f%*99[^0123456789]%f%*99[^EW]"
                "%1c%9d%*99[^0123456789]%f%*99[^0123456789]%f",
                &read.lat_hemisphere, &read.lat_degrees, &read.lat_minutes, &read.lat_seconds,
                &read.lon_hemisphere, &read.lon_degrees, &read.lon_minutes, &read.lon_seconds);
  } else if (syntax == SYNTAX_KEY_VALUE) {
    std::sscanf(line, " %1c%9d%*99s %f%*2s %1c%9d%*99s %f%*2s", &read.lat_hemisphere,
                &read.lat_degrees, &read.lat_minutes, &read.lon_hemisphere, &read.lon_degrees,
                &read.lon_minutes);
  }
  fields.lat_hemisphere = read.lat_hemisphere;
  fields.lat_degrees = read.lat_degrees;
  keep_if_finite(fields.lat_minutes, read.lat_minutes);
  keep_if_finite(fields.lat_seconds, read.lat_seconds);
  fields.lon_hemisphere = read.lon_hemisphere;
  fields.lon_degrees = read.lon_degrees;
  keep_if_finite(fields.lon_minutes, read.lon_minutes);
  keep_if_finite(fields.lon_seconds, read.lon_seconds);
}

// Degrees, minutes and seconds to radians, in extended precision; S and E make it negative.
float to_radians(int degrees, float minutes, float seconds, bool negative) {
  long double value =
      (static_cast<long double>(degrees) + minutes * (1.0L / 60.0L) + seconds * (1.0L / 3600.0L)) *
      PI_L * (1.0L / 180.0L);
  return static_cast<float>(negative ? -value : value);
}

// Conversion phase: fills waypoint_table entries 0..98 from the scratch file, zeros after the
// plan's last waypoint.
void convert_waypoints(StoreFile& scratch, int syntax) {
  PositionFields fields;
  char line[PLAN_LINE_BUFFER];
  for (ins_state.waypoint_index = 0; ins_state.waypoint_index < WAYPOINT_TABLE_SIZE;
       ++ins_state.waypoint_index) {
    WaypointEntry& entry = ins_state.waypoint_table[ins_state.waypoint_index];
    if (ins_state.waypoint_index >= PLAN_WAYPOINT_LIMIT ||
        ins_state.waypoint_index >= ins_state.plan_waypoint_count) {
      entry = WaypointEntry{0.0f, 0.0f};
      continue;
    }
    if (read_scratch_line(scratch, line, sizeof line)) parse_position(line, syntax, fields);
    // Seconds stay zero in the key=value form, which gives decimal minutes only.
    entry.lat = to_radians(fields.lat_degrees, fields.lat_minutes, fields.lat_seconds,
                           fields.lat_hemisphere == 'S');
    entry.lon = to_radians(fields.lon_degrees, fields.lon_minutes, fields.lon_seconds,
                           fields.lon_hemisphere == 'E');
  }
}

// Writes the new waypoint file whole: the present position, then table entries 0..98.
bool write_imported_waypoints() {
  WaypointLine lines[PLAN_WAYPOINT_LIMIT + 1];
  lines[0] = WaypointLine{ins_state.present_lat, ins_state.present_lon};
  for (int i = 0; i < PLAN_WAYPOINT_LIMIT; ++i) {
    lines[i + 1] = WaypointLine{ins_state.waypoint_table[i].lat, ins_state.waypoint_table[i].lon};
  }
  return write_waypoint_file(lines, PLAN_WAYPOINT_LIMIT + 1);
}

// Back to idle; `imported` also drops any half-keyed entry and makes the navigation computer
// re-read its TO waypoint from the new file (to_waypoint itself stays).
void finish_import(bool imported) {
  ins_state.plan_import_request = 0;
  ins_state.plan_waypoint_count = 0;
  if (imported) {
    ins_state.reload_to_waypoint = 1;
    ins_state.entry_position = 0;
  }
}

}  // namespace

void request_flight_plan_import() {
  StoreFile plan;
  const bool opened = open_for_reading(plan, PLAN_FILE_NAME) == FILE_OPENED;
  ins_state.plan_import_request = opened ? 1 : 0;
  if (opened) close_file(plan);
}

void import_flight_plan() {
  StoreFile plan;
  if (open_for_reading(plan, PLAN_FILE_NAME) != FILE_OPENED) {
    finish_import(false);
    return;
  }
  StoreFile scratch;
  if (!create_exclusively(scratch, PLAN_SCRATCH_FILE_NAME)) {
    close_file(plan);
    finish_import(false);
    return;
  }

  ins_state.plan_waypoint_count = 0;
  int syntax = SYNTAX_NONE;
  // A plan that could not be read to its end (a read error) is treated like one that did not
  // open: half a plan must not replace a whole waypoint file.
  bool imported =
      copy_waypoint_lines(plan, scratch, syntax) && !plan.failed && rewind_for_reading(scratch);
  if (imported) {
    convert_waypoints(scratch, syntax);
    imported = !scratch.failed && write_imported_waypoints();
  }

  close_file(scratch);
  remove_file(PLAN_SCRATCH_FILE_NAME);
  close_file(plan);
  finish_import(imported);
}
