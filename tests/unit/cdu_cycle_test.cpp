// The CDU frame cycle: the entry preload from the waypoint file, the lamps and key images, the
// key latches' release and the end of the lamp test.
#include "cdu/cdu_cycle.h"

#include <string>
#include <vector>

#include "cdu/function_keys.h"
#include "cdu/keyboard.h"
#include "module/gauge_tables.h"
#include "state/gauge_elements.h"
#include "state/host_bridge.h"
#include "tests/unit/test_support.h"

namespace {

constexpr uint32_t TICK = 1, BATTERY = 364, MAIN_POWER = 566;

class CduCycleTest : public test_support::ModuleTest {
 protected:
  // One frame of the CDU gauge at host tick `tick`.
  void frame(int tick) {
    set_var(TICK, tick);
    cdu_frame_cycle();
  }
  static bool hidden(int depth) {
    return (element_at_depth(Linkage.gauges[GAUGE_INS]->element_list, depth)->image_flags &
            IMAGE_HIDDEN) != 0;
  }
  static void set_hidden(int depth, bool hide) {
    if (hide) {
      ::hide(ins_element(depth));
    } else {
      show(ins_element(depth));
    }
  }
  // Opens the entry on waypoint tens/units and lets the next frame load it.
  void preload(int tens, int units) {
    ins_state.thumbwheel_tens = static_cast<int8_t>(tens);
    ins_state.thumbwheel_units = static_cast<int8_t>(units);
    ins_state.waypoint_entry_mode = 1;
    ins_state.waypoint_load_request = 1;
    frame(1);
  }
};

// The thirteen entry digits and the four hemisphere letters, as the windows would show them.
struct EntryDigits {
  char lat_hemisphere;
  std::vector<int> lat;  // tens, units of degrees; tens, units, tenths, hundredths of minutes
  char lon_hemisphere;
  std::vector<int> lon;  // hundreds, tens, units of degrees; then the four minute digits
};

EntryDigits entry_digits() {
  const InsState& s = ins_state;
  auto whole = [](double digit) { return static_cast<int>(digit); };
  EntryDigits d;
  d.lat_hemisphere = s.entry_north == 1 && s.entry_south == 0   ? 'N'
                     : s.entry_south == 1 && s.entry_north == 0 ? 'S'
                                                                : '?';
  d.lon_hemisphere = s.entry_west == 1 && s.entry_east == 0   ? 'W'
                     : s.entry_east == 1 && s.entry_west == 0 ? 'E'
                                                              : '?';
  d.lat = {whole(s.entry_lat_deg_tens),   whole(s.entry_lat_deg_units),
           whole(s.entry_lat_min_tens),   whole(s.entry_lat_min_units),
           whole(s.entry_lat_min_tenths), whole(s.entry_lat_min_hundredths)};
  d.lon = {whole(s.entry_lon_deg_hundreds),  whole(s.entry_lon_deg_tens),
           whole(s.entry_lon_deg_units),     whole(s.entry_lon_min_tens),
           whole(s.entry_lon_min_units),     whole(s.entry_lon_min_tenths),
           whole(s.entry_lon_min_hundredths)};
  return d;
}

void expect_entry(const EntryDigits& expected, const std::string& context) {
  const EntryDigits got = entry_digits();
  EXPECT_EQ(got.lat_hemisphere, expected.lat_hemisphere) << context;
  EXPECT_EQ(got.lat, expected.lat) << context;
  EXPECT_EQ(got.lon_hemisphere, expected.lon_hemisphere) << context;
  EXPECT_EQ(got.lon, expected.lon) << context;
}

// ---------------------------------------------------------------------------------------------
// Entry preload
// ---------------------------------------------------------------------------------------------

TEST_F(CduCycleTest, PreloadSplitsTheStoredPositionIntoDigits) {
  // Radians written by hand from degrees and minutes (x pi/180), 8 decimals as the file holds
  // them; the file is read in single precision.
  struct Case {
    const char* line;  // line 12 of the file
    EntryDigits expected;
  };
  const Case cases[] = {
      // 0.5 rad = 28.6479 deg = 28 deg 38.873 min, south; longitude 0 is west.
      {"12 -0.50000000 0.00000000", {'S', {2, 8, 3, 8, 8, 7}, 'W', {0, 0, 0, 0, 0, 0, 0}}},
      // 45 deg 30.25 min N, 73 deg 45.50 min W.
      {"12 0.79419753 1.28732577", {'N', {4, 5, 3, 0, 2, 5}, 'W', {0, 7, 3, 4, 5, 5, 0}}},
      // 10 deg 59.996 min N rounds to 11 deg 00.00 min: the last 0.005 min of a degree counts
      // as the next degree. 123 deg 12.996 min E rounds to 12 deg 13.00 min, all minute digits
      // from the one rounded value (never 12.00).
      {"12 0.19198505 -2.15053536", {'N', {1, 1, 0, 0, 0, 0}, 'E', {1, 2, 3, 1, 3, 0, 0}}},
      // 89 deg 59.99 min S; pi in single precision (a hair above 180 deg) is 180 deg 00.00 W.
      {"12 -1.57079342 3.14159265", {'S', {8, 9, 5, 9, 9, 9}, 'W', {1, 8, 0, 0, 0, 0, 0}}},
      // Junk far beyond any position is held at 999 degrees rather than overflowing.
      {"12 -37480660.0 1e30", {'S', {99, 9, 0, 0, 0, 0}, 'W', {9, 9, 9, 0, 0, 0, 0}}},
      // Longitude 0.0001 rad east: 0 deg 0.34 min E.
      {"12 0.00000000 -0.00010000", {'N', {0, 0, 0, 0, 0, 0}, 'E', {0, 0, 0, 0, 0, 3, 4}}},
  };
  for (const Case& c : cases) {
    workdir.write("WAYPOINTS.DAT", std::string("0 1.0 1.0\n") + c.line + "\n13 0.3 0.3\n");
    preload(1, 2);
    expect_entry(c.expected, c.line);
    EXPECT_EQ(ins_state.selected_waypoint, 12) << c.line;
    EXPECT_EQ(ins_state.waypoint_load_request, 0) << c.line;
  }
}

TEST_F(CduCycleTest, PreloadTakesTheLastLineWithTheSelectedNumber) {
  workdir.write("WAYPOINTS.DAT",
                "6 0.1 0.1\n7 0.20000000 0.30000000\n7 -0.50000000 0.00000000\n9 0.4 0.4\n");
  ins_state.entry_position = 5;
  preload(0, 7);
  EXPECT_FLOAT_EQ(static_cast<float>(ins_state.loaded_lat), -0.5f);
  EXPECT_EQ(ins_state.loaded_lon, 0.0);
  expect_entry({'S', {2, 8, 3, 8, 8, 7}, 'W', {0, 0, 0, 0, 0, 0, 0}}, "second line 7");
  EXPECT_EQ(ins_state.file_waypoint_number, 9);  // the last line read
  EXPECT_EQ(ins_state.entry_position, 5);        // the keyboard owns the position
}

TEST_F(CduCycleTest, PreloadWithoutAFileOrAMatchReusesTheLastLoadedPosition) {
  // -1 rad west-positive is 57.2958 deg = 57 deg 17.75 min east.
  ins_state.loaded_lat = 0.5;
  ins_state.loaded_lon = -1.0;
  preload(0, 3);  // no file at all
  expect_entry({'N', {2, 8, 3, 8, 8, 7}, 'E', {0, 5, 7, 1, 7, 7, 5}}, "no file");

  workdir.write("WAYPOINTS.DAT", "0 0.1 0.1\n1 0.2 0.2\n");
  preload(0, 3);  // no line 3
  EXPECT_EQ(ins_state.loaded_lat, 0.5);
  EXPECT_EQ(ins_state.loaded_lon, -1.0);
  expect_entry({'N', {2, 8, 3, 8, 8, 7}, 'E', {0, 5, 7, 1, 7, 7, 5}}, "no line 3");
}

TEST_F(CduCycleTest, LoadRequestIsDroppedWhenNoEntryIsOpen) {
  workdir.write("WAYPOINTS.DAT", "0 0.5 0.5\n");
  ins_state.waypoint_load_request = 1;
  ins_state.waypoint_entry_mode = 0;
  frame(1);
  EXPECT_EQ(ins_state.waypoint_load_request, 0);
  EXPECT_EQ(ins_state.entry_lat_deg_tens, 8.0);  // load-time digits untouched
  EXPECT_EQ(ins_state.loaded_lat, 0.0);
  // Opening the entry later does not revive the dropped request.
  ins_state.waypoint_entry_mode = 1;
  frame(2);
  EXPECT_EQ(ins_state.loaded_lat, 0.0);
}

// ---------------------------------------------------------------------------------------------
// Lamps and switch images
// ---------------------------------------------------------------------------------------------

TEST_F(CduCycleTest, LampsFollowTheirConditions) {
  struct Case {
    const char* name;
    void (*setup)(InsState&);
    int depth;
    bool hidden_before;
    bool hidden_after;
  };
  const Case cases[] = {
      {"HOLD engaged", [](InsState& s) { s.hold_active = 1; }, INS_DEPTH_HOLD_LIT, true, false},
      {"HOLD off", [](InsState& s) { s.hold_active = 0; }, INS_DEPTH_HOLD_LIT, false, true},
      {"HOLD off, lamp test: show wins", [](InsState& s) { s.lamp_test_active = 1; },
       INS_DEPTH_HOLD_LIT, true, false},
      {"SET with an open entry", [](InsState& s) { s.waypoint_entry_mode = 1; }, INS_DEPTH_SET_LIT,
       true, false},
      {"SET while its key is down",
       [](InsState& s) { s.waypoint_entry_mode = 1, s.set_pressed = 1, s.set_release_tick = 50; },
       INS_DEPTH_SET_LIT, false, true},
      {"SET closed", [](InsState& s) { s.waypoint_entry_mode = 0; }, INS_DEPTH_SET_LIT, false,
       true},
      {"SET closed, lamp test", [](InsState& s) { s.lamp_test_active = 1; }, INS_DEPTH_SET_LIT,
       true, false},
      {"LAST WPT armed", [](InsState& s) { s.last_wpt_mode = 1; }, INS_DEPTH_LAST_WPT_LIT, true,
       false},
      {"LAST WPT while its key is down",
       [](InsState& s) {
         s.last_wpt_mode = 1, s.last_wpt_pressed = 1, s.last_wpt_release_tick = 50;
       },
       INS_DEPTH_LAST_WPT_LIT, false, true},
      {"LAST WPT not armed, lamp test", [](InsState& s) { s.lamp_test_active = 1; },
       INS_DEPTH_LAST_WPT_LIT, true, false},
      {"AUTO image at AUTO", [](InsState& s) { s.auto_selected = 1, s.man_selected = 0; },
       INS_DEPTH_SWITCH_AUTO, true, false},
      {"MAN image at AUTO", [](InsState& s) { s.auto_selected = 1, s.man_selected = 0; },
       INS_DEPTH_SWITCH_MAN, false, true},
      {"AUTO image at MAN", [](InsState& s) { s.auto_selected = 0, s.man_selected = 1; },
       INS_DEPTH_SWITCH_AUTO, false, true},
      {"MAN image at MAN", [](InsState& s) { s.auto_selected = 0, s.man_selected = 1; },
       INS_DEPTH_SWITCH_MAN, true, false},
      {"BAT on battery only", [](InsState& s) { s.battery_power = 1, s.main_power = 0; },
       INS_DEPTH_BAT_LIT, true, false},
      {"BAT with main power", [](InsState& s) { s.battery_power = 1, s.main_power = 1; },
       INS_DEPTH_BAT_LIT, false, true},
      {"BAT with no power", [](InsState& s) { s.battery_power = 0, s.main_power = 0; },
       INS_DEPTH_BAT_LIT, false, true},
      {"BAT with main power, lamp test: show wins",
       [](InsState& s) { s.main_power = 1, s.lamp_test_active = 1; }, INS_DEPTH_BAT_LIT, true,
       false},
      {"BAT with no power, lamp test stays dark",
       [](InsState& s) { s.battery_power = 0, s.main_power = 0, s.lamp_test_active = 1; },
       INS_DEPTH_BAT_LIT, false, true},
      {"ALERT under 2 minutes to go",
       [](InsState& s) { s.ttg_minutes = 1.5, s.ground_speed = 300, s.ins_powered = 1; },
       INS_DEPTH_ALERT_LIT, true, false},
      {"ALERT at 2 minutes",
       [](InsState& s) { s.ttg_minutes = 2.0, s.ground_speed = 300, s.ins_powered = 1; },
       INS_DEPTH_ALERT_LIT, false, true},
      {"ALERT with an hour to go",
       [](InsState& s) {
         s.ttg_minutes = 1.0, s.ttg_hours = 1, s.ground_speed = 300, s.ins_powered = 1;
       },
       INS_DEPTH_ALERT_LIT, false, true},
      {"ALERT standing still",
       [](InsState& s) { s.ttg_minutes = 1.0, s.ground_speed = 0.5, s.ins_powered = 1; },
       INS_DEPTH_ALERT_LIT, false, true},
      {"ALERT without power",
       [](InsState& s) { s.ttg_minutes = 1.0, s.ground_speed = 300, s.ins_powered = 0; },
       INS_DEPTH_ALERT_LIT, false, true},
      {"ALERT without power, lamp test",
       [](InsState& s) { s.ins_powered = 0, s.lamp_test_active = 1; }, INS_DEPTH_ALERT_LIT, true,
       false},
      // Exactly 1 knot is neither below 1 nor above it: the lamp keeps its state either way.
      {"ALERT at exactly 1 knot, was dark",
       [](InsState& s) { s.ttg_minutes = 1.5, s.ground_speed = 1.0, s.ins_powered = 1; },
       INS_DEPTH_ALERT_LIT, true, true},
      {"ALERT at exactly 1 knot, was lit",
       [](InsState& s) { s.ttg_minutes = 1.5, s.ground_speed = 1.0, s.ins_powered = 1; },
       INS_DEPTH_ALERT_LIT, false, false},
  };
  for (const Case& c : cases) {
    reset_module_for_tests();
    ins_state.tick = 10;
    c.setup(ins_state);
    set_hidden(c.depth, c.hidden_before);
    update_lamps();
    EXPECT_EQ(hidden(c.depth), c.hidden_after) << c.name;
  }
}

TEST_F(CduCycleTest, BatteryLampFollowsTheHostPowerInTheSameFrame) {
  set_var(BATTERY, 1);
  set_var(MAIN_POWER, 0);
  frame(3);
  EXPECT_EQ(ins_state.battery_power, 1);
  EXPECT_FALSE(hidden(INS_DEPTH_BAT_LIT));
  set_var(MAIN_POWER, 1);
  frame(4);
  EXPECT_EQ(ins_state.main_power, 1);
  EXPECT_TRUE(hidden(INS_DEPTH_BAT_LIT));
}

// ---------------------------------------------------------------------------------------------
// Pressed-key images and latches
// ---------------------------------------------------------------------------------------------

struct LatchRef {
  const char* name;
  int depth;
  int32_t* pressed;
  int32_t* release_tick;
};

std::vector<LatchRef> all_latches() {
  InsState& s = ins_state;
  std::vector<LatchRef> latches = {
      {"HOLD", INS_DEPTH_HOLD_PRESSED, &s.hold_pressed, &s.hold_release_tick},
      {"SET", INS_DEPTH_SET_PRESSED, &s.set_pressed, &s.set_release_tick},
      {"INSERT", INS_DEPTH_INSERT_PRESSED, &s.insert_pressed, &s.insert_release_tick},
      {"LAST WPT", INS_DEPTH_LAST_WPT_PRESSED, &s.last_wpt_pressed, &s.last_wpt_release_tick},
      {"WYPT CHG", INS_DEPTH_WYPT_CHG_PRESSED, &s.wypt_chg_pressed, &s.wypt_chg_release_tick},
      {"CLEAR", INS_DEPTH_CLEAR_PRESSED, &s.clear_pressed, &s.clear_release_tick},
  };
  static const char* digit_names[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
  for (int d = 0; d < DIGIT_KEY_COUNT; ++d) {
    latches.push_back({digit_names[d], INS_DEPTH_KEY0_PRESSED + d, &s.digit_pressed[d],
                       &s.digit_release_tick[d]});
  }
  return latches;
}

TEST_F(CduCycleTest, EveryPressedImageShowsForFiveTicks) {
  for (const LatchRef& key : all_latches()) {
    reset_module_for_tests();
    *key.pressed = 1;  // as a key routine leaves it when pressed at tick 100
    *key.release_tick = 105;
    for (int tick = 100; tick <= 104; ++tick) {
      frame(tick);
      EXPECT_FALSE(hidden(key.depth)) << key.name << " at tick " << tick;
    }
    frame(105);
    EXPECT_TRUE(hidden(key.depth)) << key.name;
    EXPECT_EQ(*key.pressed, 0) << key.name;
  }
}

// Frames slower than the tick counter step over release ticks. A latch is released in the first
// frame at or past its release tick, read across the counter's wrap-around; every tick value is a
// real tick (0xFFFFFFFF, read as -1, included), and a counter set back releases the latch at
// once instead of holding the key until it comes round again.
TEST_F(CduCycleTest, ALatchIsReleasedInTheFirstFrameAtOrPastItsReleaseTick) {
  struct Case {
    const char* name;
    double press_tick;           // host tick at the press (the counter as the host holds it)
    std::vector<double> frames;  // host ticks of the frames after it
    std::size_t released_at;     // index of the frame that releases the key
  };
  const double wrap = 4294967296.0;  // 2^32
  const Case cases[] = {
      {"9 frames a second", 100, {102, 104, 106}, 2},
      {"10 frames a second", 100, {101, 103, 104, 106}, 3},
      {"a long stall", 100, {101, 5000}, 1},
      {"release tick 0xFFFFFFFF", wrap - 6, {wrap - 5, wrap - 2, wrap - 1}, 2},
      {"release tick past 0xFFFFFFFF unseen", wrap - 6, {wrap - 3, wrap + 1}, 1},
      {"across the signed limit", 2147483645.0, {2147483646.0, 2147483651.0}, 1},
      {"counter set back", 1000, {1001, 10}, 1},
  };
  for (const Case& c : cases) {
    for (const LatchRef& key : all_latches()) {
      SCOPED_TRACE(std::string(c.name) + ", key " + key.name);
      reset_module_for_tests();
      set_var(TICK, c.press_tick);
      ins_state.ins_powered = 0;  // no key acts: only the latch is exercised
      *key.pressed = 1;
      *key.release_tick = ticks_after(read_host_tick(), 5);
      for (std::size_t i = 0; i < c.frames.size(); ++i) {
        set_var(TICK, c.frames[i]);
        cdu_frame_cycle();
        const bool released = i >= c.released_at;
        EXPECT_EQ(*key.pressed, released ? 0 : 1) << "frame " << i;
        EXPECT_EQ(hidden(key.depth), released) << "frame " << i;
      }
    }
  }
}

// A key whose release tick no frame saw is released all the same, so its next press acts.
TEST_F(CduCycleTest, AKeyPressedAgainAfterAnUnseenReleaseTickActs) {
  ins_state.entry_position = 3;
  set_var(TICK, 100);
  digit_key<5>(nullptr, MOUSE_LEFT_SINGLE);
  EXPECT_EQ(ins_state.entry_position, 4);
  frame(102);
  EXPECT_FALSE(hidden(INS_DEPTH_KEY0_PRESSED + 5));
  frame(106);  // 105 passes unseen
  EXPECT_TRUE(hidden(INS_DEPTH_KEY0_PRESSED + 5));

  set_var(TICK, 107);
  digit_key<5>(nullptr, MOUSE_LEFT_SINGLE);
  EXPECT_EQ(ins_state.entry_position, 5);
  // A second click within the 5 ticks still only restarts them.
  set_var(TICK, 109);
  digit_key<5>(nullptr, MOUSE_LEFT_SINGLE);
  EXPECT_EQ(ins_state.entry_position, 5);
  EXPECT_EQ(ins_state.digit_release_tick[5], 114);
  frame(113);
  EXPECT_FALSE(hidden(INS_DEPTH_KEY0_PRESSED + 5));
  frame(115);
  EXPECT_TRUE(hidden(INS_DEPTH_KEY0_PRESSED + 5));
}

TEST_F(CduCycleTest, SetKeyStaysDownAndLitWhileTheEntryIsOpen) {
  ins_state.data_selector = 4;
  ins_state.ins_powered = 1;
  set_var(TICK, 20);
  EXPECT_EQ(set_key(nullptr, MOUSE_LEFT_SINGLE), 1);
  frame(20);
  EXPECT_FALSE(hidden(INS_DEPTH_SET_PRESSED));
  EXPECT_TRUE(hidden(INS_DEPTH_SET_LIT));  // the lamp lights once the key comes up
  frame(25);
  EXPECT_FALSE(hidden(INS_DEPTH_SET_PRESSED));
  EXPECT_EQ(ins_state.set_pressed, 0);
  frame(26);
  EXPECT_FALSE(hidden(INS_DEPTH_SET_LIT));

  set_var(TICK, 30);
  EXPECT_EQ(set_key(nullptr, MOUSE_LEFT_SINGLE), 0);  // closes the entry
  frame(35);
  EXPECT_TRUE(hidden(INS_DEPTH_SET_PRESSED));
  EXPECT_TRUE(hidden(INS_DEPTH_SET_LIT));
}

// ---------------------------------------------------------------------------------------------
// Lamp test
// ---------------------------------------------------------------------------------------------

TEST_F(CduCycleTest, LampTestEndsAfterTheFrameOfItsEndTick) {
  ins_state.lamp_test_active = 1;
  ins_state.lamp_test_end_tick = 200;
  frame(199);
  EXPECT_FALSE(hidden(INS_DEPTH_HOLD_LIT));
  frame(200);
  EXPECT_FALSE(hidden(INS_DEPTH_HOLD_LIT));  // lit for the frame in which the test expires
  EXPECT_EQ(ins_state.lamp_test_active, 0);
  frame(201);
  for (int depth : {INS_DEPTH_HOLD_LIT, INS_DEPTH_SET_LIT, INS_DEPTH_LAST_WPT_LIT,
                    INS_DEPTH_ALERT_LIT, INS_DEPTH_BAT_LIT}) {
    EXPECT_TRUE(hidden(depth)) << depth;
  }
}

// An end tick that no frame sees ends the test in the first frame past it, across the
// counter's wrap-around too; a counter set back ends it at once.
TEST_F(CduCycleTest, LampTestEndsInTheFirstFramePastAnUnseenEndTick) {
  struct Case {
    const char* name;
    double start;  // host tick at the start of the test
    std::vector<double> frames;
    std::size_t ended_at;
  };
  const double wrap = 4294967296.0;
  const Case cases[] = {
      {"9 frames a second", 110, {195, 197, 199, 201, 203}, 3},
      {"end tick 0xFFFFFFFF", wrap - 91, {wrap - 3, wrap - 1}, 1},
      {"end tick past the wrap unseen", wrap - 89, {wrap - 1, wrap + 2}, 1},
      {"counter set back", 500, {510, 20}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset_module_for_tests();
    ins_state.ins_powered = 1;
    set_var(TICK, c.start);
    lamp_test_spot(nullptr, MOUSE_LEFT_SINGLE);
    ASSERT_EQ(ins_state.lamp_test_active, 1);
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
      set_var(TICK, c.frames[i]);
      cdu_frame_cycle();
      EXPECT_EQ(ins_state.lamp_test_active, i >= c.ended_at ? 0 : 1) << "frame " << i;
    }
  }
}

}  // namespace
