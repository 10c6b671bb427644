// Import of the simulator's flight plan into the waypoint file.
//
// Two passes over fixed-size buffers, no allocation. The copy phase picks the waypoint lines of
// PLAN.PLN (read as plan_text.h describes: any encoding, one position element a line) and copies
// the position text of each, up to 99, into the scratch file WPOINTS.TMP, one line per waypoint.
// The conversion phase reads the scratch file back and turns each line into a position in
// radians (plan_positions.h: the two syntaxes' rules, and the shapes real tools write beyond
// them). Then the new waypoint file is written in one piece: line 0 the present position,
// lines 1..99 the plan's waypoints in order, then zeros.
//
// Two kinds of waypoint line are recognised by their first token:
//   "<WorldPo..."  the XML form:       <WorldPosition>N47° 26' 58.82",W122° 18' 30.40",+000433.00
//   "waypoint..."  the key=value form: waypoint.1=WPT1, A, N47* 26.98', W122* 18.51', +000429.00
// Each line is read in its own form and shape, so a plan that mixes them reads each waypoint as
// what it is.
//
// The import keeps the stored plan unless it has a whole one to put in its place. It replaces
// nothing, clears the request and changes nothing else, when:
// - the plan cannot be opened or read to its end (a read error, not a regular file, beyond the
//   size any plan has), or the scratch or waypoint file cannot be written;
// - no waypoint line gives a position of its own (a plan of the newest simulator, which names
//   navaids by ident only; a plan of another program's format): the pilot's stored plan stays
//   rather than become the present position and 99 zero lines;
// - any position to be written lies off the globe or is not a number (a shape the rules misread,
//   or a broken line): a plan read wrongly is not a plan to steer by. This includes line 0, the
//   present position.
// A plan of more than 99 waypoints gives its first 99, in order; the rest is not read.
//
// Other faults the import guards against, and why:
// - A line of 45 characters or less is passed over, but the line after it is examined like any
//   other: real plans put short lines (alternate_name=, 45-byte navaid type lines) right before
//   waypoint lines, and dropping the following line would lose those waypoints.
// - The key=value copy starts three characters before the star, but never before the line's
//   start.
// - Every scratch line ends with a line feed, even when the plan line was longer than a buffer
//   piece or had no final line feed, so one scratch line is always one waypoint.
// - The scratch file is removed on every path once it was created.
#include "store/plan_import.h"

#include <cstdint>
#include <cstring>

#include "store/durable_file.h"
#include "store/plan_positions.h"
#include "store/plan_text.h"
#include "store/text_lines.h"
#include "store/waypoint_file.h"

namespace {

// Plan and scratch lines are read in pieces of at most 99 characters.
constexpr std::size_t PLAN_LINE_BUFFER = 100;
// Lines of this many characters or fewer (line feed included) are never waypoint lines.
constexpr std::size_t SHORT_LINE_LENGTH = 45;
// Waypoints the plan can supply: waypoint file lines 1..99.
constexpr int PLAN_WAYPOINT_LIMIT = 99;

// What the copy phase found: the syntax of each waypoint line, in plan order.
struct CopiedLines {
  int count = 0;  // waypoint lines copied
  uint8_t syntax[PLAN_WAYPOINT_LIMIT] = {};
};

// Writes `text` as one scratch line, adding the line feed a cut or unterminated plan line lacks.
bool write_scratch_line(StoreFile& scratch, const char* text) {
  std::size_t length = std::strlen(text);
  if (!write_bytes(scratch, text, length)) return false;
  if (length == 0 || text[length - 1] != '\n') return write_bytes(scratch, "\n", 1);
  return true;
}

// White space as the C library's isspace sees it in the "C" locale.
bool white_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether the line's first token (white space skipped, then at most 8 characters up to white
// space) is `word`, a word of exactly 8 characters without white space: a longer token matches
// on its first eight.
bool first_token_is(const char* line, const char (&word)[9]) {
  while (white_space(*line)) ++line;
  return std::strncmp(line, word, 8) == 0;
}

// The position text of a waypoint line and its syntax, or null when the line is none.
const char* position_text(const char* line, int& syntax) {
  if (std::strlen(line) <= SHORT_LINE_LENGTH) return nullptr;
  if (first_token_is(line, "<WorldPo")) {
    const char* tag_end = std::strchr(line, '>');
    if (tag_end == nullptr) return nullptr;
    syntax = SYNTAX_XML;
    return tag_end + 1;
  }
  if (first_token_is(line, "waypoint")) {
    const char* star = std::strstr(line, "* ");
    if (star == nullptr) return nullptr;
    syntax = SYNTAX_KEY_VALUE;
    // Back over the hemisphere letter and two degree digits (or the blank before a one-digit
    // degree), but not past the start of the line.
    return star - line >= 3 ? star - 3 : line;
  }
  return nullptr;
}

// Copy phase: the position text of every waypoint line, up to the 99 the file holds, goes to the
// scratch file, one line each. Returns false when the scratch file could not be written.
bool copy_waypoint_lines(PlanText& plan, StoreFile& scratch, CopiedLines& copied) {
  char line[PLAN_LINE_BUFFER];
  while (copied.count < PLAN_WAYPOINT_LIMIT && read_line_piece(plan, line, sizeof line)) {
    int syntax = SYNTAX_NONE;
    const char* text = position_text(line, syntax);
    if (text == nullptr) continue;
    copied.syntax[copied.count++] = static_cast<uint8_t>(syntax);
    if (!write_scratch_line(scratch, text)) return false;
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

// What the conversion phase found.
struct Converted {
  int own_positions = 0;         // waypoints whose line gave both coordinates itself
  bool all_on_the_globe = true;  // no position off the globe or not a number
};

// Conversion phase: fills table entries 0..98 from the scratch file, zeros after the plan's last
// waypoint.
Converted convert_waypoints(StoreFile& scratch, const CopiedLines& copied,
                            WaypointEntry table[WAYPOINT_TABLE_SIZE]) {
  RuleFields fields;
  Converted converted;
  char line[PLAN_LINE_BUFFER];
  for (int index = 0; index < WAYPOINT_TABLE_SIZE; ++index) {
    WaypointEntry& entry = table[index];
    if (index >= copied.count) {
      entry = WaypointEntry{0.0f, 0.0f};
      continue;
    }
    if (!read_scratch_line(scratch, line, sizeof line)) line[0] = '\0';
    const PlanPosition position = read_plan_position(line, copied.syntax[index], fields);
    entry = WaypointEntry{position.lat, position.lon};
    converted.own_positions += position.own ? 1 : 0;
    converted.all_on_the_globe = converted.all_on_the_globe && on_the_globe(entry.lat, entry.lon);
  }
  return converted;
}

// Writes the new waypoint file whole: the present position, then table entries 0..98.
bool write_imported_waypoints(double present_lat, double present_lon,
                              const WaypointEntry table[WAYPOINT_TABLE_SIZE]) {
  WaypointLine lines[PLAN_WAYPOINT_LIMIT + 1];
  lines[0] = WaypointLine{present_lat, present_lon};
  for (int i = 0; i < PLAN_WAYPOINT_LIMIT; ++i) {
    lines[i + 1] = WaypointLine{table[i].lat, table[i].lon};
  }
  return write_waypoint_file(lines, PLAN_WAYPOINT_LIMIT + 1);
}

// Reads the plan through the scratch file into `table` and writes the new waypoint file; false
// when there is nothing whole to write, or the writing failed.
bool import_through_scratch(PlanText& plan, StoreFile& scratch, double present_lat,
                            double present_lon, WaypointEntry table[WAYPOINT_TABLE_SIZE]) {
  CopiedLines copied;
  // A plan that could not be read to its end is treated like one that did not open: half a
  // plan must not replace a whole waypoint file.
  if (!copy_waypoint_lines(plan, scratch, copied) || plan_text_failed(plan) ||
      !rewind_for_reading(scratch)) {
    return false;
  }
  const Converted converted = convert_waypoints(scratch, copied, table);
  if (scratch.failed || converted.own_positions == 0 || !converted.all_on_the_globe) return false;
  if (!on_the_globe(present_lat, present_lon)) return false;
  return write_imported_waypoints(present_lat, present_lon, table);
}

}  // namespace

bool plan_file_opens() {
  StoreFile plan;
  const bool opened = open_for_reading(plan, PLAN_FILE_NAME) == FILE_OPENED;
  if (opened) close_file(plan);
  return opened;
}

bool import_plan_file(double present_lat, double present_lon,
                      WaypointEntry table[WAYPOINT_TABLE_SIZE]) {
  PlanText plan;
  if (open_plan_text(plan, PLAN_FILE_NAME) != FILE_OPENED) return false;
  StoreFile scratch;
  if (!create_exclusively(scratch, PLAN_SCRATCH_FILE_NAME)) {
    close_plan_text(plan);
    return false;
  }
  const bool imported = import_through_scratch(plan, scratch, present_lat, present_lon, table);
  close_file(scratch);
  remove_file(PLAN_SCRATCH_FILE_NAME);
  close_plan_text(plan);
  return imported;
}
