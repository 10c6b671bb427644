// The CDU's eight text windows: the left and right displays, the four hemisphere lamp windows
// and the FROM and TO numbers. Each routine only reads the INS state and formats it; the
// navigation computer has already split coordinates into whole degrees and minutes, zeroed what
// must not show before alignment, and taken the sides of drift, cross-track and track error.
//
// Every routine runs the same frame (update_window): the result alternates with the element's
// value; without power the window is blank; during the lamp test it shows its test text;
// otherwise the data selector (and at WAY PT the waypoint entry) picks the text. A composer may
// decline to rewrite, and the window then keeps the text of its previous update.
//
// Texts are single-byte: the degree sign is the byte 0xB0 of the display font's character set.
// In string literals "\xB0" is always followed by a character that is not a hex digit, or
// closes its literal, so that no digit after it is swallowed into the escape.
#include "cdu/display_windows.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>

#include "core/convert.h"
#include "state/ins_state.h"

namespace {

// A composer writes a window's text into `text` (at most `size` bytes with the terminator) and
// returns true, or returns false when the window keeps its previous text.
using Composer = bool (*)(char* text, std::size_t size);

// Room for any text composed here. A value far outside its range (a corrupt distance of 1e300)
// is cut here first; the host's own buffer, usually smaller, bounds the text again.
constexpr std::size_t COMPOSE_CAPACITY = 64;

// Test and blank texts. The displays are blanked with nine blanks even where the right display
// holds ten characters; the host centres the text either way.
constexpr char LEFT_TEST_TEXT[] =
    " 88\xB0"
    "88.88";
constexpr char RIGHT_TEST_TEXT[] =
    "888\xB0"
    "88.88";
constexpr char DISPLAY_BLANK_TEXT[] = "         ";
constexpr char LAMP_BLANK_TEXT[] = " ";
constexpr char NUMBER_TEST_TEXT[] = "88";
constexpr char NUMBER_BLANK_TEXT[] = "  ";

struct Window {
  const char* test_text;
  const char* blank_text;
  Composer compose;
};

// Copies `text` into the host's buffer, never more than its size with the terminator. A host
// that lends no buffer, or one of size 0, gets nothing written.
void write_bounded(ElementHeader* element, const char* text) {
  if (element->text_buffer == nullptr || element->text_buffer_size == 0) return;
  const std::size_t room = element->text_buffer_size - 1;
  std::size_t length = 0;
  while (length < room && text[length] != '\0') ++length;
  std::memcpy(element->text_buffer, text, length);
  element->text_buffer[length] = '\0';
}

double update_window(ElementHeader* element, const Window& window) {
  if (element == nullptr) return 0.0;
  // The host keeps the result as the element's new value, so on successive updates the value
  // alternates 1, 0, 1, ...; it is taken from the value found on entry.
  const double result = element->current_value == 0.0 ? 1.0 : 0.0;
  if (ins_state.ins_powered == 0) {
    write_bounded(element, window.blank_text);
  } else if (ins_state.lamp_test_active != 0) {
    write_bounded(element, window.test_text);
  } else {
    char text[COMPOSE_CAPACITY];
    if (window.compose(text, sizeof text)) write_bounded(element, text);
  }
  return result;
}

[[gnu::format(printf, 3, 4)]] bool compose(char* text, std::size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, size, format, arguments);
  va_end(arguments);
  return true;
}

const char* side_with_blank(uint8_t left) {
  return left != 0 ? "L " : "R ";
}
const char* side(uint8_t left) {
  return left != 0 ? "L" : "R";
}

bool compose_track(char* text, std::size_t size) {
  return compose(text, size, "%05.1f%4s", ins_state.track, " DEG");
}

bool compose_ground_speed(char* text, std::size_t size) {
  return compose(text, size, "%6.1f%3s", ins_state.ground_speed_shown, " KT");
}

bool compose_heading(char* text, std::size_t size) {
  return compose(text, size, "%05.1f%4s", static_cast<double>(ins_state.heading), " DEG");
}

bool compose_drift_angle(char* text, std::size_t size) {
  return compose(text, size, "%2s%03d%4s", side_with_blank(ins_state.drift_left),
                 ins_state.drift_angle, " DEG");
}

bool compose_cross_track(char* text, std::size_t size) {
  return compose(text, size, "%2s%7.2f%3s", side_with_blank(ins_state.cross_track_left),
                 ins_state.cross_track_nm, " NM");
}

bool compose_track_error(char* text, std::size_t size) {
  return compose(text, size, "%1s%4.1f%4s", side(ins_state.track_error_left), ins_state.track_error,
                 " DEG");
}

bool compose_present_latitude(char* text, std::size_t size) {
  return compose(text, size, "%1s%02d\xB0%05.2f", " ", ins_state.present_lat_abs_whole,
                 ins_state.present_lat_abs_minutes);
}

bool compose_present_longitude(char* text, std::size_t size) {
  return compose(text, size, "%03d\xB0%05.2f", ins_state.present_lon_abs_whole,
                 ins_state.present_lon_abs_minutes);
}

// Waypoint entry echo. Each entry field shows its digit once keyed, a dash while still to come;
// a digit is written as "%1d" writes the digit truncated to a whole number (whole, even when a
// stray value has more than one figure).
struct EntryField {
  char chars[16];  // a 32-bit integer in decimal with its sign, and the terminator
};

EntryField entry_field(double digit, bool keyed) {
  EntryField field{};
  if (keyed) {
    std::snprintf(field.chars, sizeof field.chars, "%d", truncate_to<int>(digit));
  } else {
    std::snprintf(field.chars, sizeof field.chars, "-");
  }
  return field;
}

// Entry positions: 1 latitude hemisphere awaited, 2..7 the six latitude digits, 8 longitude
// hemisphere awaited, 9..15 the seven longitude digits, 16 complete.
constexpr int LATITUDE_DIGITS = 6;
constexpr int LONGITUDE_DIGITS = 7;
constexpr int FIRST_LATITUDE_DIGIT_POSITION = 2;
constexpr int FIRST_LONGITUDE_DIGIT_POSITION = 9;

bool compose_latitude_entry(char* text, std::size_t size) {
  const int position = ins_state.entry_position;
  // While the longitude is keyed the left display keeps the full latitude it showed at 8.
  if (position >= FIRST_LONGITUDE_DIGIT_POSITION) return false;
  // Before the hemisphere is chosen every digit shows, whatever it holds.
  const int keyed = position < FIRST_LATITUDE_DIGIT_POSITION
                        ? LATITUDE_DIGITS
                        : position - FIRST_LATITUDE_DIGIT_POSITION;
  const double digits[LATITUDE_DIGITS] = {
      ins_state.entry_lat_deg_tens,   ins_state.entry_lat_deg_units,
      ins_state.entry_lat_min_tens,   ins_state.entry_lat_min_units,
      ins_state.entry_lat_min_tenths, ins_state.entry_lat_min_hundredths};
  EntryField f[LATITUDE_DIGITS];
  for (int i = 0; i < LATITUDE_DIGITS; ++i) f[i] = entry_field(digits[i], i < keyed);
  return compose(text, size, " %s%s\xB0%s%s.%s%s", f[0].chars, f[1].chars, f[2].chars, f[3].chars,
                 f[4].chars, f[5].chars);
}

bool compose_longitude_entry(char* text, std::size_t size) {
  const int position = ins_state.entry_position;
  // Past complete nothing more is keyed; the display keeps its text.
  if (position > FIRST_LONGITUDE_DIGIT_POSITION + LONGITUDE_DIGITS) return false;
  const int keyed = position < FIRST_LONGITUDE_DIGIT_POSITION
                        ? LONGITUDE_DIGITS
                        : position - FIRST_LONGITUDE_DIGIT_POSITION;
  const double digits[LONGITUDE_DIGITS] = {
      ins_state.entry_lon_deg_hundreds,  ins_state.entry_lon_deg_tens,
      ins_state.entry_lon_deg_units,     ins_state.entry_lon_min_tens,
      ins_state.entry_lon_min_units,     ins_state.entry_lon_min_tenths,
      ins_state.entry_lon_min_hundredths};
  EntryField f[LONGITUDE_DIGITS];
  for (int i = 0; i < LONGITUDE_DIGITS; ++i) f[i] = entry_field(digits[i], i < keyed);
  return compose(text, size, "%s%s%s\xB0%s%s.%s%s", f[0].chars, f[1].chars, f[2].chars, f[3].chars,
                 f[4].chars, f[5].chars, f[6].chars);
}

// WAY PT shows the TO waypoint, or the digits being keyed while an entry is open.
bool compose_waypoint_latitude(char* text, std::size_t size) {
  if (ins_state.waypoint_entry_mode != 0) return compose_latitude_entry(text, size);
  return compose(text, size, "%1s%02d\xB0%05.2f", " ", ins_state.to_lat_abs_whole,
                 ins_state.to_lat_abs_minutes);
}

bool compose_waypoint_longitude(char* text, std::size_t size) {
  if (ins_state.waypoint_entry_mode != 0) return compose_longitude_entry(text, size);
  return compose(text, size, "%03d\xB0%05.2f", ins_state.to_lon_abs_whole,
                 ins_state.to_lon_abs_minutes);
}

bool compose_distance(char* text, std::size_t size) {
  return compose(text, size, "%6.1f%3s", ins_state.distance_to_go, " NM");
}

bool compose_time_to_go(char* text, std::size_t size) {
  return compose(text, size, "%02d%1s%02d%1s%1d%3s", ins_state.ttg_hours, ":",
                 truncate_to<int>(ins_state.ttg_minutes), ".", ins_state.ttg_tenths, " ET");
}

bool compose_wind_direction(char* text, std::size_t size) {
  return compose(text, size, "%2s%3d%4s", "  ", ins_state.wind_dir_shown, " DEG");
}

bool compose_wind_speed(char* text, std::size_t size) {
  return compose(text, size, "%1s%3d%3s", " ", ins_state.wind_speed_shown, " KT");
}

bool compose_desired_track(char* text, std::size_t size) {
  return compose(text, size, "%05.1f%4s", ins_state.desired_track, " DEG");
}

bool compose_align_status(char* text, std::size_t size) {
  return compose(text, size, "%3s%01d", "   ", ins_state.align_status);
}

// What each display shows in each selector position: the left display the first quantity of
// the legend, the right display the second.
constexpr Composer LEFT_DISPLAY[] = {compose_track,
                                     compose_heading,
                                     compose_cross_track,
                                     compose_present_latitude,
                                     compose_waypoint_latitude,
                                     compose_distance,
                                     compose_wind_direction,
                                     compose_desired_track};
constexpr Composer RIGHT_DISPLAY[] = {
    compose_ground_speed,       compose_drift_angle, compose_track_error, compose_present_longitude,
    compose_waypoint_longitude, compose_time_to_go,  compose_wind_speed,  compose_align_status};
static_assert(std::size(LEFT_DISPLAY) == SELECTOR_POSITION_COUNT);
static_assert(std::size(RIGHT_DISPLAY) == SELECTOR_POSITION_COUNT);

// A selector value outside its eight positions cannot come from the knob's end stops; should
// one appear, the display is blanked rather than indexing past the table.
bool compose_by_selector(const Composer (&table)[SELECTOR_POSITION_COUNT], char* text,
                         std::size_t size) {
  const int position = ins_state.data_selector;
  if (position < 0 || position >= SELECTOR_POSITION_COUNT) {
    return compose(text, size, "%s", DISPLAY_BLANK_TEXT);
  }
  return table[position](text, size);
}

bool compose_left_display(char* text, std::size_t size) {
  return compose_by_selector(LEFT_DISPLAY, text, size);
}

bool compose_right_display(char* text, std::size_t size) {
  return compose_by_selector(RIGHT_DISPLAY, text, size);
}

// ---------------------------------------------------------------------------------------------
// Hemisphere lamp windows: lit only at POS and WAY PT.
// ---------------------------------------------------------------------------------------------
enum class Lamp { North, South, East, West };

// Present position: latitude north positive, longitude EAST positive, in degrees.
bool lit_at_present_position(Lamp lamp) {
  switch (lamp) {
    case Lamp::North:
      return ins_state.present_lat_deg >= 0.0;
    case Lamp::South:
      return ins_state.present_lat_deg < 0.0;
    case Lamp::East:
      return ins_state.present_lon_deg >= 0.0;
    case Lamp::West:
      return ins_state.present_lon_deg < 0.0;
  }
  return false;
}

// TO waypoint as stored: longitude WEST positive, so 0 and above lights W.
bool lit_at_to_waypoint(Lamp lamp) {
  switch (lamp) {
    case Lamp::North:
      return ins_state.to_lat >= 0.0;
    case Lamp::South:
      return ins_state.to_lat < 0.0;
    case Lamp::East:
      return ins_state.to_lon < 0.0;
    case Lamp::West:
      return ins_state.to_lon >= 0.0;
  }
  return false;
}

// During entry the hemisphere keyed for the pair: N/E is tested first, S/W second and overrides
// it. With neither flag of the pair set nothing is decided and the window keeps its text.
std::optional<bool> lit_during_entry(Lamp lamp) {
  const bool latitude_pair = lamp == Lamp::North || lamp == Lamp::South;
  const uint8_t first = latitude_pair ? ins_state.entry_north : ins_state.entry_east;
  const uint8_t second = latitude_pair ? ins_state.entry_south : ins_state.entry_west;
  const bool lamp_is_second = lamp == Lamp::South || lamp == Lamp::West;
  if (second != 0) return lamp_is_second;
  if (first != 0) return !lamp_is_second;
  return std::nullopt;
}

std::optional<bool> lamp_lit(Lamp lamp) {
  switch (ins_state.data_selector) {
    case SELECTOR_POS:
      return lit_at_present_position(lamp);
    case SELECTOR_WAY_PT:
      if (ins_state.waypoint_entry_mode != 0) return lit_during_entry(lamp);
      return lit_at_to_waypoint(lamp);
    default:
      return false;
  }
}

bool compose_lamp(Lamp lamp, const char* letter, char* text, std::size_t size) {
  const std::optional<bool> lit = lamp_lit(lamp);
  if (!lit.has_value()) return false;
  return compose(text, size, "%1s", *lit ? letter : " ");
}

bool compose_n_lamp(char* text, std::size_t size) {
  return compose_lamp(Lamp::North, "N", text, size);
}
bool compose_s_lamp(char* text, std::size_t size) {
  return compose_lamp(Lamp::South, "S", text, size);
}
bool compose_e_lamp(char* text, std::size_t size) {
  return compose_lamp(Lamp::East, "E", text, size);
}
bool compose_w_lamp(char* text, std::size_t size) {
  return compose_lamp(Lamp::West, "W", text, size);
}

// ---------------------------------------------------------------------------------------------
// FROM and TO numbers: the same in every selector position.
// ---------------------------------------------------------------------------------------------
bool compose_from_number(char* text, std::size_t size) {
  return compose(text, size, "%02d", ins_state.from_waypoint);
}

bool compose_to_number(char* text, std::size_t size) {
  return compose(text, size, "%02d", ins_state.to_waypoint);
}

constexpr Window LEFT_DISPLAY_WINDOW = {LEFT_TEST_TEXT, DISPLAY_BLANK_TEXT, compose_left_display};
constexpr Window RIGHT_DISPLAY_WINDOW = {RIGHT_TEST_TEXT, DISPLAY_BLANK_TEXT,
                                         compose_right_display};
constexpr Window N_LAMP_WINDOW = {"N", LAMP_BLANK_TEXT, compose_n_lamp};
constexpr Window S_LAMP_WINDOW = {"S", LAMP_BLANK_TEXT, compose_s_lamp};
constexpr Window E_LAMP_WINDOW = {"E", LAMP_BLANK_TEXT, compose_e_lamp};
constexpr Window W_LAMP_WINDOW = {"W", LAMP_BLANK_TEXT, compose_w_lamp};
constexpr Window FROM_WINDOW = {NUMBER_TEST_TEXT, NUMBER_BLANK_TEXT, compose_from_number};
constexpr Window TO_WINDOW = {NUMBER_TEST_TEXT, NUMBER_BLANK_TEXT, compose_to_number};

}  // namespace

double GAUGE_CALLBACK right_display_text(ElementHeader* element) {
  return update_window(element, RIGHT_DISPLAY_WINDOW);
}
double GAUGE_CALLBACK left_display_text(ElementHeader* element) {
  return update_window(element, LEFT_DISPLAY_WINDOW);
}
double GAUGE_CALLBACK w_letter_text(ElementHeader* element) {
  return update_window(element, W_LAMP_WINDOW);
}
double GAUGE_CALLBACK e_letter_text(ElementHeader* element) {
  return update_window(element, E_LAMP_WINDOW);
}
double GAUGE_CALLBACK s_letter_text(ElementHeader* element) {
  return update_window(element, S_LAMP_WINDOW);
}
double GAUGE_CALLBACK n_letter_text(ElementHeader* element) {
  return update_window(element, N_LAMP_WINDOW);
}
double GAUGE_CALLBACK to_number_text(ElementHeader* element) {
  return update_window(element, TO_WINDOW);
}
double GAUGE_CALLBACK from_number_text(ElementHeader* element) {
  return update_window(element, FROM_WINDOW);
}
