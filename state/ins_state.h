// The one shared record of the INS. Every gauge of the module reads and writes it directly; there
// are no messages between gauges: a key routine sets a field and the gauge that needs it reads it
// on its next call. It is created with the load-time values below and never saved; only the
// waypoint file outlives the module.
//
// Conventions: flags hold 0 or 1, in a byte, except the key latches' pressed flags, which are
// 32-bit like the release ticks beside them; angles are radians unless a name or comment says
// degrees; stored longitudes (radians) are WEST-positive, while the host's are east-positive.
// Ticks are the host's counter, 18 per second, and wrap around like any 32-bit value. A deadline
// is an absolute tick value, met in the first frame at or past it (frames may skip ticks); whether
// one is pending is said by a flag beside it, never by a special tick value, since every value
// is a tick the counter reaches.
#pragma once

#include <cstdint>

#include "boundary/gauge_api.h"
#include "boundary/gauge_vocabulary.h"
#include "state/os_modules.h"
#include "store/waypoint_file.h"

// The host variables the module reads, in the order the state keeps their records (the token
// ids and their units are in gauge_vocabulary.h).
enum HostVarIndex : int {
  HV_LATITUDE,
  HV_LONGITUDE,
  HV_GROUND_SPEED,
  HV_AP_MASTER,
  HV_AP_HEADING,
  HV_MAGVAR,
  HV_BATTERY,
  HV_TICK,
  HV_MAIN_POWER,
  HV_WIND_SPEED,
  HV_WIND_DIR,
  HV_MACH,
  HV_OAT,
  HV_HEADING,
  HOST_VAR_COUNT
};

inline constexpr HostVarToken HOST_VAR_TOKENS[HOST_VAR_COUNT] = {
    HOST_VAR_LATITUDE,   HOST_VAR_LONGITUDE,  HOST_VAR_GROUND_SPEED, HOST_VAR_AP_MASTER,
    HOST_VAR_AP_HEADING, HOST_VAR_MAGVAR,     HOST_VAR_BATTERY,      HOST_VAR_TICK,
    HOST_VAR_MAIN_POWER, HOST_VAR_WIND_SPEED, HOST_VAR_WIND_DIR,     HOST_VAR_MACH,
    HOST_VAR_OAT,        HOST_VAR_HEADING_MAG};

constexpr int DIGIT_KEY_COUNT = 10;

// The outside sound library as bound by the CDU and MSU gauges; all empty until bound and
// cleared again when it is released.
using GaugeStopAllFn = void (*)();
using GaugePlaySoundFn = int (*)(const char* path, const char* options, int flags);
using GaugeStopSoundFn = int (*)(const char* path);
using TerminateSoundsFn = void (*)();

struct SoundLibrary {
  OsModule handle = nullptr;
  GaugeStopAllFn stop_all = nullptr;
  GaugePlaySoundFn play_sound = nullptr;
  GaugeStopSoundFn stop_sound = nullptr;
  TerminateSoundsFn terminate_sounds = nullptr;
};

struct InsState {
  // --- Host variables: only the token id is set at load; refreshed right before each read.
  HostVar host_vars[HOST_VAR_COUNT] = {
      {HOST_VAR_TOKENS[0], nullptr, 0, 0.0, 0.0},  {HOST_VAR_TOKENS[1], nullptr, 0, 0.0, 0.0},
      {HOST_VAR_TOKENS[2], nullptr, 0, 0.0, 0.0},  {HOST_VAR_TOKENS[3], nullptr, 0, 0.0, 0.0},
      {HOST_VAR_TOKENS[4], nullptr, 0, 0.0, 0.0},  {HOST_VAR_TOKENS[5], nullptr, 0, 0.0, 0.0},
      {HOST_VAR_TOKENS[6], nullptr, 0, 0.0, 0.0},  {HOST_VAR_TOKENS[7], nullptr, 0, 0.0, 0.0},
      {HOST_VAR_TOKENS[8], nullptr, 0, 0.0, 0.0},  {HOST_VAR_TOKENS[9], nullptr, 0, 0.0, 0.0},
      {HOST_VAR_TOKENS[10], nullptr, 0, 0.0, 0.0}, {HOST_VAR_TOKENS[11], nullptr, 0, 0.0, 0.0},
      {HOST_VAR_TOKENS[12], nullptr, 0, 0.0, 0.0}, {HOST_VAR_TOKENS[13], nullptr, 0, 0.0, 0.0},
  };

  // --- Time, power and mode (mode selector unit writes all but tick and the power copies).
  int32_t tick = 0;                 // host tick, truncated; CDU cycle and key routines
  uint8_t battery_power = 0;        // host variable 364; CDU cycle and MSU
  uint8_t main_power = 0;           // host variable 566; CDU cycle and MSU
  uint8_t ins_powered = 0;          // knob not OFF and a power source on
  int8_t mode_selector = KNOB_OFF;  // ModeKnobPosition: 0 OFF, 1 STBY, 2 ALIGN, 3 NAV
  uint8_t nav_ready = 0;            // navigation data valid (alignment reached status 5)
  uint8_t align_status = 0;         // status digit 0..9
  uint8_t align_running = 0;        // the alignment countdown runs
  int32_t align_tick = 0;           // tick as last read by the MSU
  int32_t align_end_tick = 0;       // tick at which the countdown ends, while align_end_pending
  uint8_t align_end_pending = 0;    // the countdown's marks are still to come (0 once it ended,
                                    // stopped, or lost its end by moving after status 5)
  double align_lat_diff = 0.0;      // |present_lat - waypoint 0 latitude|, radians
  double align_lon_diff = 0.0;      // |present_lon - waypoint 0 longitude|, radians

  // --- Controls and lamps (function keys and selectors).
  int8_t data_selector = SELECTOR_POS;  // DataSelectorPosition: 0 TK/GS, 1 HDG/DA, 2 XTK/TKE,
                                        // 3 POS, 4 WAY PT, 5 DIS/TIME, 6 WIND, 7 DSRTK/STS
  uint8_t hold_active = 0;              // HOLD engaged: steering is sent to the host
  uint8_t waypoint_entry_mode = 0;      // an entry is open (SET at WAY PT)
  uint8_t last_wpt_mode = 0;            // LAST WPT armed
  uint8_t last_wpt_limit = 99;          // TO number captured by LAST WPT; 99 when not armed
  uint8_t auto_selected = 1;            // AUTO/MAN switch at AUTO
  uint8_t man_selected = 0;             // AUTO/MAN switch at MAN
  uint8_t lamp_test_active = 0;         // lamp and display test running
  int32_t lamp_test_end_tick = 0;       // tick at which the test ends, while lamp_test_active

  // --- Key latches: a pressed flag (0/1) and the tick at which the pressed image goes away
  // (read only while pressed). Key routines set them; the CDU cycle releases them.
  int32_t hold_pressed = 0, hold_release_tick = 0;
  int32_t set_pressed = 0, set_release_tick = 0;
  int32_t insert_pressed = 0, insert_release_tick = 0;
  int32_t last_wpt_pressed = 0, last_wpt_release_tick = 0;
  int32_t wypt_chg_pressed = 0, wypt_chg_release_tick = 0;
  int32_t clear_pressed = 0, clear_release_tick = 0;
  int32_t digit_pressed[DIGIT_KEY_COUNT] = {};
  int32_t digit_release_tick[DIGIT_KEY_COUNT] = {};

  // --- Waypoint selection and sequencing.
  int8_t thumbwheel_tens = 0;         // waypoint selector tens wheel 0..9
  int8_t thumbwheel_units = 0;        // waypoint selector units wheel 0..9
  uint8_t selected_waypoint = 0;      // tens x 10 + units, when a waypoint is loaded or inserted
  uint8_t to_waypoint = 0;            // TO waypoint number 0..99
  uint8_t from_waypoint = 0;          // number shown in the FROM window
  uint8_t reload_to_waypoint = 1;     // navigation re-reads the TO waypoint next cycle
  uint8_t reload_from_waypoint = 1;   // navigation re-reads the FROM waypoint next cycle
  uint8_t waypoint_load_request = 0;  // CDU refills the entry digits from the store
  int32_t file_waypoint_number = 0;   // number on the last waypoint-file line any reader read

  // --- Position entry (keyboard), preloaded from the store by the CDU cycle.
  int8_t entry_position = ENTRY_IDLE;  // EntryPosition, the next field: 0 idle, 1 N/S,
                                       // 2..7 latitude, 8 E/W, 9..15 longitude, 16 complete;
                                       // never above 17
  double entry_lat_deg_tens = 8.0, entry_lat_deg_units = 8.0;
  double entry_lat_min_tens = 8.0, entry_lat_min_units = 8.0;
  double entry_lat_min_tenths = 8.0,
         entry_lat_min_hundredths = 8.0;  // hundredths may hold a fraction
  double entry_lon_deg_hundreds = 8.0, entry_lon_deg_tens = 8.0, entry_lon_deg_units = 8.0;
  double entry_lon_min_tens = 8.0, entry_lon_min_units = 8.0;
  double entry_lon_min_tenths = 8.0, entry_lon_min_hundredths = 8.0;
  uint8_t entry_north = 0, entry_south = 0;
  uint8_t entry_west = 0, entry_east = 0;
  uint8_t entry_lon_hundred = 0;  // 1 keyed as the longitude hundreds digit
  uint8_t entry_lon_at_180 = 0;   // 180 keyed: every later longitude digit must be 0
  double loaded_lat = 0.0;        // waypoint last loaded for editing, radians
  double loaded_lon = 0.0;        // (west positive)

  // --- Waypoint store and import.
  uint8_t plan_import_request = 0;                         // import runs in the next CDU cycle
  WaypointEntry waypoint_table[WAYPOINT_TABLE_SIZE] = {};  // scratch of import and INSERT
  // The import's two counters. The store's routines are pure and count in variables of their
  // own, so neither field is read: waypoint_index is never written and stays 0, and an import
  // ends by setting plan_waypoint_count to 0, so both read 0 between imports.
  int32_t waypoint_index = 0;       // index over waypoint_table, left to the store's routines
  int32_t plan_waypoint_count = 0;  // waypoint lines copied from the plan, 0 after an import

  // --- Present position (navigation computer), in the forms the others use.
  double present_lat_deg = 0.0;          // degrees, north positive
  int32_t present_lat_whole = 0;         // whole degrees, signed
  double present_lat_minutes = 0.0;      // minutes of arc, signed
  int32_t present_lat_abs_whole = 0;     // whole degrees, absolute
  double present_lat_abs_minutes = 0.0;  // minutes of arc, absolute
  double present_lon_deg = 0.0;          // degrees, EAST positive
  int32_t present_lon_whole = 0;         // whole degrees, signed
  double present_lon_minutes = 0.0;      // minutes of arc, signed
  int32_t present_lon_abs_whole = 0;     // whole degrees, absolute
  double present_lon_abs_minutes = 0.0;  // minutes of arc, absolute
  double present_lat = 0.0;              // radians, north positive
  double present_lon_east = 0.0;         // radians, east positive
  double present_lon = 0.0;              // radians, west positive

  // --- Active leg.
  double to_lat = 0.0, to_lon = 0.0;      // TO waypoint, radians (west positive)
  double from_lat = 0.0, from_lon = 0.0;  // FROM waypoint, radians (west positive)
  double to_lat_deg = 0.0;                // TO latitude, degrees
  int32_t to_lat_abs_whole = 0;           // whole degrees, absolute
  double to_lat_abs_minutes = 0.0;        // minutes of arc, absolute
  double to_lon_deg = 0.0;                // TO longitude, degrees, WEST positive
  int32_t to_lon_abs_whole = 0;           // whole degrees, absolute
  double to_lon_abs_minutes = 0.0;        // minutes of arc, absolute
  double leg_angle = 0.0;                 // central angle FROM to TO, radians
  double to_angle = 0.0;                  // central angle present position to TO, radians
  double from_angle = 0.0;                // central angle FROM to present position, radians

  // --- Navigation outputs (0 while nav_ready is 0 where the display would show them).
  double distance_to_go = 0.0;                               // nautical miles to TO
  uint8_t coupling_permit_103 = 0, coupling_permit_106 = 0;  // copies of host vars 103, 106
  uint16_t heading = 0;                                      // whole degrees
  int16_t drift_angle = 0;                                   // whole degrees 0..180
  uint8_t drift_left = 0;                                    // drift angle is to the left
  double ground_speed = 0.0;                                 // knots
  double ground_speed_shown = 0.0;                           // knots, 0 at or below 40
  double time_to_go_hours = 0.0;                             // hours
  uint8_t ttg_hours = 0;                                     // whole hours, 8 bits (wraps)
  double ttg_minutes = 0.0;                                  // whole minutes 0..59
  uint8_t ttg_tenths = 0;                                    // tenths of a minute 0..9
  double magnetic_variation_deg = 0.0;                       // degrees, east positive
  double magnetic_variation = 0.0;                           // radians
  double direct_course_angle = 0.0;   // minus the magnetic course to TO, radians
  double wind_speed = 0.0;            // knots
  double wind_dir_deg = 0.0;          // magnetic degrees [0, 360)
  double wind_dir = 0.0;              // radians
  double air_temperature_k = 0.0;     // kelvin
  double true_airspeed = 0.0;         // knots
  double wind_correction_sine = 0.0;  // sine of the wind correction angle, or -999 unusable
  double steer_course = 0.0;          // minus the wind-corrected magnetic course, radians
  double steer_heading = 0.0;         // magnetic heading less half a degree, degrees; its
                                      // whole part is what is sent to the host
  uint16_t wind_dir_shown = 0;        // whole degrees
  int32_t wind_speed_shown = 0;       // whole knots
  double ref_leg_course = 0.0;        // true course plus pi from the reference waypoint, radians
  double ref_present_course = 0.0;    // the same towards the present position, radians
  double cross_track_angle = 0.0;     // radians, positive when left of the leg
  double cross_track_nm = 0.0;        // nautical miles, absolute
  uint8_t cross_track_left = 0;
  double track_error = 0.0;  // degrees 0..180
  uint8_t track_error_left = 0;
  double desired_track = 0.0;  // degrees (0, 360]
  double track = 0.0;          // degrees [0, 360)

  // --- Outside sound library, bound by the CDU and MSU service routines.
  SoundLibrary sound_library;
};

// The one instance, with its load-time values.
extern InsState ins_state;
