// The mode selector unit ("ALIGN" gauge): the OFF/STBY/ALIGN/NAV knob, power, the two-minute
// alignment countdown and the BAT and READY NAV lamps. It is the only writer of `ins_powered`
// and `nav_ready`, which the CDU and the navigation computer wait on.
//
// An alignment may only run while the aircraft stands still at the position stored as
// waypoint 0. The knob starts it (on a step into ALIGN), the frame cycle checks waypoint 0 and
// the ground speed and counts it down: the status digit falls from 9 by one every 270 ticks
// (15 s); at status 5 (60 s) `nav_ready` rises, at status 1 (120 s) the countdown ends.
#include "msu/mode_selector.h"

#include <cmath>

#include "core/convert.h"
#include "state/gauge_elements.h"
#include "state/host_bridge.h"
#include "state/ins_state.h"
#include "state/sound_cues.h"
#include "store/waypoint_file.h"

namespace {

constexpr int32_t ALIGN_LENGTH_TICKS = 2160;  // 120 s at 18 ticks a second
constexpr int32_t STATUS_STEP_TICKS = 270;    // 15 s per status digit
constexpr double POSITION_TOLERANCE_RAD = 0.0001;
constexpr double STANDSTILL_LIMIT_KT = 1.0;
// What the waypoint 0 check leaves when there is no waypoint 0 to compare with (no file, no
// line numbered 0, or a coordinate that does not read as a number): a difference no real
// position gives (more than 2 pi), so the check counts as a mismatch and no alignment starts
// or goes on.
constexpr double NO_WAYPOINT_ZERO_DIFF_RAD = 10.0;

// Status digits of the countdown: the digit a mark sets, counted back from the end tick.
constexpr uint8_t STATUS_START = 9;
constexpr uint8_t STATUS_NAV_READY = 5;
constexpr uint8_t STATUS_COMPLETE = 1;

void clear_alignment() {
  ins_state.align_status = 0;
  ins_state.nav_ready = 0;
  ins_state.align_running = 0;
  ins_state.align_end_pending = 0;
}

// Ends the countdown but keeps the digit and `nav_ready` (leaving ALIGN for NAV after status 5).
void stop_countdown() {
  ins_state.align_running = 0;
  ins_state.align_end_pending = 0;
}

// The differences are those of the last waypoint 0 check (0.0 at load).
bool alignment_may_start() {
  return ins_state.nav_ready == 0 && ins_state.ins_powered == 1 && ins_state.align_running == 0 &&
         ins_state.align_lat_diff < POSITION_TOLERANCE_RAD &&
         ins_state.align_lon_diff < POSITION_TOLERANCE_RAD;
}

void start_alignment() {
  ins_state.align_status = STATUS_START;
  ins_state.align_tick = read_host_tick();
  ins_state.align_end_tick = ticks_after(ins_state.align_tick, ALIGN_LENGTH_TICKS);
  ins_state.align_end_pending = 1;
  ins_state.align_running = 1;
}

// --- Frame cycle steps.

void refresh_power() {
  ins_state.battery_power = truncate_to<uint8_t>(refresh_host_var(HV_BATTERY));
  ins_state.main_power = truncate_to<uint8_t>(refresh_host_var(HV_MAIN_POWER));
  const bool source_on = ins_state.main_power == 1 || ins_state.battery_power == 1;
  ins_state.ins_powered = source_on && ins_state.mode_selector != KNOB_OFF ? 1 : 0;
}

// Distances of the present position from waypoint 0, per axis, in radians (longitude west
// positive on both sides, not scaled by the cosine of latitude). Reads the waypoint file, so it
// runs only while an alignment can still be started or aborted at ALIGN.
void check_waypoint_zero() {
  double waypoint_lat = NAN;
  double waypoint_lon = NAN;
  load_waypoint(0, waypoint_lat, waypoint_lon, ins_state.file_waypoint_number);
  const bool stored = std::isfinite(waypoint_lat) && std::isfinite(waypoint_lon);
  ins_state.align_lat_diff =
      stored ? std::fabs(ins_state.present_lat - waypoint_lat) : NO_WAYPOINT_ZERO_DIFF_RAD;
  ins_state.align_lon_diff =
      stored ? std::fabs(ins_state.present_lon - waypoint_lon) : NO_WAYPOINT_ZERO_DIFF_RAD;
}

// Movement or a misplaced waypoint 0 before status 5 throws the alignment away; the knob must
// leave ALIGN and come back to start again. After status 5 nothing here clears it.
void abort_if_disturbed() {
  if (ins_state.nav_ready != 0) return;
  if (ins_state.mode_selector != KNOB_ALIGN && ins_state.mode_selector != KNOB_NAV) return;
  // Written so that a NaN difference or speed counts as disturbed too.
  const bool at_rest = ins_state.ground_speed <= STANDSTILL_LIMIT_KT;
  const bool in_place = ins_state.align_lat_diff < POSITION_TOLERANCE_RAD &&
                        ins_state.align_lon_diff < POSITION_TOLERANCE_RAD;
  if (at_rest && in_place) return;
  ins_state.align_status = 0;
  stop_countdown();
}

// Takes the latest mark that the tick has reached or passed: frames may step over a mark's own
// tick (below 18 frames a second, or when the rate changes), and a mark missed that way must not
// hold the digit or keep nav_ready down. Moving while the countdown runs (after status 5, since
// before it the abort has already stopped it) drops the end: the digit freezes and no later mark
// is taken until the knob clears or stops the alignment.
void run_countdown() {
  if (ins_state.align_running != 1 || !(ins_state.ground_speed <= STANDSTILL_LIMIT_KT)) {
    ins_state.align_end_pending = 0;
    return;
  }
  ins_state.align_tick = read_host_tick();
  if (ins_state.align_end_pending != 1) return;
  const int32_t end = ins_state.align_end_tick;
  const int32_t tick = ins_state.align_tick;
  if (tick_reached(tick, end)) {
    ins_state.align_status = STATUS_COMPLETE;
    stop_countdown();
    return;
  }
  // From the latest mark back: the first one reached gives the digit.
  for (uint8_t status = STATUS_COMPLETE + 1; status < STATUS_START; ++status) {
    const int32_t mark =
        ticks_after(end, -static_cast<int32_t>(status - STATUS_COMPLETE) * STATUS_STEP_TICKS);
    if (tick_reached(tick, mark)) {
      ins_state.align_status = status;
      if (status <= STATUS_NAV_READY) ins_state.nav_ready = 1;
      return;
    }
  }
}

void update_lamps() {
  ElementHeader& bat_lamp = align_element(ALIGN_DEPTH_BAT_LIT);
  if (ins_state.mode_selector != KNOB_OFF && ins_state.ins_powered == 0) {
    show(bat_lamp);
  } else {
    hide(bat_lamp);
  }
  // Dark at NAV: the lamp tells the crew the INS may now be switched to NAV.
  ElementHeader& ready_nav_lamp = align_element(ALIGN_DEPTH_READY_NAV_LIT);
  if (ins_state.mode_selector == KNOB_ALIGN && ins_state.nav_ready == 1 &&
      ins_state.ins_powered == 1) {
    show(ready_nav_lamp);
  } else {
    hide(ready_nav_lamp);
  }
}

void align_frame() {
  bind_sound_library(SERVICE_PRE_UPDATE);
  ins_state.align_tick = read_host_tick();
  refresh_power();
  if (ins_state.mode_selector == KNOB_ALIGN && ins_state.nav_ready == 0) check_waypoint_zero();
  abort_if_disturbed();
  run_countdown();
  update_lamps();
}

}  // namespace

void GAUGE_CALLBACK align_service(GaugeHeader*, int32_t service_code, uint32_t) {
  switch (service_code) {
    case SERVICE_PRE_INITIALIZE:
      bind_sound_library(SERVICE_PRE_INITIALIZE);
      break;
    case SERVICE_PRE_UPDATE:
      align_frame();
      break;
    case SERVICE_PRE_KILL:
      bind_sound_library(SERVICE_PRE_KILL);
      break;
    default:
      break;
  }
}

int32_t GAUGE_CALLBACK mode_knob_cw(const MousePoint*, uint32_t) {
  if (ins_state.mode_selector <= KNOB_OFF) clear_alignment();
  if (ins_state.mode_selector == KNOB_ALIGN && ins_state.nav_ready == 1) stop_countdown();
  if (ins_state.mode_selector == KNOB_STBY && alignment_may_start()) start_alignment();
  if (ins_state.mode_selector < KNOB_NAV) {
    ++ins_state.mode_selector;
    play_sound_cue(SOUND_TOGGLE);
  } else {
    ins_state.mode_selector = KNOB_NAV;  // against the end stop: no movement, no sound
  }
  return 1;
}

int32_t GAUGE_CALLBACK mode_knob_ccw(const MousePoint*, uint32_t) {
  if (ins_state.mode_selector == KNOB_ALIGN) clear_alignment();
  if (ins_state.mode_selector == KNOB_NAV && alignment_may_start()) start_alignment();
  if (ins_state.mode_selector > KNOB_OFF) {
    --ins_state.mode_selector;
    play_sound_cue(SOUND_TOGGLE);
  } else {
    ins_state.mode_selector = KNOB_OFF;  // against the end stop: no movement, no sound
  }
  return 1;
}

double GAUGE_CALLBACK mode_knob_image(ElementHeader*) {
  return ins_state.mode_selector;
}
