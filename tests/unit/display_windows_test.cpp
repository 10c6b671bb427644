// The CDU's eight text windows: the texts of every data-selector position, the lamp test, no
// power, the waypoint entry echo, the hemisphere lamps, the alternating result, and that no
// write ever goes past the buffer the host lends.
//
// Expected texts are written out by hand from the window formats. They are typed here in UTF-8
// for reading and turned into the display's single-byte form by `latin1`, which replaces the
// two-byte degree sign with the byte 0xB0.
#include "cdu/display_windows.h"

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "state/gauge_elements.h"
#include "tests/unit/test_support.h"

namespace {

using test_support::ModuleTest;

std::string latin1(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (static_cast<unsigned char>(utf8[i]) == 0xC2 && i + 1 < utf8.size() &&
        static_cast<unsigned char>(utf8[i + 1]) == 0xB0) {
      out += '\xB0';
      ++i;
    } else {
      out += utf8[i];
    }
  }
  return out;
}

constexpr char SENTINEL = 'Z';  // no window text ever holds this letter
constexpr std::size_t STORAGE = 64;

// One text element of `size` - 1 characters with its host buffer of `size` bytes (the
// characters and the terminator, as the host lends it), followed by sentinel bytes up to the end
// of the storage. The buffer keeps its text from one update to the next, as the host's does.
struct TextWindow {
  ElementRoutine routine;
  uint32_t size;
  std::array<char, STORAGE> storage{};
  TextElement element{};

  explicit TextWindow(ElementRoutine r, uint32_t buffer_size = 32) : routine(r), size(buffer_size) {
    storage.fill(SENTINEL);
    storage[0] = '\0';
    element.header.kind = ELEMENT_STRING;
    element.text_buffer = storage.data();
    element.char_count = static_cast<uint16_t>(size - 1);
  }

  // One host update: the routine runs and the host stores the result back as the value (the
  // first source variable's).
  double update() {
    const double result = routine(&element.header);
    element.sources[0].value = result;
    return result;
  }

  void set_text(const std::string& text) {
    ASSERT_LT(text.size(), size);
    std::memcpy(storage.data(), text.c_str(), text.size() + 1);
  }

  std::string text() const {
    const void* end = std::memchr(storage.data(), '\0', size);
    EXPECT_NE(end, nullptr) << "no terminator inside the buffer";
    if (end == nullptr) return std::string(storage.data(), size);
    return std::string(storage.data());
  }

  bool untouched_past_buffer() const {
    for (std::size_t i = size; i < STORAGE; ++i) {
      if (storage[i] != SENTINEL) return false;
    }
    return true;
  }
};

struct NamedRoutine {
  const char* name;
  ElementRoutine routine;
};

const NamedRoutine ALL_WINDOWS[] = {{"right display", right_display_text},
                                    {"left display", left_display_text},
                                    {"W lamp", w_letter_text},
                                    {"E lamp", e_letter_text},
                                    {"S lamp", s_letter_text},
                                    {"N lamp", n_letter_text},
                                    {"TO number", to_number_text},
                                    {"FROM number", from_number_text}};

class DisplayWindowsTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    ins_state.ins_powered = 1;
  }

  // The text a window shows after one update of a fresh element with a roomy buffer.
  static std::string show(ElementRoutine routine) {
    TextWindow window(routine);
    window.update();
    EXPECT_TRUE(window.untouched_past_buffer());
    return window.text();
  }

  static void select(int position) { ins_state.data_selector = static_cast<int8_t>(position); }
};

// ---------------------------------------------------------------------------------------------
// Selector positions.
// ---------------------------------------------------------------------------------------------

// What the two displays show in one selector position: the inputs set in the INS state, and the
// left and right texts (UTF-8, the degree sign as °).
struct SelectorCase {
  const char* what;
  int position;
  void (*set)(InsState& s);
  const char* left;
  const char* right;
};

const SelectorCase SELECTOR_CASES[] = {
    {"track and ground speed", 0,
     [](InsState& s) {
       s.track = 93.44;
       s.ground_speed_shown = 452.0;
     },
     "093.4 DEG", " 452.0 KT"},
    // Zero padded to five characters, rounded to a tenth; at or below 40 kt the navigation
    // computer shows a ground speed of 0.
    {"small track, no ground speed", 0,
     [](InsState& s) {
       s.track = 5.06;
       s.ground_speed_shown = 0.0;
     },
     "005.1 DEG", "   0.0 KT"},
    {"heading, drift right", 1,
     [](InsState& s) {
       s.heading = 95;
       s.drift_angle = 3;
       s.drift_left = 0;
     },
     "095.0 DEG", "R 003 DEG"},
    {"heading before the INS is ready, drift left", 1,
     [](InsState& s) {
       s.heading = 0;
       s.drift_angle = 12;
       s.drift_left = 1;
     },
     "000.0 DEG", "L 012 DEG"},
    {"largest heading and drift", 1,
     [](InsState& s) {
       s.heading = 359;
       s.drift_angle = 180;
       s.drift_left = 1;
     },
     "359.0 DEG", "L 180 DEG"},
    // The cross-track distance is 12 characters, written whole.
    {"cross-track and track error right", 2,
     [](InsState& s) {
       s.cross_track_nm = 1.5;
       s.cross_track_left = 0;
       s.track_error = 2.5;
       s.track_error_left = 0;
     },
     "R    1.50 NM", "R 2.5 DEG"},
    {"cross-track and track error left", 2,
     [](InsState& s) {
       s.cross_track_nm = 37.256;
       s.cross_track_left = 1;
       s.track_error = 12.34;
       s.track_error_left = 1;
     },
     "L   37.26 NM", "L12.3 DEG"},
    {"present position", 3,
     [](InsState& s) {
       s.present_lat_abs_whole = 47;
       s.present_lat_abs_minutes = 27.35;
       s.present_lon_abs_whole = 122;
       s.present_lon_abs_minutes = 18.52;
     },
     " 47°27.35", "122°18.52"},
    {"present position zero padded", 3,
     [](InsState& s) {
       s.present_lat_abs_whole = 5;
       s.present_lat_abs_minutes = 3.5;
       s.present_lon_abs_whole = 7;
       s.present_lon_abs_minutes = 0.0;
     },
     " 05°03.50", "007°00.00"},
    {"TO waypoint outside an entry", 4,
     [](InsState& s) {
       s.waypoint_entry_mode = 0;
       s.to_lat_abs_whole = 33;
       s.to_lat_abs_minutes = 0.0;
       s.to_lon_abs_whole = 1;
       s.to_lon_abs_minutes = 59.99;
     },
     " 33°00.00", "001°59.99"},
    {"distance and time to go", 5,
     [](InsState& s) {
       s.distance_to_go = 123.44;
       s.ttg_hours = 0;
       s.ttg_minutes = 17.0;
       s.ttg_tenths = 5;
     },
     " 123.4 NM", "00:17.5 ET"},
    // Whole minutes by truncation, not rounding.
    {"no distance, hours to go", 5,
     [](InsState& s) {
       s.distance_to_go = 0.0;
       s.ttg_hours = 12;
       s.ttg_minutes = 3.9;
       s.ttg_tenths = 0;
     },
     "   0.0 NM", "12:03.0 ET"},
    {"wind", 6,
     [](InsState& s) {
       s.wind_dir_shown = 270;
       s.wind_speed_shown = 25;
     },
     "  270 DEG", "  25 KT"},
    {"wind of one-digit direction, three-digit speed", 6,
     [](InsState& s) {
       s.wind_dir_shown = 5;
       s.wind_speed_shown = 130;
     },
     "    5 DEG", " 130 KT"},
    {"desired track and alignment status", 7,
     [](InsState& s) {
       s.desired_track = 93.0;
       s.align_status = 5;
     },
     "093.0 DEG", "   5"},
};

TEST_F(DisplayWindowsTest, EachSelectorPositionShowsItsTwoQuantities) {
  for (const SelectorCase& c : SELECTOR_CASES) {
    SCOPED_TRACE(std::string(c.what) + ", selector " + std::to_string(c.position));
    select(c.position);
    c.set(ins_state);
    EXPECT_EQ(show(left_display_text), latin1(c.left));
    EXPECT_EQ(show(right_display_text), latin1(c.right));
  }
}

TEST_F(DisplayWindowsTest, DegreeSignIsTheSingleByteB0) {
  select(3);
  const std::string text = show(right_display_text);
  ASSERT_EQ(text.size(), 9u);
  EXPECT_EQ(static_cast<unsigned char>(text[3]), 0xB0);
}

TEST_F(DisplayWindowsTest, AlignmentStatusShowsEachDigit) {
  select(7);
  for (int status = 9; status >= 1; --status) {
    ins_state.align_status = static_cast<uint8_t>(status);
    EXPECT_EQ(show(right_display_text), "   " + std::to_string(status));
  }
}

TEST_F(DisplayWindowsTest, FromAndToNumbersInEverySelectorPosition) {
  const struct {
    uint8_t number;
    const char* text;
  } cases[] = {{0, "00"}, {7, "07"}, {42, "42"}, {99, "99"}};
  for (int position = 0; position < 8; ++position) {
    select(position);
    for (const auto& c : cases) {
      ins_state.from_waypoint = c.number;
      ins_state.to_waypoint = static_cast<uint8_t>(99 - c.number);
      EXPECT_EQ(show(from_number_text), c.text) << "position " << position;
      const std::string to_text = std::to_string(99 - c.number);
      EXPECT_EQ(show(to_number_text), to_text.size() == 1 ? "0" + to_text : to_text);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Lamp test and no power override everything.
// ---------------------------------------------------------------------------------------------

struct OverrideCase {
  int selector;
  uint8_t entry_mode;
  int8_t entry_position;
};

const OverrideCase OVERRIDE_CASES[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0},  {3, 0, 0},
                                       {4, 0, 0}, {5, 0, 0}, {6, 0, 0},  {7, 0, 0},
                                       {4, 1, 1}, {4, 1, 5}, {4, 1, 12}, {4, 1, 17}};

TEST_F(DisplayWindowsTest, LampTestTextsInEverySelectorPositionAndDuringEntry) {
  ins_state.lamp_test_active = 1;
  ins_state.entry_south = 1;
  ins_state.present_lat_deg = -10.0;
  for (const OverrideCase& c : OVERRIDE_CASES) {
    select(c.selector);
    ins_state.waypoint_entry_mode = c.entry_mode;
    ins_state.entry_position = c.entry_position;
    SCOPED_TRACE("selector " + std::to_string(c.selector) + " entry position " +
                 std::to_string(c.entry_position));
    EXPECT_EQ(show(left_display_text), latin1(" 88°88.88"));
    EXPECT_EQ(show(right_display_text), latin1("888°88.88"));
    EXPECT_EQ(show(n_letter_text), "N");
    EXPECT_EQ(show(s_letter_text), "S");
    EXPECT_EQ(show(e_letter_text), "E");
    EXPECT_EQ(show(w_letter_text), "W");
    EXPECT_EQ(show(from_number_text), "88");
    EXPECT_EQ(show(to_number_text), "88");
  }
}

TEST_F(DisplayWindowsTest, WithoutPowerEveryWindowIsBlankWhateverElseHolds) {
  ins_state.ins_powered = 0;
  ins_state.to_waypoint = 12;
  ins_state.from_waypoint = 11;
  ins_state.entry_north = 1;
  for (uint8_t lamp_test : {uint8_t{0}, uint8_t{1}}) {
    ins_state.lamp_test_active = lamp_test;
    for (const OverrideCase& c : OVERRIDE_CASES) {
      select(c.selector);
      ins_state.waypoint_entry_mode = c.entry_mode;
      ins_state.entry_position = c.entry_position;
      SCOPED_TRACE("selector " + std::to_string(c.selector) + " lamp test " +
                   std::to_string(lamp_test));
      // A window that showed something before is blanked, not left as it was.
      for (const NamedRoutine& w : ALL_WINDOWS) {
        TextWindow window(w.routine);
        window.set_text("88");
        window.update();
        const bool display = w.routine == left_display_text || w.routine == right_display_text;
        const bool number = w.routine == to_number_text || w.routine == from_number_text;
        const std::string blank = display ? "         " : number ? "  " : " ";
        EXPECT_EQ(window.text(), blank) << w.name;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The result alternates with the value the host stores back.
// ---------------------------------------------------------------------------------------------

TEST_F(DisplayWindowsTest, ResultAlternatesOnSuccessiveUpdatesInEveryState) {
  const auto check = [](const char* state) {
    for (const NamedRoutine& w : ALL_WINDOWS) {
      TextWindow window(w.routine);
      std::vector<double> results;
      for (int i = 0; i < 4; ++i) results.push_back(window.update());
      EXPECT_EQ(results, (std::vector<double>{1.0, 0.0, 1.0, 0.0})) << w.name << ", " << state;
      window.element.sources[0].value = 0.25;  // anything but 0.0 gives 0.0
      EXPECT_EQ(window.update(), 0.0) << w.name << ", " << state;
    }
  };
  check("powered");
  ins_state.lamp_test_active = 1;
  check("lamp test");
  ins_state.ins_powered = 0;
  check("no power");
  // A window that keeps its text still answers.
  ins_state.ins_powered = 1;
  ins_state.lamp_test_active = 0;
  select(4);
  ins_state.waypoint_entry_mode = 1;
  ins_state.entry_position = 17;
  check("not rewritten");
}

// ---------------------------------------------------------------------------------------------
// Waypoint entry echo.
// ---------------------------------------------------------------------------------------------

class EntryEchoTest : public DisplayWindowsTest {
 protected:
  void SetUp() override {
    DisplayWindowsTest::SetUp();
    select(4);
    ins_state.waypoint_entry_mode = 1;
    // 47°27.35 and 122°18.52 as keyed digits.
    ins_state.entry_lat_deg_tens = 4;
    ins_state.entry_lat_deg_units = 7;
    ins_state.entry_lat_min_tens = 2;
    ins_state.entry_lat_min_units = 7;
    ins_state.entry_lat_min_tenths = 3;
    ins_state.entry_lat_min_hundredths = 5;
    ins_state.entry_lon_deg_hundreds = 1;
    ins_state.entry_lon_deg_tens = 2;
    ins_state.entry_lon_deg_units = 2;
    ins_state.entry_lon_min_tens = 1;
    ins_state.entry_lon_min_units = 8;
    ins_state.entry_lon_min_tenths = 5;
    ins_state.entry_lon_min_hundredths = 2;
  }
};

// An empty expected text means the window keeps what it showed before.
struct EchoCase {
  int8_t position;
  const char* left;
  const char* right;
};

TEST_F(EntryEchoTest, DisplaysFollowTheEntryPosition) {
  const EchoCase cases[] = {
      {0, " 47°27.35", "122°18.52"}, {1, " 47°27.35", "122°18.52"}, {2, " --°--.--", "122°18.52"},
      {3, " 4-°--.--", "122°18.52"}, {4, " 47°--.--", "122°18.52"}, {5, " 47°2-.--", "122°18.52"},
      {6, " 47°27.--", "122°18.52"}, {7, " 47°27.3-", "122°18.52"}, {8, " 47°27.35", "122°18.52"},
      {9, "", "---°--.--"},          {10, "", "1--°--.--"},         {11, "", "12-°--.--"},
      {12, "", "122°--.--"},         {13, "", "122°1-.--"},         {14, "", "122°18.--"},
      {15, "", "122°18.5-"},         {16, "", "122°18.52"},         {17, "", ""},
  };
  for (const EchoCase& c : cases) {
    ins_state.entry_position = c.position;
    SCOPED_TRACE("entry position " + std::to_string(c.position));
    TextWindow left(left_display_text);
    TextWindow right(right_display_text);
    left.set_text("previous");
    right.set_text("previous");
    left.update();
    right.update();
    EXPECT_EQ(left.text(), *c.left ? latin1(c.left) : "previous");
    EXPECT_EQ(right.text(), *c.right ? latin1(c.right) : "previous");
  }
}

TEST_F(EntryEchoTest, LatitudeStaysWhileTheLongitudeIsKeyed) {
  TextWindow left(left_display_text);
  for (int8_t position = 2; position <= 17; ++position) {
    ins_state.entry_position = position;
    left.update();
  }
  EXPECT_EQ(left.text(), latin1(" 47°27.35"));
}

TEST_F(EntryEchoTest, InitialDigitsMatchTheTestTexts) {
  ins_state.entry_lat_deg_tens = ins_state.entry_lat_deg_units = 8;
  ins_state.entry_lat_min_tens = ins_state.entry_lat_min_units = 8;
  ins_state.entry_lat_min_tenths = ins_state.entry_lat_min_hundredths = 8;
  ins_state.entry_lon_deg_hundreds = ins_state.entry_lon_deg_tens = 8;
  ins_state.entry_lon_deg_units = ins_state.entry_lon_min_tens = 8;
  ins_state.entry_lon_min_units = ins_state.entry_lon_min_tenths = 8;
  ins_state.entry_lon_min_hundredths = 8;
  ins_state.entry_position = 1;
  EXPECT_EQ(show(left_display_text), latin1(" 88°88.88"));
  EXPECT_EQ(show(right_display_text), latin1("888°88.88"));
}

TEST_F(EntryEchoTest, DigitsAreTruncatedToWholeNumbers) {
  ins_state.entry_lat_min_hundredths = 5.97;  // the hundredths may hold a fraction
  ins_state.entry_lon_min_hundredths = 2.999;
  ins_state.entry_position = 8;
  EXPECT_EQ(show(left_display_text), latin1(" 47°27.35"));
  ins_state.entry_position = 16;
  EXPECT_EQ(show(right_display_text), latin1("122°18.52"));
}

// ---------------------------------------------------------------------------------------------
// Hemisphere lamps.
// ---------------------------------------------------------------------------------------------

struct LampCase {
  double lat;
  double lon;
  const char* n;
  const char* s;
  const char* e;
  const char* w;
};

std::string lamps() {
  TextWindow n(n_letter_text), s(s_letter_text), e(e_letter_text), w(w_letter_text);
  n.update();
  s.update();
  e.update();
  w.update();
  return n.text() + s.text() + e.text() + w.text();
}

TEST_F(DisplayWindowsTest, PresentPositionLampsInAllQuadrantsAndOnTheZeroLines) {
  select(3);
  // present_lon_deg is east positive.
  const LampCase cases[] = {
      {47.45, -122.3, "N", " ", " ", "W"},  // north-west
      {48.85, 2.35, "N", " ", "E", " "},    // north-east
      {-33.87, 151.2, " ", "S", "E", " "},  // south-east
      {-22.9, -43.2, " ", "S", " ", "W"},   // south-west
      {-33.0, 18.4, " ", "S", "E", " "},    // whole degrees south, minutes 0
      {0.0, -78.5, "N", " ", " ", "W"},     // on the equator
      {51.48, 0.0, "N", " ", "E", " "},     // on the prime meridian
      {0.0, 0.0, "N", " ", "E", " "},
  };
  for (const LampCase& c : cases) {
    ins_state.present_lat_deg = c.lat;
    ins_state.present_lon_deg = c.lon;
    EXPECT_EQ(lamps(), std::string(c.n) + c.s + c.e + c.w) << c.lat << ", " << c.lon;
  }
}

TEST_F(DisplayWindowsTest, WaypointLampsReadTheStoredWestPositiveLongitude) {
  select(4);
  const LampCase cases[] = {
      {0.83, 2.13, "N", " ", " ", "W"},   // stored west positive: west
      {0.85, -0.04, "N", " ", "E", " "},  // negative: east
      {-0.59, -2.64, " ", "S", "E", " "}, {-0.4, 0.75, " ", "S", " ", "W"},
      {0.0, 0.0, "N", " ", " ", "W"},  // 0 lights N and W
  };
  for (const LampCase& c : cases) {
    ins_state.to_lat = c.lat;
    ins_state.to_lon = c.lon;
    EXPECT_EQ(lamps(), std::string(c.n) + c.s + c.e + c.w) << c.lat << ", " << c.lon;
  }
}

TEST_F(DisplayWindowsTest, LampsAreDarkInTheOtherPositions) {
  ins_state.present_lat_deg = 47.0;
  ins_state.present_lon_deg = -122.0;
  ins_state.to_lat = -0.5;
  ins_state.to_lon = 0.5;
  ins_state.entry_north = 1;
  ins_state.entry_west = 1;
  for (int position : {0, 1, 2, 5, 6, 7}) {
    select(position);
    for (uint8_t entry : {uint8_t{0}, uint8_t{1}}) {
      ins_state.waypoint_entry_mode = entry;
      EXPECT_EQ(lamps(), "    ") << "position " << position;
    }
  }
}

TEST_F(DisplayWindowsTest, EntryLampsFollowTheKeyedHemisphereAndKeepTheirTextWithoutOne) {
  select(4);
  ins_state.waypoint_entry_mode = 1;
  ins_state.to_lat = 0.8;  // the TO waypoint must not show through during entry
  ins_state.to_lon = 2.1;
  const struct {
    uint8_t north, south, east, west;
    const char* expected;  // N S E W; '#' marks a window that keeps its previous text
  } cases[] = {
      {1, 0, 0, 1, "N  W"}, {0, 1, 1, 0, " SE "}, {1, 0, 1, 0, "N E "},
      {0, 1, 0, 1, " S W"}, {1, 1, 1, 1, " S W"},  // the S/W test comes second and wins
      {0, 0, 0, 0, "####"}, {1, 0, 0, 0, "N ##"}, {0, 0, 0, 1, "## W"},
  };
  for (const auto& c : cases) {
    ins_state.entry_north = c.north;
    ins_state.entry_south = c.south;
    ins_state.entry_east = c.east;
    ins_state.entry_west = c.west;
    TextWindow n(n_letter_text), s(s_letter_text), e(e_letter_text), w(w_letter_text);
    std::string shown;
    for (TextWindow* window : {&n, &s, &e, &w}) {
      window->set_text("#");
      window->update();
      shown += window->text();
    }
    EXPECT_EQ(shown, c.expected) << int{c.north} << int{c.south} << int{c.east} << int{c.west};
  }
}

// ---------------------------------------------------------------------------------------------
// Values outside their usual range and selector values the knob cannot give.
// ---------------------------------------------------------------------------------------------

TEST_F(DisplayWindowsTest, OutOfRangeValuesAreFormattedUnchanged) {
  select(5);
  ins_state.distance_to_go = 10800.0;
  EXPECT_EQ(show(left_display_text), "10800.0 NM");  // 10 characters in a 9-character window

  select(2);
  ins_state.track_error = 123.4;
  ins_state.track_error_left = 1;
  EXPECT_EQ(show(right_display_text), "L123.4 DEG");
  ins_state.cross_track_nm = 10800.0;
  ins_state.cross_track_left = 0;
  EXPECT_EQ(show(left_display_text), "R 10800.00 NM");

  select(4);
  ins_state.waypoint_entry_mode = 1;
  ins_state.entry_position = 8;
  ins_state.entry_lat_deg_tens = 12;  // not a digit: written whole, as "%1d" does
  ins_state.entry_lat_deg_units = -3;
  ins_state.entry_lat_min_tens = ins_state.entry_lat_min_units = 0;
  ins_state.entry_lat_min_tenths = ins_state.entry_lat_min_hundredths = 0;
  EXPECT_EQ(show(left_display_text), latin1(" 12-3°00.00"));
}

TEST_F(DisplayWindowsTest, LongTextsAreCutAtTheWindow) {
  // The cross-track text reaches 13 characters from 1000 nautical miles on; a window of 12
  // characters (a buffer of 13 bytes) holds 12 of them and the terminator.
  select(2);
  ins_state.cross_track_nm = 10800.0;
  ins_state.cross_track_left = 1;
  TextWindow window(left_display_text, 13);
  window.update();
  EXPECT_EQ(window.text(), "L 10800.00 N");
  EXPECT_TRUE(window.untouched_past_buffer());

  // A corrupt distance far beyond any buffer.
  select(5);
  ins_state.distance_to_go = 1e300;
  TextWindow huge(left_display_text, 13);
  huge.update();
  EXPECT_EQ(huge.text(), "100000000000");
  EXPECT_TRUE(huge.untouched_past_buffer());
}

TEST_F(DisplayWindowsTest, ASelectorValueOutsideTheKnobBlanksTheDisplaysAndLamps) {
  ins_state.present_lat_deg = 10.0;
  for (int position : {-1, 8, 127}) {
    select(position);
    EXPECT_EQ(show(left_display_text), "         ");
    EXPECT_EQ(show(right_display_text), "         ");
    EXPECT_EQ(lamps(), "    ");
  }
}

// ---------------------------------------------------------------------------------------------
// Texts kept between frames.
// ---------------------------------------------------------------------------------------------

// A window composes a field again only when what its text follows from changes, and copies its
// last text otherwise. Each case sets a field's inputs, changes one of them and sets them back,
// on the same element (whose buffer keeps the old text, as the host's does): the window must
// follow every change, including a value moving by less than the digit shown across a rounding
// edge, a side, a sign, and the entry echo taking over the waypoint window.
struct KeptTextCase {
  const char* name;
  int selector;
  ElementRoutine routine;
  std::function<void()> set_first;
  const char* first;
  std::function<void()> set_second;
  const char* second;
};

TEST_F(DisplayWindowsTest, AKeptTextFollowsEveryChangeOfWhatItShows) {
  InsState& s = ins_state;
  const KeptTextCase cases[] = {
      {"track across a tenth", 0, left_display_text, [&] { s.track = 123.449; }, "123.4 DEG",
       [&] { s.track = 123.451; }, "123.5 DEG"},
      {"ground speed", 0, right_display_text, [&] { s.ground_speed_shown = 480.0; }, " 480.0 KT",
       [&] { s.ground_speed_shown = 480.06; }, " 480.1 KT"},
      {"heading", 1, left_display_text, [&] { s.heading = 90; }, "090.0 DEG",
       [&] { s.heading = 91; }, "091.0 DEG"},
      {"drift angle", 1, right_display_text, [&] { s.drift_angle = 5, s.drift_left = 1; },
       "L 005 DEG", [&] { s.drift_angle = 6; }, "L 006 DEG"},
      {"drift side", 1, right_display_text, [&] { s.drift_angle = 6, s.drift_left = 1; },
       "L 006 DEG", [&] { s.drift_left = 0; }, "R 006 DEG"},
      {"cross-track distance", 2, left_display_text,
       [&] { s.cross_track_nm = 1.234, s.cross_track_left = 1; }, "L    1.23 NM",
       [&] { s.cross_track_nm = 1.236; }, "L    1.24 NM"},
      {"cross-track side", 2, left_display_text,
       [&] { s.cross_track_nm = 1.236, s.cross_track_left = 1; }, "L    1.24 NM",
       [&] { s.cross_track_left = 0; }, "R    1.24 NM"},
      {"track error", 2, right_display_text, [&] { s.track_error = 2.0, s.track_error_left = 1; },
       "L 2.0 DEG", [&] { s.track_error = 2.05000001; }, "L 2.1 DEG"},
      {"track error side", 2, right_display_text,
       [&] { s.track_error = 2.05000001, s.track_error_left = 1; }, "L 2.1 DEG",
       [&] { s.track_error_left = 0; }, "R 2.1 DEG"},
      {"present latitude degrees", 3, left_display_text,
       [&] { s.present_lat_abs_whole = 52, s.present_lat_abs_minutes = 10.5; }, " 52°10.50",
       [&] { s.present_lat_abs_whole = 53; }, " 53°10.50"},
      {"present latitude minutes", 3, left_display_text,
       [&] { s.present_lat_abs_whole = 53, s.present_lat_abs_minutes = 10.5; }, " 53°10.50",
       [&] { s.present_lat_abs_minutes = 10.506; }, " 53°10.51"},
      {"present longitude degrees", 3, right_display_text,
       [&] { s.present_lon_abs_whole = 8, s.present_lon_abs_minutes = 55.0; }, "008°55.00",
       [&] { s.present_lon_abs_whole = 9; }, "009°55.00"},
      {"present longitude minutes", 3, right_display_text,
       [&] { s.present_lon_abs_whole = 9, s.present_lon_abs_minutes = 55.0; }, "009°55.00",
       [&] { s.present_lon_abs_minutes = 54.994; }, "009°54.99"},
      {"waypoint latitude", 4, left_display_text,
       [&] { s.to_lat_abs_whole = 63, s.to_lat_abs_minutes = 59.1; }, " 63°59.10",
       [&] { s.to_lat_abs_minutes = 59.2; }, " 63°59.20"},
      {"waypoint latitude to the entry echo", 4, left_display_text,
       [&] {
         s.waypoint_entry_mode = 0, s.entry_position = 2;
         s.to_lat_abs_whole = 63, s.to_lat_abs_minutes = 59.2;
       },
       " 63°59.20",
       [&] {
         s.waypoint_entry_mode = 1, s.entry_lat_deg_tens = 6, s.entry_lat_deg_units = 3;
         s.entry_lat_min_tens = 5, s.entry_lat_min_units = 9;
         s.entry_lat_min_tenths = 2, s.entry_lat_min_hundredths = 0;
       },
       " --°--.--"},
      {"waypoint longitude", 4, right_display_text,
       [&] { s.waypoint_entry_mode = 0, s.to_lon_abs_whole = 22, s.to_lon_abs_minutes = 36.3; },
       "022°36.30", [&] { s.to_lon_abs_whole = 23; }, "023°36.30"},
      {"distance across a tenth", 5, left_display_text, [&] { s.distance_to_go = 850.04999; },
       " 850.0 NM", [&] { s.distance_to_go = 850.05001; }, " 850.1 NM"},
      {"distance's sign at zero", 5, left_display_text, [&] { s.distance_to_go = 0.0; },
       "   0.0 NM", [&] { s.distance_to_go = -0.0; }, "  -0.0 NM"},
      {"time to go hours", 5, right_display_text,
       [&] { s.ttg_hours = 1, s.ttg_minutes = 45.0, s.ttg_tenths = 3; }, "01:45.3 ET",
       [&] { s.ttg_hours = 2; }, "02:45.3 ET"},
      {"time to go minutes", 5, right_display_text,
       [&] { s.ttg_hours = 2, s.ttg_minutes = 45.0, s.ttg_tenths = 3; }, "02:45.3 ET",
       [&] { s.ttg_minutes = 44.0; }, "02:44.3 ET"},
      {"time to go tenths", 5, right_display_text,
       [&] { s.ttg_hours = 2, s.ttg_minutes = 44.0, s.ttg_tenths = 3; }, "02:44.3 ET",
       [&] { s.ttg_tenths = 2; }, "02:44.2 ET"},
      {"wind direction", 6, left_display_text, [&] { s.wind_dir_shown = 300; }, "  300 DEG",
       [&] { s.wind_dir_shown = 301; }, "  301 DEG"},
      {"wind speed", 6, right_display_text, [&] { s.wind_speed_shown = 40; }, "  40 KT",
       [&] { s.wind_speed_shown = 41; }, "  41 KT"},
      {"desired track", 7, left_display_text, [&] { s.desired_track = 360.0; }, "360.0 DEG",
       [&] { s.desired_track = 0.04; }, "000.0 DEG"},
      {"alignment status", 7, right_display_text, [&] { s.align_status = 5; }, "   5",
       [&] { s.align_status = 4; }, "   4"},
      {"FROM number", 5, from_number_text, [&] { s.from_waypoint = 1; }, "01",
       [&] { s.from_waypoint = 2; }, "02"},
      {"TO number", 5, to_number_text, [&] { s.to_waypoint = 2; }, "02", [&] { s.to_waypoint = 3; },
       "03"},
      // The same numbers behind another field: heading 300 and wind direction 300.
      {"another field with the same number", 1, left_display_text, [&] { s.heading = 300; },
       "300.0 DEG", [&] { select(6); }, "  300 DEG"},
  };
  for (const KeptTextCase& c : cases) {
    SCOPED_TRACE(c.name);
    select(c.selector);
    TextWindow window(c.routine);
    c.set_first();
    window.update();
    EXPECT_EQ(window.text(), latin1(c.first));
    window.update();
    EXPECT_EQ(window.text(), latin1(c.first));
    c.set_second();
    window.update();
    EXPECT_EQ(window.text(), latin1(c.second));
    select(c.selector);
    c.set_first();
    window.update();
    EXPECT_EQ(window.text(), latin1(c.first));
    EXPECT_TRUE(window.untouched_past_buffer());
  }
}

// A kept text is composed for the buffer it was cut to: a host that lends a shorter buffer, and
// then a longer one again, gets each time the text as composing it there would write it.
TEST_F(DisplayWindowsTest, AKeptTextIsCutToEachBufferItIsWrittenInto) {
  select(2);
  ins_state.cross_track_nm = 10800.0;
  ins_state.cross_track_left = 1;
  for (uint32_t size : {32u, 13u, 2u, 1u, 32u}) {
    SCOPED_TRACE(size);
    TextWindow window(left_display_text, size);
    window.update();
    EXPECT_EQ(window.text(), std::string("L 10800.00 NM").substr(0, size - 1));
    EXPECT_TRUE(window.untouched_past_buffer());
  }
}

// ---------------------------------------------------------------------------------------------
// Bounds of every write.
// ---------------------------------------------------------------------------------------------

// States that together reach every composer and every fixed text.
struct BoundsState {
  const char* name;
  uint8_t powered, lamp_test;
  int selector;
  uint8_t entry_mode;
  int8_t entry_position;
};

const BoundsState BOUNDS_STATES[] = {
    {"no power", 0, 0, 3, 0, 0},     {"lamp test", 1, 1, 3, 0, 0},    {"TK/GS", 1, 0, 0, 0, 0},
    {"HDG/DA", 1, 0, 1, 0, 0},       {"XTK/TKE", 1, 0, 2, 0, 0},      {"POS", 1, 0, 3, 0, 0},
    {"WAY PT", 1, 0, 4, 0, 0},       {"DIS/TIME", 1, 0, 5, 0, 0},     {"WIND", 1, 0, 6, 0, 0},
    {"DSRTK/STS", 1, 0, 7, 0, 0},    {"entry at 1", 1, 0, 4, 1, 1},   {"entry at 5", 1, 0, 4, 1, 5},
    {"entry at 12", 1, 0, 4, 1, 12}, {"bad selector", 1, 0, 9, 0, 0},
};

void apply(const BoundsState& state) {
  ins_state.ins_powered = state.powered;
  ins_state.lamp_test_active = state.lamp_test;
  ins_state.data_selector = static_cast<int8_t>(state.selector);
  ins_state.waypoint_entry_mode = state.entry_mode;
  ins_state.entry_position = state.entry_position;
}

TEST_F(DisplayWindowsTest, NoWriteGoesPastTheBufferAndEveryTextIsTerminated) {
  // Values at their widest, so that every text is longer than the smallest buffers.
  ins_state.cross_track_nm = 10800.0;
  ins_state.distance_to_go = 10800.0;
  ins_state.track_error = 123.4;
  ins_state.entry_north = ins_state.entry_east = 1;
  ins_state.to_waypoint = ins_state.from_waypoint = 99;
  for (const BoundsState& state : BOUNDS_STATES) {
    apply(state);
    for (const NamedRoutine& w : ALL_WINDOWS) {
      TextWindow roomy(w.routine);
      roomy.update();
      const std::string full = roomy.text();
      for (uint32_t size : {1u, 2u, 5u, 9u, 13u}) {
        TextWindow window(w.routine, size);
        window.update();
        SCOPED_TRACE(std::string(w.name) + ", " + state.name + ", size " + std::to_string(size));
        EXPECT_TRUE(window.untouched_past_buffer());
        EXPECT_EQ(window.text(), full.substr(0, size - 1));
      }
    }
  }
}

TEST_F(DisplayWindowsTest, NothingIsWrittenBeforeTheHostLendsABuffer) {
  for (const BoundsState& state : BOUNDS_STATES) {
    apply(state);
    for (const NamedRoutine& w : ALL_WINDOWS) {
      TextWindow absent(w.routine, 16);
      absent.element.text_buffer = nullptr;
      EXPECT_EQ(absent.update(), 1.0);
      EXPECT_EQ(absent.update(), 0.0);
    }
  }
}

// The module's own windows, as the host lends them buffers: each routine is told its width by
// its element alone, and a text longer than the window (the cross-track distance in the left
// display, a distance of 10 800 miles) is cut there instead of running past the buffer.
TEST_F(DisplayWindowsTest, TheModulesWindowsCutTheirTextsAtTheirOwnWidth) {
  const struct {
    int selector;
    double cross_track_nm, distance_nm;
    const char* left;
  } cases[] = {
      {2, 1.23, 0.0, "L    1.23"},     // "L    1.23 NM" in nine characters
      {2, 10800.0, 0.0, "L 10800.0"},  // "L 10800.00 NM"
      {5, 0.0, 10800.0, "10800.0 N"},  // "10800.0 NM"
      {5, 0.0, 312.4, " 312.4 NM"},    // fits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    select(c.selector);
    ins_state.cross_track_nm = c.cross_track_nm;
    ins_state.cross_track_left = 1;
    ins_state.distance_to_go = c.distance_nm;
    auto& left = element_record<TextElement>(ins_element(INS_DEPTH_LEFT_DISPLAY));
    ASSERT_EQ(left.char_count, 9);
    std::array<char, 10 + 8> lent;
    lent.fill(SENTINEL);
    left.text_buffer = lent.data();
    left.routine(&left.header);
    left.text_buffer = nullptr;
    EXPECT_EQ(std::string(lent.data()), c.left);
    for (std::size_t i = 10; i < lent.size(); ++i) EXPECT_EQ(lent[i], SENTINEL) << i;
  }
}

}  // namespace
