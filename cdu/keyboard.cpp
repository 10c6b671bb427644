// The CDU keyboard: SET opens an entry for the waypoint on the wheels, the digit keys fill the
// entry field by field within the limits of a valid position, CLEAR steps back one field, and
// INSERT stores the complete entry in the waypoint file.
//
// The entry walks through the positions of EntryPosition (boundary/gauge_vocabulary.h); each names
// the field the next key fills: 0 idle, 1 latitude N/S, 2..7 latitude digits (dd mm.mm),
// 8 longitude E/W, 9..15 longitude digits (ddd mm.mm), 16 complete, 17 key 0 pressed past
// complete.
#include "cdu/keyboard.h"

#include "boundary/gauge_vocabulary.h"
#include "cdu/key_latch.h"
#include "core/convert.h"
#include "core/geodesy.h"
#include "state/host_bridge.h"
#include "state/ins_state.h"
#include "store/waypoint_file.h"

namespace {

// The digit field that the key at `position` fills, or null where no digit goes.
double* digit_field(int8_t position) {
  InsState& s = ins_state;
  switch (position) {
    case ENTRY_LAT_DEG_TENS:
      return &s.entry_lat_deg_tens;
    case ENTRY_LAT_DEG_UNITS:
      return &s.entry_lat_deg_units;
    case ENTRY_LAT_MIN_TENS:
      return &s.entry_lat_min_tens;
    case ENTRY_LAT_MIN_UNITS:
      return &s.entry_lat_min_units;
    case ENTRY_LAT_MIN_TENTHS:
      return &s.entry_lat_min_tenths;
    case ENTRY_LAT_MIN_HUNDREDTHS:
      return &s.entry_lat_min_hundredths;
    case ENTRY_LON_DEG_HUNDREDS:
      return &s.entry_lon_deg_hundreds;
    case ENTRY_LON_DEG_TENS:
      return &s.entry_lon_deg_tens;
    case ENTRY_LON_DEG_UNITS:
      return &s.entry_lon_deg_units;
    case ENTRY_LON_MIN_TENS:
      return &s.entry_lon_min_tens;
    case ENTRY_LON_MIN_UNITS:
      return &s.entry_lon_min_units;
    case ENTRY_LON_MIN_TENTHS:
      return &s.entry_lon_min_tenths;
    case ENTRY_LON_MIN_HUNDREDTHS:
      return &s.entry_lon_min_hundredths;
    default:
      return nullptr;
  }
}

// Whether `digit` is a valid value for the field at `position`: latitude degrees stop at 89,
// minutes at 59.99, longitude degrees at 180, and 180 degrees takes only zero minutes.
bool digit_allowed(int8_t position, int digit) {
  const InsState& s = ins_state;
  switch (position) {
    case ENTRY_LAT_DEG_TENS:
      return digit <= 8;
    case ENTRY_LAT_MIN_TENS:
      return digit <= 5;
    case ENTRY_LON_DEG_HUNDREDS:
      return digit <= 1;
    case ENTRY_LON_DEG_TENS:
      return digit <= 8 || s.entry_lon_hundred == 0;
    case ENTRY_LON_MIN_TENS:
      return digit <= 5 && (s.entry_lon_at_180 == 0 || digit == 0);
    default:
      if (position > ENTRY_LON_DEG_TENS && position <= ENTRY_LON_MIN_HUNDREDTHS) {
        return s.entry_lon_at_180 == 0 || digit == 0;
      }
      return true;
  }
}

// Stores `digit` at the current position if that field takes it; returns whether it did.
bool store_digit(int digit) {
  InsState& s = ins_state;
  const int8_t position = s.entry_position;
  double* field = digit_field(position);
  if (field == nullptr || !digit_allowed(position, digit)) return false;
  *field = digit;
  // The two longitude guards always describe the digits now in the buffer, so a guard left over
  // from an entry that was abandoned part way (LAST WPT puts the position back to 0) cannot
  // block or force the digits of the next one.
  if (position == ENTRY_LON_DEG_HUNDREDS) s.entry_lon_hundred = digit == 1 ? 1 : 0;
  if (position == ENTRY_LON_DEG_TENS) {
    s.entry_lon_at_180 = digit == 8 && s.entry_lon_hundred == 1 ? 1 : 0;
  }
  return true;
}

// A hemisphere key at a hemisphere position; returns whether it was taken.
bool store_hemisphere(int digit) {
  InsState& s = ins_state;
  if (s.entry_position == ENTRY_LAT_HEMISPHERE && (digit == KEY_NORTH || digit == KEY_SOUTH)) {
    s.entry_north = digit == KEY_NORTH ? 1 : 0;
    s.entry_south = digit == KEY_SOUTH ? 1 : 0;
    return true;
  }
  if (s.entry_position == ENTRY_LON_HEMISPHERE && (digit == KEY_WEST || digit == KEY_EAST)) {
    s.entry_west = digit == KEY_WEST ? 1 : 0;
    s.entry_east = digit == KEY_EAST ? 1 : 0;
    return true;
  }
  return false;
}

void digit_action(int digit) {
  InsState& s = ins_state;
  if (digit == 0) {
    // Key 0 fills any digit field, never a hemisphere, and otherwise moves the position on:
    // from idle to the first field, and past complete up to the limit.
    if (s.entry_position == ENTRY_LAT_HEMISPHERE || s.entry_position == ENTRY_LON_HEMISPHERE) {
      return;
    }
    store_digit(0);
    if (s.entry_position < ENTRY_POSITION_LIMIT) ++s.entry_position;
    return;
  }
  if (store_hemisphere(digit) || store_digit(digit)) ++s.entry_position;
}

void set_action() {
  InsState& s = ins_state;
  if (s.data_selector != SELECTOR_WAY_PT) return;
  if (s.waypoint_entry_mode == 1 || s.ins_powered != 1) {
    // Abandons an open entry: nothing is stored, the digits stay in the buffer.
    s.waypoint_entry_mode = 0;
    return;
  }
  s.waypoint_entry_mode = 1;
  s.entry_position = ENTRY_LAT_HEMISPHERE;
  s.waypoint_load_request = 1;
  s.reload_to_waypoint = 1;
  s.entry_lon_hundred = 0;
  s.entry_lon_at_180 = 0;
}

double entry_minutes(double tens, double units, double tenths, double hundredths) {
  return 10.0 * tens + units + 0.1 * tenths + 0.01 * hundredths;
}

// Radians of the keyed latitude, north positive; zero keyed with S stays plus zero.
double entry_latitude() {
  const InsState& s = ins_state;
  const double degrees = (10.0 * s.entry_lat_deg_tens + s.entry_lat_deg_units) +
                         entry_minutes(s.entry_lat_min_tens, s.entry_lat_min_units,
                                       s.entry_lat_min_tenths, s.entry_lat_min_hundredths) *
                             (1.0 / 60.0);
  const double radians = degrees_to_radians(degrees);
  return s.entry_south == 1 && radians != 0.0 ? -radians : radians;
}

// Radians of the keyed longitude, west positive; zero keyed with E stays plus zero.
double entry_longitude() {
  const InsState& s = ins_state;
  const double degrees =
      (100.0 * s.entry_lon_deg_hundreds + 10.0 * s.entry_lon_deg_tens + s.entry_lon_deg_units) +
      entry_minutes(s.entry_lon_min_tens, s.entry_lon_min_units, s.entry_lon_min_tenths,
                    s.entry_lon_min_hundredths) *
          (1.0 / 60.0);
  const double radians = degrees_to_radians(degrees);
  return s.entry_east == 1 && radians != 0.0 ? -radians : radians;
}

void insert_action() {
  InsState& s = ins_state;
  if (s.waypoint_entry_mode != 1 || s.entry_position != ENTRY_COMPLETE) return;
  const double lat = entry_latitude();
  const double lon = entry_longitude();
  s.selected_waypoint = static_cast<uint8_t>(s.thumbwheel_tens * 10 + s.thumbwheel_units);
  // When the file cannot be rewritten the entry stays open and complete, its SET lamp lit, so
  // the crew sees that nothing was stored and can press INSERT again.
  if (!rewrite_waypoint(s.waypoint_table, s.selected_waypoint, lat, lon)) return;
  s.waypoint_entry_mode = 0;
  s.entry_lon_hundred = 0;
  s.entry_lon_at_180 = 0;
  s.entry_position = ENTRY_IDLE;
  // The navigation computer takes up the new position of the active TO waypoint.
  if (s.selected_waypoint == s.to_waypoint) s.reload_to_waypoint = 1;
}

}  // namespace

int32_t GAUGE_CALLBACK set_key(const MousePoint*, uint32_t) {
  if (press_key_latch(ins_state.set_pressed, ins_state.set_release_tick)) set_action();
  return ins_state.waypoint_entry_mode;
}

int32_t GAUGE_CALLBACK insert_key(const MousePoint*, uint32_t) {
  // Key 0 may have moved the position past complete; that still counts as complete, latched
  // or not.
  if (ins_state.entry_position > ENTRY_COMPLETE) ins_state.entry_position = ENTRY_COMPLETE;
  if (press_key_latch(ins_state.insert_pressed, ins_state.insert_release_tick)) insert_action();
  return 0;
}

int32_t GAUGE_CALLBACK clear_key(const MousePoint*, uint32_t) {
  InsState& s = ins_state;
  if (press_key_latch(s.clear_pressed, s.clear_release_tick)) {
    s.entry_position = static_cast<int8_t>(
        s.entry_position > ENTRY_LAT_DEG_TENS ? s.entry_position - 1 : ENTRY_LAT_HEMISPHERE);
    // Stepping back over a guarded digit lifts the guard it set.
    if (s.entry_position == ENTRY_LON_DEG_TENS && s.entry_lon_at_180 == 1) s.entry_lon_at_180 = 0;
    if (s.entry_position == ENTRY_LON_DEG_HUNDREDS && s.entry_lon_hundred == 1) {
      s.entry_lon_hundred = 0;
    }
  }
  return 0;
}

int32_t press_digit_key(int digit) {
  if (press_key_latch(ins_state.digit_pressed[digit], ins_state.digit_release_tick[digit])) {
    digit_action(digit);
  }
  return 0;
}
