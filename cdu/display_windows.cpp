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
// Each window's text is defined by a printf format (written beside its composer); the composers
// write the same text field by field through core/text_format.h, which the panel can afford on
// every frame. tests/unit/display_window_formats_test.cpp holds each composer to its format.
// A field whose text follows from a few numbers (its key) is composed only when they change;
// in between its last text is copied (KeptText below).
//
// Texts are single-byte: the degree sign is the byte 0xB0 of the display font's character set.
// In string literals "\xB0" is always followed by a character that is not a hex digit, or
// closes its literal, so that no digit after it is swallowed into the escape.
#include "cdu/display_windows.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>

#include "core/convert.h"
#include "core/text_format.h"
#include "state/ins_state.h"

namespace {

// A composer writes a window's text and returns true, or returns false when the window keeps
// its previous text. The text is the host's own buffer, so a composer that keeps the previous
// text decides so before it writes anything.
using Composer = bool (*)(BoundedText& text);

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

// What decides a field's text besides its composer: at most two numbers, taken from the INS
// state fields the composer reads (a value shown to a tenth by its key from fixed_point_key, so
// the key moves only when the shown tenth does). A KeyOf returns false when the field's text
// has no such key now (a value beyond the keyed range): the field is then composed every time.
struct FieldKey {
  uint64_t first = 0;
  uint64_t second = 0;
  bool operator==(const FieldKey&) const = default;
};
using KeyOf = bool (*)(FieldKey& key);

// A window's field: its composer and, for the fields whose text follows from a key, the key.
struct Field {
  Composer compose;
  KeyOf key_of;  // null: composed on every update
};

// The text a window's field composed last, with the composer, key and capacity it was composed
// for. The windows are drawn every frame and their values mostly move below the digit shown
// (or not at all), so while all three stay the same the kept text is copied into the host's
// buffer instead of being composed again: the buffer ends up byte for byte as a new composition
// would leave it. Kept by key, never cleared: a text can only be reused for the very key it was
// composed from.
struct KeptText {
  Composer composer = nullptr;  // null: nothing kept
  FieldKey key;
  std::size_t capacity = 0;
  std::size_t length = 0;
  char chars[COMPOSE_CAPACITY] = {};
};

struct Window {
  const char* test_text;
  const char* blank_text;
  Field field;                  // the window's one field, unless it has a table:
  const Field* selector_table;  // a display's field in each selector position
  KeptText* kept;
};

Field field_by_selector(const Field* table);

// Writes the field's text into `text`, from the kept text when the field's key is the one it
// was composed for. Returns false when the window keeps its previous text.
bool compose_field(BoundedText& text, const Field& field, KeptText& kept) {
  FieldKey key;
  if (field.key_of == nullptr || !field.key_of(key)) return field.compose(text);
  if (kept.composer != field.compose || !(kept.key == key) || kept.capacity != text.capacity) {
    BoundedText own = bounded_text(kept.chars, text.capacity);
    kept.composer = nullptr;
    if (!field.compose(own)) return false;
    kept.composer = field.compose;
    kept.key = key;
    kept.capacity = text.capacity;
    kept.length = own.length;
  }
  // The text and its terminator, as composing it into the buffer would have written them.
  std::memcpy(text.chars, kept.chars, kept.length + 1);
  text.length = kept.length;
  return true;
}

double update_window(ElementHeader* element, const Window& window) {
  if (element == nullptr) return 0.0;
  // The host keeps the result as the element's new value, so on successive updates the value
  // alternates 1, 0, 1, ...; it is taken from the value found on entry.
  const double result = element->current_value == 0.0 ? 1.0 : 0.0;
  // A host that lends no buffer, or one of size 0, gets nothing written.
  if (element->text_buffer == nullptr || element->text_buffer_size == 0) return result;
  BoundedText text{
      element->text_buffer,
      element->text_buffer_size < COMPOSE_CAPACITY ? element->text_buffer_size : COMPOSE_CAPACITY,
      0};
  bool written = true;
  if (ins_state.ins_powered == 0) {
    append_text(text, window.blank_text);
  } else if (ins_state.lamp_test_active != 0) {
    append_text(text, window.test_text);
  } else {
    const Field field =
        window.selector_table != nullptr ? field_by_selector(window.selector_table) : window.field;
    written = compose_field(text, field, *window.kept);
  }
  // Each character written brings its terminator; a text with none (a buffer of one byte)
  // still ends the buffer's previous text.
  if (written && text.length == 0) text.chars[0] = '\0';
  return result;
}

const char* side_with_blank(uint8_t left) {
  return left != 0 ? "L " : "R ";
}
const char* side(uint8_t left) {
  return left != 0 ? "L" : "R";
}

// A value in degrees to the tenth with " DEG": "%05.1f%4s".
bool compose_degrees(BoundedText& text, double degrees) {
  append_fixed(text, degrees, 5, 1, Padding::Zeros);
  append_text(text, " DEG");
  return true;
}

bool compose_track(BoundedText& text) {
  return compose_degrees(text, ins_state.track);
}

// "%6.1f%3s" with the ground speed and " KT".
bool compose_ground_speed(BoundedText& text) {
  append_fixed(text, ins_state.ground_speed_shown, 6, 1, Padding::Blanks);
  append_text(text, " KT");
  return true;
}

bool compose_heading(BoundedText& text) {
  return compose_degrees(text, static_cast<double>(ins_state.heading));
}

// "%2s%03d%4s" with the side, the drift angle and " DEG".
bool compose_drift_angle(BoundedText& text) {
  append_text(text, side_with_blank(ins_state.drift_left));
  append_decimal(text, ins_state.drift_angle, 3, Padding::Zeros);
  append_text(text, " DEG");
  return true;
}

// "%2s%7.2f%3s" with the side, the cross-track distance and " NM".
bool compose_cross_track(BoundedText& text) {
  append_text(text, side_with_blank(ins_state.cross_track_left));
  append_fixed(text, ins_state.cross_track_nm, 7, 2, Padding::Blanks);
  append_text(text, " NM");
  return true;
}

// "%1s%4.1f%4s" with the side, the track angle error and " DEG".
bool compose_track_error(BoundedText& text) {
  append_text(text, side(ins_state.track_error_left));
  append_fixed(text, ins_state.track_error, 4, 1, Padding::Blanks);
  append_text(text, " DEG");
  return true;
}

// A latitude: "%1s%02d\xB0%05.2f" with " ", the whole degrees and the minutes.
bool compose_latitude(BoundedText& text, int32_t whole_degrees, double minutes) {
  append_char(text, ' ');
  append_decimal(text, whole_degrees, 2, Padding::Zeros);
  append_char(text, '\xB0');
  append_fixed(text, minutes, 5, 2, Padding::Zeros);
  return true;
}

// A longitude: "%03d\xB0%05.2f" with the whole degrees and the minutes.
bool compose_longitude(BoundedText& text, int32_t whole_degrees, double minutes) {
  append_decimal(text, whole_degrees, 3, Padding::Zeros);
  append_char(text, '\xB0');
  append_fixed(text, minutes, 5, 2, Padding::Zeros);
  return true;
}

bool compose_present_latitude(BoundedText& text) {
  return compose_latitude(text, ins_state.present_lat_abs_whole, ins_state.present_lat_abs_minutes);
}

bool compose_present_longitude(BoundedText& text) {
  return compose_longitude(text, ins_state.present_lon_abs_whole,
                           ins_state.present_lon_abs_minutes);
}

// Waypoint entry echo. Each entry field shows its digit once keyed, a dash while still to come;
// a digit is written as "%1d" writes the digit truncated to a whole number (whole, even when a
// stray value has more than one figure).
void append_entry_field(BoundedText& text, double digit, bool keyed) {
  if (keyed) {
    append_decimal(text, truncate_to<int>(digit), 1, Padding::Blanks);
  } else {
    append_char(text, '-');
  }
}

// How many of a coordinate's digits show as keyed: before its hemisphere is chosen (`position`
// before `first_digit`) every digit shows, whatever it holds; after, those before `position`.
constexpr int LATITUDE_DIGITS = ENTRY_LON_HEMISPHERE - ENTRY_LAT_DEG_TENS;
constexpr int LONGITUDE_DIGITS = ENTRY_COMPLETE - ENTRY_LON_DEG_HUNDREDS;

int keyed_digits(int position, int first_digit, int digit_count) {
  return position < first_digit ? digit_count : position - first_digit;
}

// The digit fields of one coordinate with the degree sign before field `degree_sign_at` and the
// point before field `point_at`.
void append_entry_digits(BoundedText& text, const double* digits, int count, int keyed,
                         int degree_sign_at, int point_at) {
  for (int i = 0; i < count; ++i) {
    if (i == degree_sign_at) append_char(text, '\xB0');
    if (i == point_at) append_char(text, '.');
    append_entry_field(text, digits[i], i < keyed);
  }
}

// " %s%s\xB0%s%s.%s%s" with the six latitude fields.
bool compose_latitude_entry(BoundedText& text) {
  const int position = ins_state.entry_position;
  // While the longitude is keyed the left display keeps the full latitude it showed at 8.
  if (position >= ENTRY_LON_DEG_HUNDREDS) return false;
  const double digits[LATITUDE_DIGITS] = {
      ins_state.entry_lat_deg_tens,   ins_state.entry_lat_deg_units,
      ins_state.entry_lat_min_tens,   ins_state.entry_lat_min_units,
      ins_state.entry_lat_min_tenths, ins_state.entry_lat_min_hundredths};
  append_char(text, ' ');
  append_entry_digits(text, digits, LATITUDE_DIGITS,
                      keyed_digits(position, ENTRY_LAT_DEG_TENS, LATITUDE_DIGITS), 2, 4);
  return true;
}

// "%s%s%s\xB0%s%s.%s%s" with the seven longitude fields.
bool compose_longitude_entry(BoundedText& text) {
  const int position = ins_state.entry_position;
  // Past complete nothing more is keyed; the display keeps its text.
  if (position > ENTRY_COMPLETE) return false;
  const double digits[LONGITUDE_DIGITS] = {
      ins_state.entry_lon_deg_hundreds,  ins_state.entry_lon_deg_tens,
      ins_state.entry_lon_deg_units,     ins_state.entry_lon_min_tens,
      ins_state.entry_lon_min_units,     ins_state.entry_lon_min_tenths,
      ins_state.entry_lon_min_hundredths};
  append_entry_digits(text, digits, LONGITUDE_DIGITS,
                      keyed_digits(position, ENTRY_LON_DEG_HUNDREDS, LONGITUDE_DIGITS), 3, 5);
  return true;
}

// WAY PT shows the TO waypoint, or the digits being keyed while an entry is open.
bool compose_waypoint_latitude(BoundedText& text) {
  if (ins_state.waypoint_entry_mode != 0) return compose_latitude_entry(text);
  return compose_latitude(text, ins_state.to_lat_abs_whole, ins_state.to_lat_abs_minutes);
}

bool compose_waypoint_longitude(BoundedText& text) {
  if (ins_state.waypoint_entry_mode != 0) return compose_longitude_entry(text);
  return compose_longitude(text, ins_state.to_lon_abs_whole, ins_state.to_lon_abs_minutes);
}

// "%6.1f%3s" with the distance to go and " NM".
bool compose_distance(BoundedText& text) {
  append_fixed(text, ins_state.distance_to_go, 6, 1, Padding::Blanks);
  append_text(text, " NM");
  return true;
}

// "%02d%1s%02d%1s%1d%3s" with the hours, ":", the whole minutes, ".", the tenths and " ET".
bool compose_time_to_go(BoundedText& text) {
  append_decimal(text, ins_state.ttg_hours, 2, Padding::Zeros);
  append_char(text, ':');
  append_decimal(text, truncate_to<int>(ins_state.ttg_minutes), 2, Padding::Zeros);
  append_char(text, '.');
  append_decimal(text, ins_state.ttg_tenths, 1, Padding::Blanks);
  append_text(text, " ET");
  return true;
}

// "%2s%3d%4s" with two blanks, the wind direction and " DEG".
bool compose_wind_direction(BoundedText& text) {
  append_text(text, "  ");
  append_decimal(text, ins_state.wind_dir_shown, 3, Padding::Blanks);
  append_text(text, " DEG");
  return true;
}

// "%1s%3d%3s" with a blank, the wind speed and " KT".
bool compose_wind_speed(BoundedText& text) {
  append_char(text, ' ');
  append_decimal(text, ins_state.wind_speed_shown, 3, Padding::Blanks);
  append_text(text, " KT");
  return true;
}

bool compose_desired_track(BoundedText& text) {
  return compose_degrees(text, ins_state.desired_track);
}

// "%3s%01d" with three blanks and the status digit.
bool compose_align_status(BoundedText& text) {
  append_text(text, "   ");
  append_decimal(text, ins_state.align_status, 1, Padding::Zeros);
  return true;
}

// --- The keys of the fields above: exactly the state each composer reads, as it reads it.

uint64_t whole(int64_t value) {
  return static_cast<uint64_t>(value);
}

bool key_fixed(FieldKey& key, double value, int precision) {
  return fixed_point_key(value, precision, key.first);
}

bool key_track(FieldKey& key) {
  return key_fixed(key, ins_state.track, 1);
}
bool key_ground_speed(FieldKey& key) {
  return key_fixed(key, ins_state.ground_speed_shown, 1);
}
bool key_heading(FieldKey& key) {
  key.first = ins_state.heading;
  return true;
}
bool key_drift_angle(FieldKey& key) {
  key.first = whole(ins_state.drift_angle);
  key.second = ins_state.drift_left != 0 ? 1 : 0;
  return true;
}
bool key_cross_track(FieldKey& key) {
  key.second = ins_state.cross_track_left != 0 ? 1 : 0;
  return key_fixed(key, ins_state.cross_track_nm, 2);
}
bool key_track_error(FieldKey& key) {
  key.second = ins_state.track_error_left != 0 ? 1 : 0;
  return key_fixed(key, ins_state.track_error, 1);
}
bool key_position(FieldKey& key, int32_t whole_degrees, double minutes) {
  key.second = whole(whole_degrees);
  return key_fixed(key, minutes, 2);
}
bool key_present_latitude(FieldKey& key) {
  return key_position(key, ins_state.present_lat_abs_whole, ins_state.present_lat_abs_minutes);
}
bool key_present_longitude(FieldKey& key) {
  return key_position(key, ins_state.present_lon_abs_whole, ins_state.present_lon_abs_minutes);
}
// The entry echo is composed every time: it is shown only while a pilot keys an entry.
bool key_waypoint_latitude(FieldKey& key) {
  return ins_state.waypoint_entry_mode == 0 &&
         key_position(key, ins_state.to_lat_abs_whole, ins_state.to_lat_abs_minutes);
}
bool key_waypoint_longitude(FieldKey& key) {
  return ins_state.waypoint_entry_mode == 0 &&
         key_position(key, ins_state.to_lon_abs_whole, ins_state.to_lon_abs_minutes);
}
bool key_distance(FieldKey& key) {
  return key_fixed(key, ins_state.distance_to_go, 1);
}
bool key_time_to_go(FieldKey& key) {
  key.first = whole(ins_state.ttg_hours) | whole(ins_state.ttg_tenths) << 8;
  key.second = whole(truncate_to<int>(ins_state.ttg_minutes));
  return true;
}
bool key_wind_direction(FieldKey& key) {
  key.first = ins_state.wind_dir_shown;
  return true;
}
bool key_wind_speed(FieldKey& key) {
  key.first = whole(ins_state.wind_speed_shown);
  return true;
}
bool key_desired_track(FieldKey& key) {
  return key_fixed(key, ins_state.desired_track, 1);
}
bool key_align_status(FieldKey& key) {
  key.first = ins_state.align_status;
  return true;
}

// What each display shows in each selector position: the left display the first quantity of
// the legend, the right display the second.
constexpr Field LEFT_DISPLAY[] = {{compose_track, key_track},
                                  {compose_heading, key_heading},
                                  {compose_cross_track, key_cross_track},
                                  {compose_present_latitude, key_present_latitude},
                                  {compose_waypoint_latitude, key_waypoint_latitude},
                                  {compose_distance, key_distance},
                                  {compose_wind_direction, key_wind_direction},
                                  {compose_desired_track, key_desired_track}};
constexpr Field RIGHT_DISPLAY[] = {{compose_ground_speed, key_ground_speed},
                                   {compose_drift_angle, key_drift_angle},
                                   {compose_track_error, key_track_error},
                                   {compose_present_longitude, key_present_longitude},
                                   {compose_waypoint_longitude, key_waypoint_longitude},
                                   {compose_time_to_go, key_time_to_go},
                                   {compose_wind_speed, key_wind_speed},
                                   {compose_align_status, key_align_status}};
static_assert(std::size(LEFT_DISPLAY) == SELECTOR_POSITION_COUNT);
static_assert(std::size(RIGHT_DISPLAY) == SELECTOR_POSITION_COUNT);

bool compose_blank_display(BoundedText& text) {
  append_text(text, DISPLAY_BLANK_TEXT);
  return true;
}

// A selector value outside its eight positions cannot come from the knob's end stops; should
// one appear, the display is blanked rather than indexing past the table.
Field field_by_selector(const Field* table) {
  const int position = ins_state.data_selector;
  if (position < 0 || position >= SELECTOR_POSITION_COUNT) return {compose_blank_display, nullptr};
  return table[position];
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

// "%1s" with the letter or a blank.
bool compose_lamp(Lamp lamp, char letter, BoundedText& text) {
  const std::optional<bool> lit = lamp_lit(lamp);
  if (!lit.has_value()) return false;
  append_char(text, *lit ? letter : ' ');
  return true;
}

bool compose_n_lamp(BoundedText& text) {
  return compose_lamp(Lamp::North, 'N', text);
}
bool compose_s_lamp(BoundedText& text) {
  return compose_lamp(Lamp::South, 'S', text);
}
bool compose_e_lamp(BoundedText& text) {
  return compose_lamp(Lamp::East, 'E', text);
}
bool compose_w_lamp(BoundedText& text) {
  return compose_lamp(Lamp::West, 'W', text);
}

// ---------------------------------------------------------------------------------------------
// FROM and TO numbers: the same in every selector position.
// ---------------------------------------------------------------------------------------------
// "%02d" with the waypoint number.
bool compose_from_number(BoundedText& text) {
  append_decimal(text, ins_state.from_waypoint, 2, Padding::Zeros);
  return true;
}

bool compose_to_number(BoundedText& text) {
  append_decimal(text, ins_state.to_waypoint, 2, Padding::Zeros);
  return true;
}

bool key_from_number(FieldKey& key) {
  key.first = ins_state.from_waypoint;
  return true;
}
bool key_to_number(FieldKey& key) {
  key.first = ins_state.to_waypoint;
  return true;
}

enum WindowIndex { LEFT, RIGHT, N_LAMP, S_LAMP, E_LAMP, W_LAMP, FROM, TO, WINDOW_COUNT };
KeptText kept_texts[WINDOW_COUNT];

// The lamps' one-letter texts cost less to compose than to key.
constexpr Field NO_FIELD = {nullptr, nullptr};
constexpr Window LEFT_DISPLAY_WINDOW = {LEFT_TEST_TEXT, DISPLAY_BLANK_TEXT, NO_FIELD, LEFT_DISPLAY,
                                        &kept_texts[LEFT]};
constexpr Window RIGHT_DISPLAY_WINDOW = {RIGHT_TEST_TEXT, DISPLAY_BLANK_TEXT, NO_FIELD,
                                         RIGHT_DISPLAY, &kept_texts[RIGHT]};
constexpr Window N_LAMP_WINDOW = {
    "N", LAMP_BLANK_TEXT, {compose_n_lamp, nullptr}, nullptr, &kept_texts[N_LAMP]};
constexpr Window S_LAMP_WINDOW = {
    "S", LAMP_BLANK_TEXT, {compose_s_lamp, nullptr}, nullptr, &kept_texts[S_LAMP]};
constexpr Window E_LAMP_WINDOW = {
    "E", LAMP_BLANK_TEXT, {compose_e_lamp, nullptr}, nullptr, &kept_texts[E_LAMP]};
constexpr Window W_LAMP_WINDOW = {
    "W", LAMP_BLANK_TEXT, {compose_w_lamp, nullptr}, nullptr, &kept_texts[W_LAMP]};
constexpr Window FROM_WINDOW = {NUMBER_TEST_TEXT,
                                NUMBER_BLANK_TEXT,
                                {compose_from_number, key_from_number},
                                nullptr,
                                &kept_texts[FROM]};
constexpr Window TO_WINDOW = {NUMBER_TEST_TEXT,
                              NUMBER_BLANK_TEXT,
                              {compose_to_number, key_to_number},
                              nullptr,
                              &kept_texts[TO]};

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
