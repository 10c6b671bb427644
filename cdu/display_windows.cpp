// The CDU's eight text windows: the left and right displays, the four hemisphere lamp windows
// and the FROM and TO numbers. Each routine only reads the INS state and formats it; the
// navigation computer has already split coordinates into whole degrees and minutes, zeroed what
// must not show before alignment, and taken the sides of drift, cross-track and track error.
//
// Every routine runs the same frame (update_window): the result alternates with the element's
// value; without power the window is blank; during the lamp test it shows its test text;
// otherwise the data selector (and at WAY PT the waypoint entry) picks the field shown. A field
// may decline to rewrite, and the window then keeps the text of its previous update.
//
// Each window's text is defined by a printf format (written beside its writer); the writers
// write the same text field by field through core/text_format.h, which the panel can afford on
// every frame. tests/unit/display_window_formats_test.cpp holds each writer to its format.
// Most fields are kept by their inputs: the few numbers their text follows from (each as it is
// shown: a whole number, or a value to so many decimals) and a writer that sees nothing but
// those inputs. The key a field's kept text is compared by is made from the same inputs, so a
// kept text cannot go stale: whatever the text shows is in its key. The text is written only
// when the key changes; in between it is copied (KeptText below). The others (the waypoint
// entry's echo, the lamps' one letter) are written from the INS state on each update.
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

// Writes a window's text straight from the INS state and returns true, or returns false when
// the window keeps its previous text. The text is the host's own buffer, so a writer that keeps
// the previous text decides so before it writes anything.
using WriteFromState = bool (*)(BoundedText& text);

// Room for any text written here. A value far outside its range (a corrupt distance of 1e300)
// is cut here first; the host's own buffer, usually smaller, bounds the text again.
constexpr std::size_t TEXT_CAPACITY = 64;

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

// A number as a field shows it: a whole number, or a value to `precision` decimals. A whole
// number is marked by a precision no count of decimals can be: it is written as an integer
// (truncated), where a value to 0 decimals would be rounded.
constexpr int WHOLE_NUMBER_PRECISION = -1;
struct Shown {
  double value;
  int precision;
};

constexpr Shown whole_number(int64_t value) {
  return {static_cast<double>(value), WHOLE_NUMBER_PRECISION};
}
constexpr Shown to_decimals(double value, int precision) {
  return {value, precision};
}

// A field's inputs: the numbers its text follows from, as the field shows them.
template <int N>
struct Inputs {
  static constexpr int COUNT = N;
  Shown numbers[N];
};
using OneInput = Inputs<1>;
using TwoInputs = Inputs<2>;
using ThreeInputs = Inputs<3>;
constexpr int MAX_INPUTS = 3;

// A number's key: what decides how it is written, a whole number itself, a decimal value its
// sign and rounded magnitude (fixed_point_key). False when it has none (NaN, infinity, a huge
// value): its field is then written every time.
bool number_key(const Shown& shown, uint64_t& key) {
  if (shown.precision != WHOLE_NUMBER_PRECISION) {
    return fixed_point_key(shown.value, shown.precision, key);
  }
  key = static_cast<uint64_t>(static_cast<int64_t>(shown.value));
  return true;
}

// Writes a number as shown, at least `width` characters.
void append_shown(BoundedText& text, const Shown& shown, int width, Padding padding) {
  if (shown.precision == WHOLE_NUMBER_PRECISION) {
    append_decimal(text, static_cast<int64_t>(shown.value), width, padding);
  } else {
    append_fixed(text, shown.value, width, shown.precision, padding);
  }
}

// The text a window's field wrote last, with the field, the keys of its inputs and the capacity
// it was written for. The windows are drawn every frame and their values mostly move below the
// digit shown (or not at all), so while all three stay the same the kept text is copied into
// the host's buffer instead of being written again: the buffer ends up byte for byte as a new
// writing would leave it. Kept by key, never cleared: a text can only be reused for the very
// inputs it was written from.
struct KeptText {
  const void* field = nullptr;  // the field's own mark; null: nothing kept
  uint64_t keys[MAX_INPUTS] = {};
  std::size_t capacity = 0;
  std::size_t length = 0;
  char chars[TEXT_CAPACITY] = {};
};

// Shows one field in a window: writes the window's text and returns true, or returns false when
// the window keeps its previous text.
using ShowField = bool (*)(BoundedText& text, KeptText& kept);

// A field kept by its inputs: `read_inputs` reads them from the INS state, and `write` writes the
// text from them alone, so a text kept for the same inputs is the text `write` would write.
template <auto read_inputs, auto write>
bool field_kept_by_inputs(BoundedText& text, KeptText& kept) {
  // This field's own, for telling its kept text from another's. Writable on purpose: a linker
  // folding identical constants (identical-data folding, merged constants) may give two fields'
  // constant marks one address, and a window would then show one field's text for another's.
  static char mark;
  const auto inputs = read_inputs();
  constexpr int count = decltype(inputs)::COUNT;
  static_assert(count <= MAX_INPUTS);
  uint64_t keys[count];
  for (int i = 0; i < count; ++i) {
    if (!number_key(inputs.numbers[i], keys[i])) {
      write(text, inputs);
      return true;
    }
  }
  INS_INVARIANT(text.capacity <= TEXT_CAPACITY);
  bool same = kept.field == &mark && kept.capacity == text.capacity;
  for (int i = 0; same && i < count; ++i) same = kept.keys[i] == keys[i];
  if (!same) {
    BoundedText own = bounded_text(kept.chars, text.capacity);
    write(own, inputs);
    kept.field = &mark;
    std::memcpy(kept.keys, keys, sizeof keys);
    kept.capacity = text.capacity;
    kept.length = own.length;
  }
  // The text and its terminator, as writing it into the buffer would have left them.
  INS_INVARIANT(kept.length < kept.capacity);
  std::memcpy(text.chars, kept.chars, kept.length + 1);
  text.length = kept.length;
  return true;
}

// A field written from the state on every update: a text that is cheaper to write than to
// key, or one shown only while a pilot keys it.
template <WriteFromState write>
bool field_written_each_update(BoundedText& text, KeptText&) {
  return write(text);
}

template <auto read_inputs, auto write>
constexpr ShowField kept_by_inputs = &field_kept_by_inputs<read_inputs, write>;
template <WriteFromState write>
constexpr ShowField written_each_update = &field_written_each_update<write>;

struct Window {
  const char* test_text = nullptr;
  const char* blank_text = nullptr;
  ShowField field = nullptr;                  // the window's one field, unless it has a table:
  const ShowField* selector_table = nullptr;  // a display's field in each selector position
  ShowField entry_field = nullptr;            // a display's field at WAY PT while an entry is open
  KeptText* kept = nullptr;
};

ShowField field_by_selector(const Window& window);

double update_window(ElementHeader* element, const Window& window) {
  if (element == nullptr || element->kind != ELEMENT_STRING) return 0.0;
  TextElement& text_element = element_record<TextElement>(*element);
  // The host keeps the result as the element's value (its first source variable's), so on
  // successive updates the value alternates 1, 0, 1, ...; it is taken from the value on entry.
  const double result = text_element.sources[0].value == 0.0 ? 1.0 : 0.0;
  // Nothing is written before the host has lent a buffer. The host tells no buffer size but the
  // window's characters, so the text is cut at the window's width: a longer text (the
  // cross-track distance's twelve characters in the nine of the left window) would run past the
  // host's buffer.
  if (text_element.text_buffer == nullptr) return result;
  const std::size_t capacity = std::size_t{text_element.char_count} + 1;
  BoundedText text{text_element.text_buffer, capacity < TEXT_CAPACITY ? capacity : TEXT_CAPACITY,
                   0};
  bool written = true;
  if (ins_state.ins_powered == 0) {
    append_text(text, window.blank_text);
  } else if (ins_state.lamp_test_active != 0) {
    append_text(text, window.test_text);
  } else {
    const ShowField field =
        window.selector_table != nullptr ? field_by_selector(window) : window.field;
    written = field(text, *window.kept);
  }
  // Each character written brings its terminator; a text with none (a window of no characters)
  // still ends the buffer's previous text.
  if (written && text.length == 0) text.chars[0] = '\0';
  return result;
}

const char* side_with_blank(bool left) {
  return left ? "L " : "R ";
}
const char* side(bool left) {
  return left ? "L" : "R";
}

bool is_left(const Shown& side_flag) {
  return side_flag.value != 0.0;
}

// --- What each field shows, and how: its inputs, then the writer of its printf format.

OneInput one_number(Shown number) {
  return {{number}};
}

TwoInputs two_numbers(Shown first, Shown second) {
  return {{first, second}};
}

// A value in degrees to the tenth with " DEG": "%05.1f%4s".
void write_degrees(BoundedText& text, const OneInput& in) {
  append_shown(text, in.numbers[0], 5, Padding::Zeros);
  append_text(text, " DEG");
}

OneInput track_inputs() {
  return one_number(to_decimals(ins_state.track, 1));
}
OneInput heading_inputs() {
  return one_number(to_decimals(static_cast<double>(ins_state.heading), 1));
}
OneInput desired_track_inputs() {
  return one_number(to_decimals(ins_state.desired_track, 1));
}

// "%6.1f%3s" with the ground speed and " KT".
OneInput ground_speed_inputs() {
  return one_number(to_decimals(ins_state.ground_speed_shown, 1));
}
void write_ground_speed(BoundedText& text, const OneInput& in) {
  append_shown(text, in.numbers[0], 6, Padding::Blanks);
  append_text(text, " KT");
}

// "%2s%03d%4s" with the side, the drift angle and " DEG".
TwoInputs drift_angle_inputs() {
  return two_numbers(whole_number(ins_state.drift_left != 0), whole_number(ins_state.drift_angle));
}
void write_drift_angle(BoundedText& text, const TwoInputs& in) {
  append_text(text, side_with_blank(is_left(in.numbers[0])));
  append_shown(text, in.numbers[1], 3, Padding::Zeros);
  append_text(text, " DEG");
}

// "%2s%7.2f%3s" with the side, the cross-track distance and " NM".
TwoInputs cross_track_inputs() {
  return two_numbers(whole_number(ins_state.cross_track_left != 0),
                     to_decimals(ins_state.cross_track_nm, 2));
}
void write_cross_track(BoundedText& text, const TwoInputs& in) {
  append_text(text, side_with_blank(is_left(in.numbers[0])));
  append_shown(text, in.numbers[1], 7, Padding::Blanks);
  append_text(text, " NM");
}

// "%1s%4.1f%4s" with the side, the track angle error and " DEG".
TwoInputs track_error_inputs() {
  return two_numbers(whole_number(ins_state.track_error_left != 0),
                     to_decimals(ins_state.track_error, 1));
}
void write_track_error(BoundedText& text, const TwoInputs& in) {
  append_text(text, side(is_left(in.numbers[0])));
  append_shown(text, in.numbers[1], 4, Padding::Blanks);
  append_text(text, " DEG");
}

// A position's coordinate: its whole degrees and its minutes to the hundredth.
TwoInputs coordinate(int32_t whole_degrees, double minutes) {
  return two_numbers(whole_number(whole_degrees), to_decimals(minutes, 2));
}

// A latitude: "%1s%02d\xB0%05.2f" with " ", the whole degrees and the minutes.
void write_latitude(BoundedText& text, const TwoInputs& in) {
  append_char(text, ' ');
  append_shown(text, in.numbers[0], 2, Padding::Zeros);
  append_char(text, '\xB0');
  append_shown(text, in.numbers[1], 5, Padding::Zeros);
}

// A longitude: "%03d\xB0%05.2f" with the whole degrees and the minutes.
void write_longitude(BoundedText& text, const TwoInputs& in) {
  append_shown(text, in.numbers[0], 3, Padding::Zeros);
  append_char(text, '\xB0');
  append_shown(text, in.numbers[1], 5, Padding::Zeros);
}

TwoInputs present_latitude_inputs() {
  return coordinate(ins_state.present_lat_abs_whole, ins_state.present_lat_abs_minutes);
}
TwoInputs present_longitude_inputs() {
  return coordinate(ins_state.present_lon_abs_whole, ins_state.present_lon_abs_minutes);
}
// WAY PT shows the TO waypoint (or, while an entry is open, the digits being keyed).
TwoInputs waypoint_latitude_inputs() {
  return coordinate(ins_state.to_lat_abs_whole, ins_state.to_lat_abs_minutes);
}
TwoInputs waypoint_longitude_inputs() {
  return coordinate(ins_state.to_lon_abs_whole, ins_state.to_lon_abs_minutes);
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
bool write_latitude_entry(BoundedText& text) {
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
bool write_longitude_entry(BoundedText& text) {
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

// "%6.1f%3s" with the distance to go and " NM".
OneInput distance_inputs() {
  return one_number(to_decimals(ins_state.distance_to_go, 1));
}
void write_distance(BoundedText& text, const OneInput& in) {
  append_shown(text, in.numbers[0], 6, Padding::Blanks);
  append_text(text, " NM");
}

// "%02d%1s%02d%1s%1d%3s" with the hours, ":", the whole minutes, ".", the tenths and " ET".
ThreeInputs time_to_go_inputs() {
  return {{whole_number(ins_state.ttg_hours), whole_number(truncate_to<int>(ins_state.ttg_minutes)),
           whole_number(ins_state.ttg_tenths)}};
}
void write_time_to_go(BoundedText& text, const ThreeInputs& in) {
  append_shown(text, in.numbers[0], 2, Padding::Zeros);
  append_char(text, ':');
  append_shown(text, in.numbers[1], 2, Padding::Zeros);
  append_char(text, '.');
  append_shown(text, in.numbers[2], 1, Padding::Blanks);
  append_text(text, " ET");
}

// "%2s%3d%4s" with two blanks, the wind direction and " DEG".
OneInput wind_direction_inputs() {
  return one_number(whole_number(ins_state.wind_dir_shown));
}
void write_wind_direction(BoundedText& text, const OneInput& in) {
  append_text(text, "  ");
  append_shown(text, in.numbers[0], 3, Padding::Blanks);
  append_text(text, " DEG");
}

// "%1s%3d%3s" with a blank, the wind speed and " KT".
OneInput wind_speed_inputs() {
  return one_number(whole_number(ins_state.wind_speed_shown));
}
void write_wind_speed(BoundedText& text, const OneInput& in) {
  append_char(text, ' ');
  append_shown(text, in.numbers[0], 3, Padding::Blanks);
  append_text(text, " KT");
}

// "%3s%01d" with three blanks and the status digit.
OneInput align_status_inputs() {
  return one_number(whole_number(ins_state.align_status));
}
void write_align_status(BoundedText& text, const OneInput& in) {
  append_text(text, "   ");
  append_shown(text, in.numbers[0], 1, Padding::Zeros);
}

// What each display shows in each selector position: the left display the first quantity of
// the legend, the right display the second.
constexpr ShowField LEFT_DISPLAY[] = {kept_by_inputs<track_inputs, write_degrees>,
                                      kept_by_inputs<heading_inputs, write_degrees>,
                                      kept_by_inputs<cross_track_inputs, write_cross_track>,
                                      kept_by_inputs<present_latitude_inputs, write_latitude>,
                                      kept_by_inputs<waypoint_latitude_inputs, write_latitude>,
                                      kept_by_inputs<distance_inputs, write_distance>,
                                      kept_by_inputs<wind_direction_inputs, write_wind_direction>,
                                      kept_by_inputs<desired_track_inputs, write_degrees>};
constexpr ShowField RIGHT_DISPLAY[] = {kept_by_inputs<ground_speed_inputs, write_ground_speed>,
                                       kept_by_inputs<drift_angle_inputs, write_drift_angle>,
                                       kept_by_inputs<track_error_inputs, write_track_error>,
                                       kept_by_inputs<present_longitude_inputs, write_longitude>,
                                       kept_by_inputs<waypoint_longitude_inputs, write_longitude>,
                                       kept_by_inputs<time_to_go_inputs, write_time_to_go>,
                                       kept_by_inputs<wind_speed_inputs, write_wind_speed>,
                                       kept_by_inputs<align_status_inputs, write_align_status>};
static_assert(std::size(LEFT_DISPLAY) == SELECTOR_POSITION_COUNT);
static_assert(std::size(RIGHT_DISPLAY) == SELECTOR_POSITION_COUNT);

bool write_blank_display(BoundedText& text) {
  append_text(text, DISPLAY_BLANK_TEXT);
  return true;
}

// A selector value outside its eight positions cannot come from the knob's end stops; should
// one appear, the display is blanked rather than indexing past the table.
ShowField field_by_selector(const Window& window) {
  const int position = ins_state.data_selector;
  if (position < 0 || position >= SELECTOR_POSITION_COUNT)
    return written_each_update<write_blank_display>;
  if (position == SELECTOR_WAY_PT && ins_state.waypoint_entry_mode != 0) return window.entry_field;
  return window.selector_table[position];
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
bool write_lamp(Lamp lamp, char letter, BoundedText& text) {
  const std::optional<bool> lit = lamp_lit(lamp);
  if (!lit.has_value()) return false;
  append_char(text, *lit ? letter : ' ');
  return true;
}

bool write_n_lamp(BoundedText& text) {
  return write_lamp(Lamp::North, 'N', text);
}
bool write_s_lamp(BoundedText& text) {
  return write_lamp(Lamp::South, 'S', text);
}
bool write_e_lamp(BoundedText& text) {
  return write_lamp(Lamp::East, 'E', text);
}
bool write_w_lamp(BoundedText& text) {
  return write_lamp(Lamp::West, 'W', text);
}

// ---------------------------------------------------------------------------------------------
// FROM and TO numbers: the same in every selector position.
// ---------------------------------------------------------------------------------------------
// "%02d" with the waypoint number.
OneInput from_number_inputs() {
  return one_number(whole_number(ins_state.from_waypoint));
}
OneInput to_number_inputs() {
  return one_number(whole_number(ins_state.to_waypoint));
}
void write_number(BoundedText& text, const OneInput& in) {
  append_shown(text, in.numbers[0], 2, Padding::Zeros);
}

enum WindowIndex { LEFT, RIGHT, N_LAMP, S_LAMP, E_LAMP, W_LAMP, FROM, TO, WINDOW_COUNT };
KeptText kept_texts[WINDOW_COUNT];

// Each window shows its one `field`, or a display the field of its `selector_table` (and at WAY PT
// with an entry open its `entry_field`). The lamps' one-letter texts cost less to write than to
// key.
constexpr Window LEFT_DISPLAY_WINDOW = {.test_text = LEFT_TEST_TEXT,
                                        .blank_text = DISPLAY_BLANK_TEXT,
                                        .selector_table = LEFT_DISPLAY,
                                        .entry_field = written_each_update<write_latitude_entry>,
                                        .kept = &kept_texts[LEFT]};
constexpr Window RIGHT_DISPLAY_WINDOW = {.test_text = RIGHT_TEST_TEXT,
                                         .blank_text = DISPLAY_BLANK_TEXT,
                                         .selector_table = RIGHT_DISPLAY,
                                         .entry_field = written_each_update<write_longitude_entry>,
                                         .kept = &kept_texts[RIGHT]};
constexpr Window N_LAMP_WINDOW = {.test_text = "N",
                                  .blank_text = LAMP_BLANK_TEXT,
                                  .field = written_each_update<write_n_lamp>,
                                  .kept = &kept_texts[N_LAMP]};
constexpr Window S_LAMP_WINDOW = {.test_text = "S",
                                  .blank_text = LAMP_BLANK_TEXT,
                                  .field = written_each_update<write_s_lamp>,
                                  .kept = &kept_texts[S_LAMP]};
constexpr Window E_LAMP_WINDOW = {.test_text = "E",
                                  .blank_text = LAMP_BLANK_TEXT,
                                  .field = written_each_update<write_e_lamp>,
                                  .kept = &kept_texts[E_LAMP]};
constexpr Window W_LAMP_WINDOW = {.test_text = "W",
                                  .blank_text = LAMP_BLANK_TEXT,
                                  .field = written_each_update<write_w_lamp>,
                                  .kept = &kept_texts[W_LAMP]};
constexpr Window FROM_WINDOW = {.test_text = NUMBER_TEST_TEXT,
                                .blank_text = NUMBER_BLANK_TEXT,
                                .field = kept_by_inputs<from_number_inputs, write_number>,
                                .kept = &kept_texts[FROM]};
constexpr Window TO_WINDOW = {.test_text = NUMBER_TEST_TEXT,
                              .blank_text = NUMBER_BLANK_TEXT,
                              .field = kept_by_inputs<to_number_inputs, write_number>,
                              .kept = &kept_texts[TO]};

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
