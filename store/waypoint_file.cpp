#include "store/waypoint_file.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/text_format.h"
#include "store/durable_file.h"
#include "store/text_lines.h"

namespace {

// One piece of a line as read_line_piece returns it, with its true length (a NUL byte inside the
// line would make strlen stop early) and whether it starts and ends a line.
struct LinePiece {
  char text[WAYPOINT_LINE_BUFFER];
  std::size_t length = 0;
  bool starts_line = true;  // the first piece of a line, not the continuation of a long one
  bool ends_line = true;    // the line (or the file) ends with this piece
};

// After a full piece that holds no line end: tells whether the line ends right there (LF, CR LF
// or the end of the file follow, and are consumed) or goes on. A lone CR is line content; it
// would only belong to the continuation, which is never parsed, so it is not put back.
bool line_ends_here(StoreFile& file) {
  int c = read_byte(file);
  if (c == '\r') c = read_byte(file);
  if (c == '\n' || c == STORE_FILE_END) return true;
  unread_byte(file);
  return false;
}

// Reads the next piece; its length is what read_line_piece counted, so a NUL byte inside the
// line neither shortens it nor costs a search for the terminator.
bool next_piece(StoreFile& file, LinePiece& piece) {
  piece.starts_line = piece.ends_line;
  const std::size_t length = read_line_piece(file, piece.text, sizeof piece.text);
  if (length == 0) return false;
  piece.length = length;
  const bool full = length + 1 == sizeof piece.text;
  piece.ends_line = piece.text[length - 1] == '\n' || !full || line_ends_here(file);
  return true;
}

// The fields of one waypoint line, "NUMBER LAT LON": each converted field is marked ok.
struct ParsedLine {
  bool has_number = false;
  int32_t number = 0;
  bool has_lat = false;
  float lat = 0.0f;
  bool has_lon = false;
  float lon = 0.0f;
};

// A field that runs into the cut of a long line may go on in the next piece, so it is not
// taken as it stands.
bool cut_off(const LinePiece& piece, const char* field_end) {
  return !piece.ends_line && field_end == piece.text + piece.length;
}

// Reads a coordinate at `cursor`. Returns false when there is no number there at all (so no
// later field can be found either); `ok` tells whether it converted to a finite value.
bool parse_coordinate(const LinePiece& piece, const char*& cursor, float& value, bool& ok) {
  char* end = nullptr;
  const float parsed = std::strtof(cursor, &end);  // overflow gives infinity: refused below
  if (end == cursor) return false;
  ok = std::isfinite(parsed) && !cut_off(piece, end);
  if (ok) value = parsed;
  cursor = end;
  return true;
}

// A line's leading number as strtol(text, &end, 10) reads it; false when there is none or it does
// not fit 32 bits. The lines the module writes start with the number's digits, which are read
// directly; any other start is left to strtol. `text` is terminated.
bool read_leading_number(const char* text, const char*& end, int32_t& number) {
  end = text;
  if (take_short_number(end, number)) return true;
  char* parsed_end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text, &parsed_end, 10);
  end = parsed_end;
  if (parsed_end == text || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) {
    return false;
  }
  number = static_cast<int32_t>(parsed);
  return true;
}

// For the reader that looks for one waypoint: a line that lies whole in the file's buffer, is
// well short of a piece (so it is one piece, line end included, whatever CR it holds) and starts
// with the digits of a number other than `wanted` is passed over here at once, its number in
// `found`: what reading it as a piece and parsing it would come to, without copying it. Called
// at the start of a line only. False, with nothing consumed, for every other line, which the
// piece reader then takes.
bool pass_line_of_other_number(StoreFile& file, int32_t wanted, int32_t& found) {
  constexpr std::size_t SHORT_LINE = WAYPOINT_LINE_BUFFER - 2;
  const std::size_t available = file.length - file.position;  // none while bytes wait to be written
  const unsigned char* from = file.buffer + file.position;
  const void* line_end = std::memchr(from, '\n', available < SHORT_LINE ? available : SHORT_LINE);
  if (line_end == nullptr) return false;
  const char* digits = reinterpret_cast<const char*>(from);
  int32_t number = 0;
  // The line end stops the digits, so the reading stays inside the line.
  if (!take_short_number(digits, number) || number == wanted) {
    return false;
  }
  found = number;
  file.position += static_cast<std::size_t>(static_cast<const unsigned char*>(line_end) - from) + 1;
  return true;
}

// Parses the first piece of a line like "%d %f %f": a leading integer (after optional white
// space), then latitude and longitude. The number must fit 32 bits; NaN and infinity never
// convert. Pieces that continue a long line are not lines and are not parsed at all: their text
// is the tail of some other field, and taking a tail such as "123 4.5" as waypoint 123 would
// invent a waypoint and a wrong highest waypoint number.
// A reader that wants one waypoint only names it in `coordinates_of`: the coordinates of the
// other lines are then not converted (their number still counts), which saves most of the
// reading of a 100-line file that the alignment check does on every frame.
constexpr int64_t EVERY_LINE = INT64_MIN;

ParsedLine parse_piece(const LinePiece& piece, int64_t coordinates_of = EVERY_LINE) {
  ParsedLine line;
  if (!piece.starts_line) return line;
  const char* end = nullptr;
  int32_t number = 0;
  if (!read_leading_number(piece.text, end, number) || cut_off(piece, end)) return line;
  line.has_number = true;
  line.number = number;
  if (coordinates_of != EVERY_LINE && line.number != coordinates_of) return line;
  const char* cursor = end;
  if (parse_coordinate(piece, cursor, line.lat, line.has_lat)) {
    parse_coordinate(piece, cursor, line.lon, line.has_lon);
  }
  return line;
}

// A line holds a number and two coordinates; anything too long for this buffer (a coordinate far
// beyond any angle) makes the write fail rather than travel.
constexpr std::size_t WRITE_LINE_BUFFER = 128;

}  // namespace

bool load_waypoint(int32_t number, double& lat, double& lon, int32_t& last_number) {
  StoreFile file;
  if (open_for_reading(file, WAYPOINT_FILE_NAME) != FILE_OPENED) return false;
  // What the file gives is taken only once it was read to its end: a read error part way must
  // not leave a waypoint or a highest number that some later line would have changed.
  bool matched = false;
  bool numbered = false;
  int32_t last_line_number = 0;
  double found_lat = lat, found_lon = lon;
  LinePiece piece;
  for (;;) {
    int32_t other_number = 0;
    if (piece.ends_line && pass_line_of_other_number(file, number, other_number)) {
      numbered = true;
      last_line_number = other_number;
      continue;
    }
    if (!next_piece(file, piece)) break;
    const ParsedLine line = parse_piece(piece, number);
    if (!line.has_number) continue;
    numbered = true;
    last_line_number = line.number;
    if (line.number != number) continue;
    matched = true;
    if (line.has_lat) found_lat = static_cast<double>(line.lat);
    if (line.has_lon) found_lon = static_cast<double>(line.lon);
  }
  const bool whole = !file.failed;
  close_file(file);
  if (!whole) return false;
  if (numbered) last_number = last_line_number;
  lat = found_lat;
  lon = found_lon;
  return matched;
}

namespace {

// The longest line there is: a 32-bit number ("-2147483648"), two blanks, two coordinates of
// the largest magnitude (a sign, the 309 digits of the largest double, the point and the
// decimals), the line end and the terminating zero.
constexpr std::size_t LONGEST_LINE = 11 + 2 + 2 * (1 + 309 + 1 + WAYPOINT_LINE_DECIMALS) + 1 + 1;

// A coordinate as printf's "%.8f" has always written it into the file. The C libraries agree on
// every value but a NaN with its sign bit set: glibc writes "-nan", the Windows builds' library
// "nan" for every NaN. The file of each platform keeps its own (either reads back as no number).
double as_printed(double coordinate) {
#if defined(_WIN32)
  if (std::isnan(coordinate)) return std::copysign(coordinate, 1.0);
#endif
  return coordinate;
}

}  // namespace

int format_waypoint_line(char* buffer, std::size_t size, int32_t number, double lat, double lon) {
  if (buffer == nullptr || size == 0) return -1;
  // "%d %.8f %.8f\n" (WAYPOINT_LINE_DECIMALS decimals), written whole before any of it goes to
  // the caller's buffer.
  char line[LONGEST_LINE];
  BoundedText text = bounded_text(line, sizeof line);
  append_decimal(text, number, 1, Padding::Blanks);
  append_char(text, ' ');
  append_fixed(text, as_printed(lat), 1, WAYPOINT_LINE_DECIMALS, Padding::Blanks);
  append_char(text, ' ');
  append_fixed(text, as_printed(lon), 1, WAYPOINT_LINE_DECIMALS, Padding::Blanks);
  append_char(text, '\n');
  if (text.length >= size) {
    buffer[0] = '\0';  // never leave half a line behind
    return -1;
  }
  std::memcpy(buffer, line, text.length + 1);
  return static_cast<int>(text.length);
}

namespace {

// Where a write's temporary names start: another number for every write (the clock's count),
// so that even two copies of the module in one process seldom try the same name first.
unsigned first_temporary_number() {
  return static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
}

}  // namespace

bool write_waypoint_file(const WaypointLine* lines, int count) {
  if (count < 0 || count > WAYPOINT_TABLE_SIZE || (count > 0 && lines == nullptr)) return false;
  remove_stale_temporaries(WAYPOINT_TEMP_FILE_PREFIX, STALE_WAYPOINT_TEMP_SECONDS);
  StoreFile file;
  TemporaryName temporary;
  if (!create_temporary(file, WAYPOINT_TEMP_FILE_PREFIX, first_temporary_number(), temporary)) {
    return false;
  }
  bool ok = true;
  char text[WRITE_LINE_BUFFER];
  for (int i = 0; i < count && ok; ++i) {
    const int length = format_waypoint_line(text, sizeof text, i, lines[i].lat, lines[i].lon);
    ok = length >= 0 && write_bytes(file, text, static_cast<std::size_t>(length));
  }
  // Every byte must be on the disk before the new file replaces the old one: a full disk shows
  // up at the write or the flush, and a power cut after the rename must not leave an empty file.
  ok = ok && flush_to_disk(file);
  ok = close_file(file) && ok;
  ok = ok && replace_file(temporary.text, WAYPOINT_FILE_NAME);
  if (!ok) remove_file(temporary.text);
  return ok;
}

TableRead read_waypoint_table(WaypointEntry table[WAYPOINT_TABLE_SIZE]) {
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) table[i] = WaypointEntry{};
  StoreFile file;
  const OpenResult opened = open_for_reading(file, WAYPOINT_FILE_NAME);
  if (opened == FILE_ABSENT) return TABLE_NO_FILE;
  if (opened != FILE_OPENED) return TABLE_UNREADABLE;
  LinePiece piece;
  while (next_piece(file, piece)) {
    const ParsedLine line = parse_piece(piece);
    if (!line.has_number || line.number < 0 || line.number >= WAYPOINT_TABLE_SIZE) continue;
    WaypointEntry& entry = table[line.number];
    if (line.has_lat) entry.lat = line.lat;
    if (line.has_lon) entry.lon = line.lon;
  }
  const bool whole = !file.failed;
  close_file(file);
  return whole ? TABLE_READ : TABLE_UNREADABLE;
}

bool rewrite_waypoint(WaypointEntry table[WAYPOINT_TABLE_SIZE], int32_t number, double lat,
                      double lon) {
  if (number < 0 || number >= WAYPOINT_TABLE_SIZE) return false;
  if (read_waypoint_table(table) == TABLE_UNREADABLE) return false;
  table[number] = WaypointEntry{static_cast<float>(lat), static_cast<float>(lon)};
  WaypointLine lines[WAYPOINT_TABLE_SIZE];
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) lines[i] = WaypointLine{table[i].lat, table[i].lon};
  return write_waypoint_file(lines, WAYPOINT_TABLE_SIZE);
}
