// The CDU controls other than the keyboard, driven through their mouse routines as the host calls
// them, with host variables answered by the test host. The latch release belongs to the CDU
// cycle; where a test needs a released or a still-latched key it sets the latch directly.
//
// The sounds of the data selector and the AUTO/MAN selector are not observed here: they go
// through the outside sound library, which only the real host binds; scenarios cover them.
#include "cdu/function_keys.h"

#include <cstdint>
#include <string>
#include <tuple>

#include "boundary/gauge_vocabulary.h"
#include "tests/unit/test_support.h"

namespace {

class FunctionKeysTest : public test_support::ModuleTest {
 protected:
  // One click (or one repeated call while held) on a control.
  static int32_t click(MouseRoutine routine) {
    const MousePoint point{5, 5};
    return routine(&point, MOUSE_LEFT_SINGLE);
  }
  static int32_t repeat(MouseRoutine routine) {
    const MousePoint point{5, 5};
    return routine(&point, MOUSE_LEFT_SINGLE | MOUSE_LEFT_REPEAT);
  }

  // What the CDU cycle does when a key's release tick comes round.
  static void release(int32_t& pressed, int32_t& release_tick) {
    pressed = 0;
    release_tick = -1;
  }

  static void powered_without_entry() {
    ins_state.ins_powered = 1;
    ins_state.waypoint_entry_mode = 0;
  }

  static void clear_reload_requests() {
    ins_state.reload_to_waypoint = 0;
    ins_state.reload_from_waypoint = 0;
  }
};

int wheel_number() {
  return 10 * ins_state.thumbwheel_tens + ins_state.thumbwheel_units;
}

void set_wheels(int number) {
  ins_state.thumbwheel_tens = static_cast<int8_t>(number / 10);
  ins_state.thumbwheel_units = static_cast<int8_t>(number % 10);
}

}  // namespace

// ------------------------------------------------------------------------------------------------
// Data selector

TEST_F(FunctionKeysTest, DataSelectorStepsOnePositionAndStopsAtBothEnds) {
  // The knob starts at POS (3). Clockwise it reaches DSRTK/STS (7) and stays there; anticlockwise
  // it goes all the way to TK/GS (0) and stays there. No power is needed.
  ASSERT_EQ(ins_state.data_selector, 3);
  ASSERT_EQ(ins_state.ins_powered, 0);
  const int clockwise_expected[] = {4, 5, 6, 7, 7, 7};
  for (int expected : clockwise_expected) {
    EXPECT_EQ(click(data_selector_cw), 1);
    EXPECT_EQ(ins_state.data_selector, expected);
  }
  const int anticlockwise_expected[] = {6, 5, 4, 3, 2, 1, 0, 0, 0};
  for (int expected : anticlockwise_expected) {
    EXPECT_EQ(click(data_selector_ccw), 1);
    EXPECT_EQ(ins_state.data_selector, expected);
  }
}

// ------------------------------------------------------------------------------------------------
// Waypoint selector

TEST_F(FunctionKeysTest, ThumbwheelsFollowTheWrapTableFromEveryNumber) {
  // The selector shows 00..99. Units up counts on and wraps 99 to 00; units down counts back but
  // 00 goes to 09 (nothing to borrow from the tens); the tens wheel moves by ten and wraps alone.
  struct Wheel {
    const char* name;
    MouseRoutine routine;
    int (*expected)(int);
  };
  const Wheel wheels[] = {
      {"units up", thumbwheel_units_up, [](int n) { return (n + 1) % 100; }},
      {"units down", thumbwheel_units_down, [](int n) { return n == 0 ? 9 : n - 1; }},
      {"tens up", thumbwheel_tens_up, [](int n) { return (n + 10) % 100; }},
      {"tens down", thumbwheel_tens_down, [](int n) { return (n + 90) % 100; }},
  };
  for (const Wheel& wheel : wheels) {
    for (int start = 0; start <= 99; ++start) {
      set_wheels(start);
      ins_state.waypoint_load_request = 0;
      EXPECT_EQ(click(wheel.routine), 0);
      EXPECT_EQ(wheel_number(), wheel.expected(start)) << wheel.name << " from " << start;
      EXPECT_EQ(ins_state.waypoint_load_request, 1) << wheel.name << " from " << start;
    }
  }
}

TEST_F(FunctionKeysTest, ThumbwheelEdgeCasesReadAsOnTheWheels) {
  // The cases a pilot notices, written out digit by digit.
  struct Case {
    MouseRoutine routine;
    int8_t tens, units, tens_after, units_after;
  };
  const Case cases[] = {
      {thumbwheel_units_up, 9, 9, 0, 0},   {thumbwheel_units_up, 0, 9, 1, 0},
      {thumbwheel_units_down, 0, 0, 0, 9}, {thumbwheel_units_down, 1, 0, 0, 9},
      {thumbwheel_tens_down, 0, 5, 9, 5},  {thumbwheel_tens_up, 9, 5, 0, 5},
  };
  for (const Case& c : cases) {
    ins_state.thumbwheel_tens = c.tens;
    ins_state.thumbwheel_units = c.units;
    click(c.routine);
    EXPECT_EQ(ins_state.thumbwheel_tens, c.tens_after) << int(c.tens) << int(c.units);
    EXPECT_EQ(ins_state.thumbwheel_units, c.units_after) << int(c.tens) << int(c.units);
  }
}

TEST_F(FunctionKeysTest, AHeldThumbwheelStepsOnEveryRepeatedCall) {
  // No latch: with neither power nor an entry, every repeat moves the wheel.
  for (int i = 0; i < 12; ++i) repeat(thumbwheel_units_up);
  EXPECT_EQ(wheel_number(), 12);
  for (int i = 0; i < 3; ++i) repeat(thumbwheel_tens_down);
  EXPECT_EQ(wheel_number(), 82);
}

// ------------------------------------------------------------------------------------------------
// WYPT CHG

TEST_F(FunctionKeysTest, WyptChgAdvancesTheToWaypointWithPower) {
  powered_without_entry();
  ins_state.to_waypoint = 5;
  ins_state.from_waypoint = 4;
  clear_reload_requests();
  set_var(HOST_VAR_TICK, 1000.7);

  EXPECT_EQ(click(wypt_chg_key), 0);

  EXPECT_EQ(ins_state.to_waypoint, 6);
  EXPECT_EQ(ins_state.reload_to_waypoint, 1);
  EXPECT_EQ(ins_state.reload_from_waypoint, 1);
  EXPECT_EQ(ins_state.from_waypoint, 4);  // only the navigation computer changes FROM
  EXPECT_EQ(ins_state.wypt_chg_pressed, 1);
  EXPECT_EQ(ins_state.tick, 1000);
  EXPECT_EQ(ins_state.wypt_chg_release_tick, 1005);
}

TEST_F(FunctionKeysTest, WyptChgWrapsFrom99To00) {
  powered_without_entry();
  ins_state.to_waypoint = 99;
  clear_reload_requests();
  click(wypt_chg_key);
  EXPECT_EQ(ins_state.to_waypoint, 0);
  EXPECT_EQ(ins_state.reload_to_waypoint, 1);
  EXPECT_EQ(ins_state.reload_from_waypoint, 1);
}

TEST_F(FunctionKeysTest, WyptChgWithoutPowerOrDuringAnEntryLeavesTheLegAlone) {
  struct Case {
    const char* name;
    uint8_t powered, entry_open;
  };
  const Case cases[] = {{"no power", 0, 0}, {"open entry", 1, 1}, {"both", 0, 1}};
  for (const Case& c : cases) {
    reset_module_for_tests();
    ins_state.ins_powered = c.powered;
    ins_state.waypoint_entry_mode = c.entry_open;
    ins_state.to_waypoint = 12;
    clear_reload_requests();
    set_var(HOST_VAR_TICK, 40.0);

    click(wypt_chg_key);

    EXPECT_EQ(ins_state.to_waypoint, 12) << c.name;
    EXPECT_EQ(ins_state.reload_to_waypoint, 0) << c.name;
    EXPECT_EQ(ins_state.reload_from_waypoint, 0) << c.name;
    EXPECT_EQ(ins_state.wypt_chg_pressed, 1) << c.name;  // the latch works in every case
    EXPECT_EQ(ins_state.wypt_chg_release_tick, 45) << c.name;
  }
}

TEST_F(FunctionKeysTest, WyptChgDuringAnEntryStillDisarmsLastWpt) {
  ins_state.ins_powered = 1;
  ins_state.waypoint_entry_mode = 1;
  ins_state.entry_position = 9;
  ins_state.to_waypoint = 7;
  ins_state.last_wpt_mode = 1;
  ins_state.last_wpt_limit = 7;
  ins_state.last_wpt_pressed = 1;

  click(wypt_chg_key);

  EXPECT_EQ(ins_state.to_waypoint, 7);
  EXPECT_EQ(ins_state.last_wpt_mode, 0);
  EXPECT_EQ(ins_state.last_wpt_limit, 99);
  EXPECT_EQ(ins_state.last_wpt_pressed, 0);
  EXPECT_EQ(ins_state.entry_position, 0);
  EXPECT_EQ(ins_state.waypoint_entry_mode, 1);  // the entry itself stays open
}

TEST_F(FunctionKeysTest, LastWptThenWyptChgGoesBackTo00AndKeepsTheFromWaypoint) {
  powered_without_entry();
  ins_state.to_waypoint = 7;
  ins_state.from_waypoint = 6;
  ins_state.entry_position = 3;
  set_var(HOST_VAR_TICK, 300.0);

  click(last_wpt_key);
  ASSERT_EQ(ins_state.last_wpt_mode, 1);
  ASSERT_EQ(ins_state.last_wpt_limit, 7);
  ASSERT_EQ(ins_state.last_wpt_pressed, 1);

  clear_reload_requests();
  set_var(HOST_VAR_TICK, 302.0);
  click(wypt_chg_key);

  EXPECT_EQ(ins_state.to_waypoint, 0);
  EXPECT_EQ(ins_state.reload_to_waypoint, 1);
  EXPECT_EQ(ins_state.reload_from_waypoint, 0);  // FROM keeps the position it had
  EXPECT_EQ(ins_state.from_waypoint, 6);
  EXPECT_EQ(ins_state.last_wpt_mode, 0);
  EXPECT_EQ(ins_state.last_wpt_limit, 99);
  EXPECT_EQ(ins_state.last_wpt_pressed, 0);  // its lamp may light again at once
  EXPECT_EQ(ins_state.entry_position, 0);
  EXPECT_EQ(ins_state.wypt_chg_release_tick, 307);
}

TEST_F(FunctionKeysTest, AHeldWyptChgStepsOncePerReleaseOfItsLatch) {
  powered_without_entry();
  ins_state.to_waypoint = 3;
  set_var(HOST_VAR_TICK, 100.0);
  click(wypt_chg_key);
  for (int held_tick = 101; held_tick <= 104; ++held_tick) {
    set_var(HOST_VAR_TICK, held_tick);
    repeat(wypt_chg_key);
    EXPECT_EQ(ins_state.wypt_chg_release_tick, held_tick + 5);
  }
  EXPECT_EQ(ins_state.to_waypoint, 4);

  release(ins_state.wypt_chg_pressed, ins_state.wypt_chg_release_tick);
  repeat(wypt_chg_key);
  EXPECT_EQ(ins_state.to_waypoint, 5);
}

// ------------------------------------------------------------------------------------------------
// LAST WPT

TEST_F(FunctionKeysTest, LastWptArmsOnTheToWaypointAndDisarmsOnTheNextPress) {
  powered_without_entry();
  ins_state.to_waypoint = 23;
  ins_state.entry_position = 5;
  set_var(HOST_VAR_TICK, 70.0);

  EXPECT_EQ(click(last_wpt_key), 0);
  EXPECT_EQ(ins_state.last_wpt_mode, 1);
  EXPECT_EQ(ins_state.last_wpt_limit, 23);
  EXPECT_EQ(ins_state.entry_position, 0);
  EXPECT_EQ(ins_state.last_wpt_pressed, 1);
  EXPECT_EQ(ins_state.tick, 70);
  EXPECT_EQ(ins_state.last_wpt_release_tick, 75);

  release(ins_state.last_wpt_pressed, ins_state.last_wpt_release_tick);
  click(last_wpt_key);
  EXPECT_EQ(ins_state.last_wpt_mode, 0);
  EXPECT_EQ(ins_state.last_wpt_limit, 99);
}

TEST_F(FunctionKeysTest, LastWptDoesNotArmWithoutPowerOrDuringAnEntry) {
  struct Case {
    const char* name;
    uint8_t powered, entry_open, armed_before;
  };
  const Case cases[] = {
      {"no power", 0, 0, 0},
      {"open entry", 1, 1, 0},
      {"no power, armed", 0, 0, 1},
      {"open entry, armed", 1, 1, 1},
  };
  for (const Case& c : cases) {
    reset_module_for_tests();
    ins_state.ins_powered = c.powered;
    ins_state.waypoint_entry_mode = c.entry_open;
    ins_state.to_waypoint = 15;
    ins_state.last_wpt_mode = c.armed_before;
    ins_state.last_wpt_limit = c.armed_before ? 15 : 99;
    ins_state.entry_position = 12;

    click(last_wpt_key);

    EXPECT_EQ(ins_state.last_wpt_mode, 0) << c.name;
    EXPECT_EQ(ins_state.last_wpt_limit, 99) << c.name;
    EXPECT_EQ(ins_state.entry_position, 0) << c.name;
    EXPECT_EQ(ins_state.last_wpt_pressed, 1) << c.name;
    EXPECT_EQ(ins_state.waypoint_entry_mode, c.entry_open) << c.name;
  }
}

// ------------------------------------------------------------------------------------------------
// HOLD

TEST_F(FunctionKeysTest, HoldEngagesOnlyWithBothPermitsAlignmentAndPower) {
  // Every combination of the four conditions; only all four together engage.
  for (int mask = 0; mask < 16; ++mask) {
    reset_module_for_tests();
    const bool master = (mask & 1) != 0;
    const bool heading_mode = (mask & 2) != 0;
    const bool aligned = (mask & 4) != 0;
    const bool powered = (mask & 8) != 0;
    set_var(HOST_VAR_AP_MASTER, master ? 1.0 : 0.0);
    set_var(HOST_VAR_AP_HEADING, heading_mode ? 1.0 : 0.0);
    ins_state.nav_ready = aligned ? 1 : 0;
    ins_state.ins_powered = powered ? 1 : 0;

    EXPECT_EQ(click(hold_key), 0);

    EXPECT_EQ(ins_state.hold_active, mask == 15 ? 1 : 0) << "conditions " << mask;
    EXPECT_EQ(ins_state.coupling_permit_103, master ? 1 : 0) << "conditions " << mask;
    EXPECT_EQ(ins_state.coupling_permit_106, heading_mode ? 1 : 0) << "conditions " << mask;
    EXPECT_EQ(ins_state.hold_pressed, 1) << "conditions " << mask;
  }
}

TEST_F(FunctionKeysTest, HoldPermitsAreTruncatedCopiesOfTheHostValues) {
  ins_state.nav_ready = 1;
  ins_state.ins_powered = 1;
  set_var(HOST_VAR_AP_MASTER, 1.9);
  set_var(HOST_VAR_AP_HEADING, 0.99);
  click(hold_key);
  EXPECT_EQ(ins_state.coupling_permit_103, 1);
  EXPECT_EQ(ins_state.coupling_permit_106, 0);
  EXPECT_EQ(ins_state.hold_active, 0);
}

TEST_F(FunctionKeysTest, HoldPressedWhileEngagedAlwaysReleases) {
  ins_state.nav_ready = 1;
  ins_state.ins_powered = 1;
  set_var(HOST_VAR_AP_MASTER, 1.0);
  set_var(HOST_VAR_AP_HEADING, 1.0);
  set_var(HOST_VAR_TICK, 500.0);
  click(hold_key);
  ASSERT_EQ(ins_state.hold_active, 1);
  EXPECT_EQ(ins_state.hold_release_tick, 505);

  release(ins_state.hold_pressed, ins_state.hold_release_tick);
  click(hold_key);  // every condition still met
  EXPECT_EQ(ins_state.hold_active, 0);

  release(ins_state.hold_pressed, ins_state.hold_release_tick);
  click(hold_key);
  EXPECT_EQ(ins_state.hold_active, 1);
}

// ------------------------------------------------------------------------------------------------
// Press latch shared by HOLD, LAST WPT and WYPT CHG

TEST_F(FunctionKeysTest, ALatchedKeyDoesNotActButMovesItsReleaseTick) {
  // Each key is set up so that, released, one press would act; with its latch still set by an
  // earlier press the click changes nothing but the latch.
  struct LatchedKey {
    const char* name;
    MouseRoutine routine;
    int32_t* pressed;
    int32_t* release_tick;
  };
  const LatchedKey keys[] = {
      {"HOLD", hold_key, &ins_state.hold_pressed, &ins_state.hold_release_tick},
      {"LAST WPT", last_wpt_key, &ins_state.last_wpt_pressed, &ins_state.last_wpt_release_tick},
      {"WYPT CHG", wypt_chg_key, &ins_state.wypt_chg_pressed, &ins_state.wypt_chg_release_tick},
  };
  for (const LatchedKey& key : keys) {
    reset_module_for_tests();
    powered_without_entry();
    ins_state.nav_ready = 1;
    ins_state.to_waypoint = 8;
    clear_reload_requests();
    set_var(HOST_VAR_AP_MASTER, 1.0);
    set_var(HOST_VAR_AP_HEADING, 1.0);
    // Pressed at tick 200; the CDU cycle missed tick 205, so the key is still latched.
    *key.pressed = 1;
    *key.release_tick = 205;
    set_var(HOST_VAR_TICK, 230.0);

    click(key.routine);

    EXPECT_EQ(ins_state.hold_active, 0) << key.name;
    EXPECT_EQ(ins_state.coupling_permit_103, 0) << key.name;  // HOLD did not read the permits
    EXPECT_EQ(ins_state.last_wpt_mode, 0) << key.name;
    EXPECT_EQ(ins_state.last_wpt_limit, 99) << key.name;
    EXPECT_EQ(ins_state.to_waypoint, 8) << key.name;
    EXPECT_EQ(ins_state.reload_to_waypoint, 0) << key.name;
    EXPECT_EQ(*key.pressed, 1) << key.name;
    EXPECT_EQ(ins_state.tick, 230) << key.name;
    EXPECT_EQ(*key.release_tick, 235) << key.name;
  }
}

TEST_F(FunctionKeysTest, ALatchedLastWptKeepsItsModeButClearsTheEntryPosition) {
  // Armed, latched: the press neither disarms nor rearms, but entry_position goes to 0.
  powered_without_entry();
  ins_state.last_wpt_mode = 1;
  ins_state.last_wpt_limit = 4;
  ins_state.last_wpt_pressed = 1;
  ins_state.entry_position = 6;
  click(last_wpt_key);
  EXPECT_EQ(ins_state.last_wpt_mode, 1);
  EXPECT_EQ(ins_state.last_wpt_limit, 4);
  EXPECT_EQ(ins_state.entry_position, 0);
}

TEST_F(FunctionKeysTest, ReleaseTickFollowsTheCounterPastItsLargestValue) {
  // The host's counter read as a 32-bit value wraps; a deadline 5 ticks after its largest value
  // is what the counter reads 5 ticks later, not an overflow.
  const double counter = 2147483647.0;
  const int32_t five_later = static_cast<int32_t>(static_cast<int64_t>(counter) + 5 - 4294967296LL);
  ASSERT_EQ(five_later, -2147483644);
  set_var(HOST_VAR_TICK, counter);
  click(hold_key);
  EXPECT_EQ(ins_state.hold_release_tick, five_later);
  ins_state.ins_powered = 1;
  click(lamp_test_spot);
  EXPECT_EQ(ins_state.lamp_test_end_tick,
            static_cast<int32_t>(static_cast<int64_t>(counter) + 90 - 4294967296LL));
}

// ------------------------------------------------------------------------------------------------
// AUTO/MAN selector

TEST_F(FunctionKeysTest, AutoManSelectorAlwaysHasExactlyOneSideSelected) {
  ASSERT_EQ(ins_state.auto_selected, 1);
  ASSERT_EQ(ins_state.man_selected, 0);
  const struct {
    MouseRoutine routine;
    uint8_t auto_after, man_after;
  } steps[] = {
      {switch_to_auto, 1, 0}, {switch_to_man, 0, 1},  {switch_to_man, 0, 1},
      {switch_to_auto, 1, 0}, {switch_to_auto, 1, 0},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(click(step.routine), 0);
    EXPECT_EQ(ins_state.auto_selected, step.auto_after);
    EXPECT_EQ(ins_state.man_selected, step.man_after);
  }
}

// ------------------------------------------------------------------------------------------------
// Lamp test spot

TEST_F(FunctionKeysTest, LampTestStartsWithPowerFor90TicksAndASecondClickStopsIt) {
  ins_state.ins_powered = 1;
  set_var(HOST_VAR_TICK, 1234.5);
  EXPECT_EQ(click(lamp_test_spot), 0);
  EXPECT_EQ(ins_state.lamp_test_active, 1);
  EXPECT_EQ(ins_state.tick, 1234);
  EXPECT_EQ(ins_state.lamp_test_end_tick, 1234 + 90);

  set_var(HOST_VAR_TICK, 1250.0);
  click(lamp_test_spot);
  EXPECT_EQ(ins_state.lamp_test_active, 0);

  // A new test counts its 90 ticks from the click that starts it.
  set_var(HOST_VAR_TICK, 1260.0);
  click(lamp_test_spot);
  EXPECT_EQ(ins_state.lamp_test_active, 1);
  EXPECT_EQ(ins_state.lamp_test_end_tick, 1260 + 90);
}

TEST_F(FunctionKeysTest, LampTestWithoutPowerCanOnlyStop) {
  ASSERT_EQ(ins_state.ins_powered, 0);
  click(lamp_test_spot);
  EXPECT_EQ(ins_state.lamp_test_active, 0);

  ins_state.lamp_test_active = 1;  // started before the power went
  click(lamp_test_spot);
  EXPECT_EQ(ins_state.lamp_test_active, 0);
}

// ------------------------------------------------------------------------------------------------
// Flight-plan spot

TEST_F(FunctionKeysTest, PlanSpotRequestsTheImportOnlyWhenThePlanFileIsThere) {
  // Neither power nor an entry matters.
  ins_state.waypoint_entry_mode = 1;
  EXPECT_EQ(click(plan_spot), 0);
  EXPECT_EQ(ins_state.plan_import_request, 0);

  workdir.write("PLAN.PLN", "[flightplan]\n");
  click(plan_spot);
  EXPECT_EQ(ins_state.plan_import_request, 1);
  EXPECT_TRUE(workdir.exists("PLAN.PLN"));  // the import opens it again in the next cycle

  std::filesystem::remove(workdir.path() / "PLAN.PLN");
  click(plan_spot);
  EXPECT_EQ(ins_state.plan_import_request, 0);
}
