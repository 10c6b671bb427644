// Every window text against the printf format that defines it. The windows write their texts
// field by field without printf (the panel draws every window on every frame); here each one is
// run through the real window routine over a sweep of the values its fields can hold and held to
// snprintf with the window's format: every rounding edge of the shown precision over the
// angles and the minutes, negative zero and negative values, values far out of range, NaN and
// infinity for the doubles, and the digit-count edges and the ends of each whole-number field's
// type.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "cdu/display_windows.h"
#include "core/convert.h"
#include "tests/unit/test_support.h"

namespace {

using test_support::ModuleTest;

// As much as a window composes: its text is cut there before the host's buffer cuts it again.
constexpr std::size_t COMPOSED = 64;

[[gnu::format(printf, 1, 2)]] std::string printf_text(const char* format, ...) {
  char chars[COMPOSED];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(chars, sizeof chars, format, arguments);
  va_end(arguments);
  return chars;
}

// The text a window writes in one update, into a host buffer of COMPOSED bytes that held
// `before`.
std::string window_text(ElementRoutine routine, const char* before = "") {
  char buffer[COMPOSED] = {};
  std::snprintf(buffer, sizeof buffer, "%s", before);
  TextElement element{};
  element.header.kind = ELEMENT_STRING;
  element.text_buffer = buffer;
  element.char_count = COMPOSED - 1;
  routine(&element.header);
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

// Each value and its neighbours in binary, with both signs.
void add_with_neighbours(std::vector<double>& values, double v) {
  for (double s : {v, -v}) {
    values.push_back(s);
    values.push_back(std::nextafter(s, HUGE_VAL));
    values.push_back(std::nextafter(s, -HUGE_VAL));
  }
}

// Values for a double field shown to a tenth, or to a hundredth: every half step of the last
// digit shown over the field's range (a tenth up to 400: angles, speeds, distances; a hundredth
// up to 60: minutes), each with its neighbours in binary; the values the windows meet at their
// edges; ties exact in binary; and what no sane input gives but a host could.
std::vector<double> double_sweep(int steps_per_unit, int units) {
  std::vector<double> v;
  for (int k = 0; k < steps_per_unit * units; ++k) {
    add_with_neighbours(v, (k + 0.5) / steps_per_unit);
  }
  for (int k = 0; k <= 800; ++k) v.push_back(k / 8.0);
  for (double edge :
       {0.0, 359.95, 359.99, 359.999, 59.995, 59.999, 99.995, 999.95, 9999.95, 10800.0, 10800.005,
        123.45, 1e6, 1e15, 9007199254740993.0, 1e300, std::numeric_limits<double>::max(),
        std::numeric_limits<double>::denorm_min()}) {
    add_with_neighbours(v, edge);
  }
  for (double odd :
       {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
    v.push_back(odd);
  }
  return v;
}

// Values for a whole-number field: everything of its type from -1000 to 1000, the numbers beside
// each change in the count of digits, and the ends of its type.
template <typename Integer>
std::vector<double> whole_sweep() {
  using limits = std::numeric_limits<Integer>;
  const auto in_type = [](int64_t i) { return i >= limits::min() && i <= limits::max(); };
  std::vector<double> v;
  for (int64_t i = -1000; i <= 1000; ++i) {
    if (in_type(i)) v.push_back(static_cast<double>(i));
  }
  for (int64_t p = 10; p <= 1'000'000'000; p *= 10) {
    for (int64_t i : {p - 1, p, -p, 1 - p}) {
      if (in_type(i)) v.push_back(static_cast<double>(i));
    }
  }
  v.push_back(static_cast<double>(limits::min()));
  v.push_back(static_cast<double>(limits::max()));
  return v;
}

// One field of one window: how a sweep value goes into the INS state, and the text the
// window's printf format makes of it.
struct FieldCase {
  const char* name;
  int selector;
  ElementRoutine routine;
  std::vector<double> values;
  std::function<void(double)> set;
  std::function<std::string(double)> expected;
};

constexpr const char* DEGREES = "%05.1f%4s";

std::vector<FieldCase> field_cases() {
  InsState& s = ins_state;
  const std::vector<double> d = double_sweep(10, 400);  // tenths
  const std::vector<double> h = double_sweep(100, 60);  // hundredths
  std::vector<FieldCase> cases = {
      {"track", 0, left_display_text, d, [&s](double v) { s.track = v; },
       [](double v) { return printf_text(DEGREES, v, " DEG"); }},
      {"ground speed", 0, right_display_text, d, [&s](double v) { s.ground_speed_shown = v; },
       [](double v) { return printf_text("%6.1f%3s", v, " KT"); }},
      {"heading", 1, left_display_text, whole_sweep<uint16_t>(),
       [&s](double v) { s.heading = static_cast<uint16_t>(v); },
       [](double v) { return printf_text(DEGREES, v, " DEG"); }},
      {"track error", 2, right_display_text, d, [&s](double v) { s.track_error = v; },
       [&s](double v) {
         return printf_text("%1s%4.1f%4s", s.track_error_left != 0 ? "L" : "R", v, " DEG");
       }},
      {"cross-track", 2, left_display_text, h, [&s](double v) { s.cross_track_nm = v; },
       [&s](double v) {
         return printf_text("%2s%7.2f%3s", s.cross_track_left != 0 ? "L " : "R ", v, " NM");
       }},
      {"present latitude minutes", 3, left_display_text, h,
       [&s](double v) { s.present_lat_abs_minutes = v; },
       [&s](double v) {
         return printf_text("%1s%02d\xB0%05.2f", " ", s.present_lat_abs_whole, v);
       }},
      {"present longitude minutes", 3, right_display_text, h,
       [&s](double v) { s.present_lon_abs_minutes = v; },
       [&s](double v) { return printf_text("%03d\xB0%05.2f", s.present_lon_abs_whole, v); }},
      {"present latitude degrees", 3, left_display_text, whole_sweep<int32_t>(),
       [&s](double v) { s.present_lat_abs_whole = static_cast<int32_t>(v); },
       [&s](double v) {
         return printf_text("%1s%02d\xB0%05.2f", " ", static_cast<int32_t>(v),
                            s.present_lat_abs_minutes);
       }},
      {"present longitude degrees", 3, right_display_text, whole_sweep<int32_t>(),
       [&s](double v) { s.present_lon_abs_whole = static_cast<int32_t>(v); },
       [&s](double v) {
         return printf_text("%03d\xB0%05.2f", static_cast<int32_t>(v), s.present_lon_abs_minutes);
       }},
      {"waypoint latitude minutes", 4, left_display_text, h,
       [&s](double v) { s.to_lat_abs_minutes = v; },
       [&s](double v) { return printf_text("%1s%02d\xB0%05.2f", " ", s.to_lat_abs_whole, v); }},
      {"waypoint longitude degrees", 4, right_display_text, whole_sweep<int32_t>(),
       [&s](double v) { s.to_lon_abs_whole = static_cast<int32_t>(v); },
       [&s](double v) {
         return printf_text("%03d\xB0%05.2f", static_cast<int32_t>(v), s.to_lon_abs_minutes);
       }},
      {"distance to go", 5, left_display_text, d, [&s](double v) { s.distance_to_go = v; },
       [](double v) { return printf_text("%6.1f%3s", v, " NM"); }},
      {"minutes to go", 5, right_display_text, d, [&s](double v) { s.ttg_minutes = v; },
       [&s](double v) {
         return printf_text("%02d%1s%02d%1s%1d%3s", s.ttg_hours, ":", truncate_to<int>(v), ".",
                            s.ttg_tenths, " ET");
       }},
      {"hours to go", 5, right_display_text, whole_sweep<uint8_t>(),
       [&s](double v) { s.ttg_hours = static_cast<uint8_t>(v); },
       [&s](double v) {
         return printf_text("%02d%1s%02d%1s%1d%3s", static_cast<int>(v), ":",
                            truncate_to<int>(s.ttg_minutes), ".", s.ttg_tenths, " ET");
       }},
      {"tenths to go", 5, right_display_text, whole_sweep<uint8_t>(),
       [&s](double v) { s.ttg_tenths = static_cast<uint8_t>(v); },
       [&s](double v) {
         return printf_text("%02d%1s%02d%1s%1d%3s", s.ttg_hours, ":",
                            truncate_to<int>(s.ttg_minutes), ".", static_cast<int>(v), " ET");
       }},
      {"wind direction", 6, left_display_text, whole_sweep<uint16_t>(),
       [&s](double v) { s.wind_dir_shown = static_cast<uint16_t>(v); },
       [](double v) { return printf_text("%2s%3d%4s", "  ", static_cast<int>(v), " DEG"); }},
      {"wind speed", 6, right_display_text, whole_sweep<int32_t>(),
       [&s](double v) { s.wind_speed_shown = static_cast<int32_t>(v); },
       [](double v) { return printf_text("%1s%3d%3s", " ", static_cast<int32_t>(v), " KT"); }},
      {"desired track", 7, left_display_text, d, [&s](double v) { s.desired_track = v; },
       [](double v) { return printf_text(DEGREES, v, " DEG"); }},
      {"alignment status", 7, right_display_text, whole_sweep<uint8_t>(),
       [&s](double v) { s.align_status = static_cast<uint8_t>(v); },
       [](double v) { return printf_text("%3s%01d", "   ", static_cast<int>(v)); }},
  };
  // The drift angle on both sides, and the FROM and TO numbers in a selector position that
  // shows nothing else of them.
  for (uint8_t left : {uint8_t{0}, uint8_t{1}}) {
    cases.push_back({left != 0 ? "drift angle, left" : "drift angle, right", 1, right_display_text,
                     whole_sweep<int16_t>(),
                     [&s, left](double v) {
                       s.drift_left = left;
                       s.drift_angle = static_cast<int16_t>(v);
                     },
                     [left](double v) {
                       return printf_text("%2s%03d%4s", left != 0 ? "L " : "R ",
                                          static_cast<int>(v), " DEG");
                     }});
  }
  cases.push_back({"FROM number", 2, from_number_text, whole_sweep<uint8_t>(),
                   [&s](double v) { s.from_waypoint = static_cast<uint8_t>(v); },
                   [](double v) { return printf_text("%02d", static_cast<int>(v)); }});
  cases.push_back({"TO number", 6, to_number_text, whole_sweep<uint8_t>(),
                   [&s](double v) { s.to_waypoint = static_cast<uint8_t>(v); },
                   [](double v) { return printf_text("%02d", static_cast<int>(v)); }});
  return cases;
}

class DisplayWindowFormatsTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    ins_state.ins_powered = 1;
    // The other fields of each text hold values of their own, so that a field written in the
    // wrong place shows.
    ins_state.present_lat_abs_whole = 47;
    ins_state.present_lat_abs_minutes = 27.35;
    ins_state.present_lon_abs_whole = 122;
    ins_state.present_lon_abs_minutes = 18.52;
    ins_state.to_lat_abs_whole = 3;
    ins_state.to_lon_abs_minutes = 0.005;
    ins_state.ttg_hours = 1;
    ins_state.ttg_minutes = 17.9;
    ins_state.ttg_tenths = 5;
    ins_state.track_error_left = 1;
  }
};

TEST_F(DisplayWindowFormatsTest, EveryFieldOfEveryWindowIsWrittenAsItsPrintfFormatWritesIt) {
  for (const FieldCase& c : field_cases()) {
    ins_state.data_selector = static_cast<int8_t>(c.selector);
    int differences = 0;
    for (double v : c.values) {
      c.set(v);
      const std::string expected = c.expected(v);
      const std::string got = window_text(c.routine);
      if (got != expected && ++differences <= 5) {
        ADD_FAILURE() << c.name << ", value " << v << ": \"" << got << "\" where printf writes \""
                      << expected << "\"";
      }
    }
    EXPECT_EQ(differences, 0) << c.name << " over " << c.values.size() << " values";
  }
}

// The entry echo of WAY PT: each entry position writes the digits keyed so far with "%1d" (of
// the digit truncated to a whole number) and a dash for each still to come, or keeps the text
// it showed before. Digits that are not digits at all are written whole, as "%1d" writes them.
std::string expected_entry(const double* digits, int count, int keyed, bool latitude) {
  std::string fields[7];
  for (int i = 0; i < count; ++i) {
    fields[i] = i < keyed ? printf_text("%1d", truncate_to<int>(digits[i])) : "-";
  }
  if (latitude) {
    return printf_text(" %s%s\xB0%s%s.%s%s", fields[0].c_str(), fields[1].c_str(),
                       fields[2].c_str(), fields[3].c_str(), fields[4].c_str(), fields[5].c_str());
  }
  return printf_text("%s%s%s\xB0%s%s.%s%s", fields[0].c_str(), fields[1].c_str(), fields[2].c_str(),
                     fields[3].c_str(), fields[4].c_str(), fields[5].c_str(), fields[6].c_str());
}

TEST_F(DisplayWindowFormatsTest, TheEntryEchoIsWrittenAsItsPrintfFormatsWriteIt) {
  ins_state.data_selector = 4;
  ins_state.waypoint_entry_mode = 1;
  double* latitude[6] = {&ins_state.entry_lat_deg_tens,   &ins_state.entry_lat_deg_units,
                         &ins_state.entry_lat_min_tens,   &ins_state.entry_lat_min_units,
                         &ins_state.entry_lat_min_tenths, &ins_state.entry_lat_min_hundredths};
  double* longitude[7] = {&ins_state.entry_lon_deg_hundreds,  &ins_state.entry_lon_deg_tens,
                          &ins_state.entry_lon_deg_units,     &ins_state.entry_lon_min_tens,
                          &ins_state.entry_lon_min_units,     &ins_state.entry_lon_min_tenths,
                          &ins_state.entry_lon_min_hundredths};
  const double odd_digits[] = {
      0.0,  9.0,  8.99,  -0.0,         -0.5,          -3.0,
      12.0, 1e12, -1e12, 2147483648.0, -2147483649.0, std::numeric_limits<double>::quiet_NaN()};
  const char* KEPT = "kept";
  for (int position :
       {-128, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 127}) {
    ins_state.entry_position = static_cast<int8_t>(position);
    for (int slot = 0; slot < 7; ++slot) {
      for (double odd : odd_digits) {
        // One slot holds the odd value, the others the digits 1 to 7 in turn.
        double lat[6], lon[7];
        for (int i = 0; i < 6; ++i) *latitude[i] = lat[i] = i == slot ? odd : i + 1;
        for (int i = 0; i < 7; ++i) *longitude[i] = lon[i] = i == slot ? odd : i + 1;
        SCOPED_TRACE("entry position " + std::to_string(position) + ", slot " +
                     std::to_string(slot) + ", value " + std::to_string(odd));

        const int lat_keyed = position < 2 ? 6 : position - 2;
        EXPECT_EQ(window_text(left_display_text, KEPT),
                  position >= 9 ? KEPT : expected_entry(lat, 6, lat_keyed, true));
        const int lon_keyed = position < 9 ? 7 : position - 9;
        EXPECT_EQ(window_text(right_display_text, KEPT),
                  position > 16 ? KEPT : expected_entry(lon, 7, lon_keyed, false));
      }
    }
  }
}

}  // namespace
