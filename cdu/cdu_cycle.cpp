// The CDU's per-frame housekeeping. The key routines only set flags and release ticks; this cycle
// turns them into images, runs a requested flight-plan import, fills the entry digits from the
// waypoint store when asked, and ends the lamp test.
#include "cdu/cdu_cycle.h"

#include <algorithm>
#include <cmath>

#include "cdu/flight_plan_import.h"
#include "cdu/function_keys.h"
#include "cdu/key_latch.h"
#include "core/convert.h"
#include "core/geodesy.h"
#include "state/gauge_elements.h"
#include "state/host_bridge.h"
#include "state/ins_state.h"
#include "state/sound_cues.h"
#include "store/waypoint_file.h"

namespace {

constexpr int32_t HUNDREDTHS_PER_DEGREE = 6000;
constexpr double MAX_SHOWN_DEGREES = 999.0;

// The digits of one axis of a loaded position: whole degrees and minutes to the hundredth.
struct AxisDigits {
  int32_t degrees;            // absolute whole degrees
  int32_t minute_hundredths;  // absolute minutes x 100, 0..5999
};

// Splits an angle in radians into absolute whole degrees and minutes rounded to the hundredth.
// The minutes are rounded once and every minute digit comes from that one rounded value, so a
// value such as 12.996' reads 13.00' (not 12.00'), and a rounding that reaches 60' carries into
// the degrees.
AxisDigits split_axis(double radians) {
  // No position lies beyond 999 degrees; a file value that does (junk written by hand) is held
  // there so that the whole-degree arithmetic below stays within its integer range.
  // The split nudges a value a hair below a whole degree up to that degree, as the windows do.
  const DegreesMinutes split =
      split_degrees(std::clamp(radians * DEG_PER_RADIAN, -MAX_SHOWN_DEGREES, MAX_SHOWN_DEGREES));
  AxisDigits digits{split.abs_whole, truncate_to<int32_t>((split.abs_minutes + 0.005) * 100.0)};
  if (digits.minute_hundredths >= HUNDREDTHS_PER_DEGREE) {
    digits.degrees += 1;
    digits.minute_hundredths -= HUNDREDTHS_PER_DEGREE;
  }
  return digits;
}

void store_minute_digits(int32_t hundredths, double& tens, double& units, double& tenths,
                         double& hundredths_digit) {
  tens = hundredths / 1000;
  units = hundredths / 100 % 10;
  tenths = hundredths / 10 % 10;
  hundredths_digit = hundredths % 10;
}

// One pressed-key image: show while the key is held, release the latch in the first frame at or
// past its release tick, then hide. The release tick means something only while the key is
// pressed; no tick value stands for "no release pending". `kept_shown` keeps the image up after
// the release (SET and LAST WPT stay down while their mode is on). Small enough to be inlined
// in update_lamps, which runs it for sixteen images every frame, nearly always for a key that
// is not pressed.
void update_pressed_image(ElementHeader& image, int32_t& pressed, int32_t release_tick,
                          bool kept_shown) {
  if (pressed == 1) {
    show(image);
    if (tick_span_over(ins_state.tick, release_tick, KEY_LATCH_TICKS)) pressed = 0;
  }
  if (pressed == 0 && !kept_shown) hide(image);
}

// A lamp that is hidden under one condition and shown under another; when both hold, the lamp
// shows, and when neither holds it keeps its state.
void update_lamp(ElementHeader& lamp, bool hide_when, bool show_when) {
  if (hide_when) hide(lamp);
  if (show_when) show(lamp);
}

}  // namespace

void GAUGE_CALLBACK ins_service(GaugeHeader*, int32_t service_code, uint32_t) {
  switch (service_code) {
    case SERVICE_PRE_INITIALIZE:
    case SERVICE_PRE_KILL:
      bind_sound_library(service_code);
      break;
    case SERVICE_PRE_UPDATE:
      cdu_frame_cycle();
      break;
    default:
      break;
  }
}

void cdu_frame_cycle() {
  InsState& s = ins_state;
  bind_sound_library(SERVICE_PRE_UPDATE);
  s.tick = read_host_tick();
  const bool importing = s.plan_import_request == 1;
  const bool loading_entry = s.waypoint_entry_mode == 1 && s.waypoint_load_request == 1;
  if (importing) import_flight_plan();
  if (loading_entry) load_entry_from_store();
  s.waypoint_load_request = 0;
  s.battery_power = truncate_to<uint8_t>(refresh_host_var(HV_BATTERY));
  s.main_power = truncate_to<uint8_t>(refresh_host_var(HV_MAIN_POWER));
  // The tick again after a frame's file work, which may have taken a while. In an ordinary
  // frame only the two power reads lie between, and the host's counter does not move within
  // one service call (the module runs on the panel thread, between the host's frames), so the
  // first read is still the tick: the second one, a round trip into the host, is left out.
  if (importing || loading_entry) s.tick = read_host_tick();
  update_lamps();
  // The lamps were drawn lit for the frame in which the test expires; they go dark on the next.
  if (s.lamp_test_active == 1 && tick_span_over(s.tick, s.lamp_test_end_tick, LAMP_TEST_TICKS)) {
    s.lamp_test_active = 0;
  }
}

void load_entry_from_store() {
  InsState& s = ins_state;
  s.selected_waypoint = static_cast<uint8_t>(s.thumbwheel_tens * 10 + s.thumbwheel_units);
  // A missing file or no matching line leaves the previous position (zero at load) in place.
  load_waypoint(s.selected_waypoint, s.loaded_lat, s.loaded_lon, s.file_waypoint_number);

  s.entry_north = s.loaded_lat >= 0.0 ? 1 : 0;
  s.entry_south = s.entry_north == 1 ? 0 : 1;
  s.entry_west = s.loaded_lon >= 0.0 ? 1 : 0;  // stored longitudes are west-positive
  s.entry_east = s.entry_west == 1 ? 0 : 1;

  const AxisDigits lat = split_axis(s.loaded_lat);
  s.entry_lat_deg_tens = lat.degrees / 10;
  s.entry_lat_deg_units = lat.degrees % 10;
  store_minute_digits(lat.minute_hundredths, s.entry_lat_min_tens, s.entry_lat_min_units,
                      s.entry_lat_min_tenths, s.entry_lat_min_hundredths);

  const AxisDigits lon = split_axis(s.loaded_lon);
  s.entry_lon_deg_hundreds = lon.degrees / 100;
  s.entry_lon_deg_tens = lon.degrees / 10 % 10;
  s.entry_lon_deg_units = lon.degrees % 10;
  store_minute_digits(lon.minute_hundredths, s.entry_lon_min_tens, s.entry_lon_min_units,
                      s.entry_lon_min_tenths, s.entry_lon_min_hundredths);
}

void update_lamps() {
  InsState& s = ins_state;
  const bool test = s.lamp_test_active == 1;
  // The chain's elements by depth, for the frame's twenty-three changes.
  ElementHeader* const* const chain = ins_chain;

  update_lamp(*chain[INS_DEPTH_HOLD_LIT], s.hold_active == 0, s.hold_active == 1 || test);
  update_pressed_image(*chain[INS_DEPTH_HOLD_PRESSED], s.hold_pressed, s.hold_release_tick, false);

  update_lamp(
      *chain[INS_DEPTH_SET_LIT],
      (s.waypoint_entry_mode == 0 || (s.waypoint_entry_mode == 1 && s.set_pressed == 1)) && !test,
      (s.set_pressed == 0 && s.waypoint_entry_mode == 1) || test);
  update_pressed_image(*chain[INS_DEPTH_SET_PRESSED], s.set_pressed, s.set_release_tick,
                       s.waypoint_entry_mode != 0);
  update_pressed_image(*chain[INS_DEPTH_INSERT_PRESSED], s.insert_pressed, s.insert_release_tick,
                       false);

  update_lamp(*chain[INS_DEPTH_LAST_WPT_LIT],
              (s.last_wpt_mode == 0 || (s.last_wpt_mode == 1 && s.last_wpt_pressed == 1)) && !test,
              (s.last_wpt_pressed == 0 && s.last_wpt_mode == 1) || test);
  update_pressed_image(*chain[INS_DEPTH_LAST_WPT_PRESSED], s.last_wpt_pressed,
                       s.last_wpt_release_tick, s.last_wpt_mode != 0);
  update_pressed_image(*chain[INS_DEPTH_WYPT_CHG_PRESSED], s.wypt_chg_pressed,
                       s.wypt_chg_release_tick, false);
  update_pressed_image(*chain[INS_DEPTH_CLEAR_PRESSED], s.clear_pressed, s.clear_release_tick,
                       false);
  for (int digit = 0; digit < DIGIT_KEY_COUNT; ++digit) {
    update_pressed_image(*chain[INS_DEPTH_KEY0_PRESSED + digit], s.digit_pressed[digit],
                         s.digit_release_tick[digit], false);
  }

  update_lamp(*chain[INS_DEPTH_SWITCH_AUTO], s.auto_selected != 1, s.auto_selected == 1);
  update_lamp(*chain[INS_DEPTH_SWITCH_MAN], s.man_selected != 1, s.man_selected == 1);

  update_lamp(*chain[INS_DEPTH_BAT_LIT],
              (s.battery_power == 0 && s.main_power == 0) || s.main_power == 1,
              (s.battery_power == 1 && s.main_power == 0) || (s.main_power == 1 && test));
  // Between the two conditions (ground speed exactly 1 knot) the lamp keeps its state.
  update_lamp(
      *chain[INS_DEPTH_ALERT_LIT],
      s.ttg_minutes >= 2.0 || s.ttg_hours != 0 || s.ground_speed < 1.0 || s.ins_powered == 0,
      (s.ttg_minutes < 2.0 && s.ttg_hours == 0 && s.ground_speed > 1.0 && s.ins_powered == 1) ||
          test);
}
