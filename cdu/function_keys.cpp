// Mouse routines of the CDU controls other than the keyboard: the data selector, the waypoint
// selector wheels, WYPT CHG, LAST WPT, HOLD, the AUTO/MAN selector and the two hidden spots.
//
// These routines only change the shared state; the CDU cycle turns it into lamps and images, the
// display windows show what the data selector picks and the navigation computer acts on the TO
// waypoint, HOLD and AUTO/MAN. Every routine ignores the click point and the event flags: the
// boxes that the host repeats while the button is held (WYPT CHG and the wheels) are told apart
// only by their latch, or by having none.
#include "cdu/function_keys.h"

#include "cdu/flight_plan_import.h"
#include "cdu/key_latch.h"
#include "core/convert.h"
#include "state/host_bridge.h"
#include "state/ins_state.h"
#include "state/sound_cues.h"

namespace {

constexpr int8_t WHEEL_LAST = 9;
constexpr uint8_t LAST_WPT_DISARMED_LIMIT = 99;

void disarm_last_wpt() {
  ins_state.last_wpt_mode = 0;
  ins_state.last_wpt_limit = LAST_WPT_DISARMED_LIMIT;
}

// Every step of a wheel asks the CDU cycle to bring the newly selected waypoint's stored position
// into an open entry.
void wheel_moved() {
  ins_state.waypoint_load_request = 1;
}

void advance_to_waypoint() {
  ins_state.to_waypoint = static_cast<uint8_t>(ins_state.to_waypoint + 1);
  ins_state.reload_to_waypoint = 1;
  if (ins_state.last_wpt_mode == 0) {
    ins_state.reload_from_waypoint = 1;
    if (ins_state.to_waypoint > LAST_WAYPOINT_NUMBER) ins_state.to_waypoint = 0;
  } else if (ins_state.to_waypoint > ins_state.last_wpt_limit) {
    // LAST WPT armed: past the captured number the INS goes back to 00 and keeps the FROM
    // waypoint it had.
    ins_state.to_waypoint = 0;
  }
}

}  // namespace

// --- Data selector: stops at both ends; the toggle sound only when the knob really moves.

int32_t GAUGE_CALLBACK data_selector_cw(const MousePoint*, uint32_t) {
  const int next = ins_state.data_selector + 1;
  if (next <= SELECTOR_DSRTK_STS) {
    play_sound_cue(SOUND_TOGGLE);
    ins_state.data_selector = static_cast<int8_t>(next);
  }
  return 1;
}

int32_t GAUGE_CALLBACK data_selector_ccw(const MousePoint*, uint32_t) {
  const int next = ins_state.data_selector - 1;
  if (next >= SELECTOR_TK_GS) {
    play_sound_cue(SOUND_TOGGLE);
    ins_state.data_selector = static_cast<int8_t>(next);
  }
  return 1;
}

// --- Waypoint selector. The units wheel carries into the tens going up (99 goes to 00); going
// down it borrows from the tens only when there is something to borrow, so 10 goes to 09 and 00
// goes to 09. The tens wheel wraps on its own and leaves the units alone.

int32_t GAUGE_CALLBACK thumbwheel_units_up(const MousePoint*, uint32_t) {
  ins_state.thumbwheel_units = static_cast<int8_t>(ins_state.thumbwheel_units + 1);
  if (ins_state.thumbwheel_units > WHEEL_LAST) {
    ins_state.thumbwheel_units = 0;
    ins_state.thumbwheel_tens = static_cast<int8_t>(ins_state.thumbwheel_tens + 1);
    if (ins_state.thumbwheel_tens > WHEEL_LAST) ins_state.thumbwheel_tens = 0;
  }
  wheel_moved();
  return 0;
}

int32_t GAUGE_CALLBACK thumbwheel_units_down(const MousePoint*, uint32_t) {
  ins_state.thumbwheel_units = static_cast<int8_t>(ins_state.thumbwheel_units - 1);
  if (ins_state.thumbwheel_units < 0) {
    ins_state.thumbwheel_units = WHEEL_LAST;
    if (ins_state.thumbwheel_tens > 0) {
      ins_state.thumbwheel_tens = static_cast<int8_t>(ins_state.thumbwheel_tens - 1);
    }
  }
  wheel_moved();
  return 0;
}

int32_t GAUGE_CALLBACK thumbwheel_tens_up(const MousePoint*, uint32_t) {
  ins_state.thumbwheel_tens = static_cast<int8_t>(ins_state.thumbwheel_tens + 1);
  if (ins_state.thumbwheel_tens > WHEEL_LAST) ins_state.thumbwheel_tens = 0;
  wheel_moved();
  return 0;
}

int32_t GAUGE_CALLBACK thumbwheel_tens_down(const MousePoint*, uint32_t) {
  ins_state.thumbwheel_tens = static_cast<int8_t>(ins_state.thumbwheel_tens - 1);
  if (ins_state.thumbwheel_tens < 0) ins_state.thumbwheel_tens = WHEEL_LAST;
  wheel_moved();
  return 0;
}

// --- WYPT CHG: the next TO waypoint, once per press. The host repeats the call while the button
// is held; the latch lets only the first call of a press act.

int32_t GAUGE_CALLBACK wypt_chg_key(const MousePoint*, uint32_t) {
  const bool released =
      press_key_latch(ins_state.wypt_chg_pressed, ins_state.wypt_chg_release_tick);
  if (released && ins_state.waypoint_entry_mode == 0 && ins_state.ins_powered == 1) {
    advance_to_waypoint();
  }
  // Any click, acting or not, ends an armed LAST WPT and puts its lamp out at once.
  if (ins_state.last_wpt_mode == 1) {
    ins_state.last_wpt_pressed = 0;
    disarm_last_wpt();
    ins_state.entry_position = 0;
  }
  return 0;
}

// --- LAST WPT: arms on the present TO number, or disarms.

int32_t GAUGE_CALLBACK last_wpt_key(const MousePoint*, uint32_t) {
  if (press_key_latch(ins_state.last_wpt_pressed, ins_state.last_wpt_release_tick)) {
    if (ins_state.last_wpt_mode == 1 || ins_state.waypoint_entry_mode == 1 ||
        ins_state.ins_powered != 1) {
      disarm_last_wpt();
    } else {
      ins_state.last_wpt_mode = 1;
      ins_state.last_wpt_limit = ins_state.to_waypoint;
    }
  }
  ins_state.entry_position = 0;
  return 0;
}

// --- HOLD: engages the steering only with both autopilot conditions on, the alignment complete
// and power; a press on an engaged HOLD always releases it. The navigation computer may release
// it on its own later.

int32_t GAUGE_CALLBACK hold_key(const MousePoint*, uint32_t) {
  if (press_key_latch(ins_state.hold_pressed, ins_state.hold_release_tick)) {
    ins_state.coupling_permit_103 = truncate_to<uint8_t>(refresh_host_var(HV_AP_MASTER));
    ins_state.coupling_permit_106 = truncate_to<uint8_t>(refresh_host_var(HV_AP_HEADING));
    const bool may_engage = ins_state.hold_active == 0 && ins_state.coupling_permit_106 == 1 &&
                            ins_state.nav_ready == 1 && ins_state.coupling_permit_103 == 1 &&
                            ins_state.ins_powered == 1;
    ins_state.hold_active = may_engage ? 1 : 0;
  }
  return 0;
}

// --- AUTO/MAN selector: clicks only when it changes position.

int32_t GAUGE_CALLBACK switch_to_auto(const MousePoint*, uint32_t) {
  if (ins_state.auto_selected == 0) {
    play_sound_cue(SOUND_CLICK);
    ins_state.auto_selected = 1;
    ins_state.man_selected = 0;
  }
  return 0;
}

int32_t GAUGE_CALLBACK switch_to_man(const MousePoint*, uint32_t) {
  if (ins_state.man_selected == 0) {
    play_sound_cue(SOUND_CLICK);
    ins_state.man_selected = 1;
    ins_state.auto_selected = 0;
  }
  return 0;
}

// --- Lamp test spot: starts a 90-tick test with power; any other click stops a running one. The
// CDU cycle ends the test in the first frame at or past lamp_test_end_tick.

int32_t GAUGE_CALLBACK lamp_test_spot(const MousePoint*, uint32_t) {
  if (ins_state.lamp_test_active == 0 && ins_state.ins_powered == 1) {
    ins_state.lamp_test_active = 1;
    ins_state.tick = read_host_tick();
    ins_state.lamp_test_end_tick = ticks_after(ins_state.tick, LAMP_TEST_TICKS);
  } else {
    ins_state.lamp_test_active = 0;
  }
  return 0;
}

// --- Flight-plan spot: only asks for the import; the CDU cycle runs it in its next frame.

int32_t GAUGE_CALLBACK plan_spot(const MousePoint*, uint32_t) {
  request_flight_plan_import();
  return 0;
}
