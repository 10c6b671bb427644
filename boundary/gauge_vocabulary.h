// What the gauge module and a host say to each other beyond the table layout of gauge_api.h:
// the host variables the module reads (token ids and the unit each is delivered in), the key
// events it sends and the host acts on, the positions of the panel's knobs, and the positions of
// a waypoint entry. Both sides include this header and nothing else of the other; a number that
// crosses the boundary is named here once.
//
// Also here: the units and angle constants of the whole project, each in one place and named for
// its unit, so the module and the host convert with the very same bits.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Units. Values are the doubles the gauges were written with; the comments say what they are.
// ---------------------------------------------------------------------------------------------
inline constexpr double PI = 3.141592653589793;
inline constexpr double TWO_PI = 2.0 * PI;
inline constexpr double DEG_PER_RADIAN = 180.0 / PI;
inline constexpr double RAD_PER_DEGREE = PI / 180.0;
// The navigation sphere's nautical mile is one minute of arc.
inline constexpr double NM_PER_RADIAN = 60.0 * 180.0 / PI;
inline constexpr double METRES_PER_NM = 1852.0;
inline constexpr double NM_PER_METRE = 1.0 / METRES_PER_NM;
inline constexpr double SECONDS_PER_HOUR = 3600.0;
// A knot is one nautical mile an hour.
inline constexpr double METRES_PER_SECOND_PER_KNOT = METRES_PER_NM / SECONDS_PER_HOUR;
inline constexpr double KELVIN_AT_ZERO_CELSIUS = 273.15;

// ---------------------------------------------------------------------------------------------
// Host variables: the token ids the module asks lookup_var for, with the unit of each value.
// ---------------------------------------------------------------------------------------------
enum HostVarToken : uint32_t {
  HOST_VAR_TICK = 1,            // tick counter, 18 per second, as a whole number
  HOST_VAR_MACH = 64,           // Mach x HOST_MACH_UNITS_PER_MACH
  HOST_VAR_LATITUDE = 71,       // degrees north / HOST_LAT_DEG_PER_UNIT
  HOST_VAR_LONGITUDE = 72,      // 48-bit angle east-positive, west as 2^48 plus the negative
  HOST_VAR_HEADING_MAG = 81,    // magnetic heading, degrees
  HOST_VAR_MAGVAR = 82,         // magnetic variation, degrees, east positive
  HOST_VAR_AP_MASTER = 103,     // autopilot master, 0 or 1 (first condition of HOLD)
  HOST_VAR_AP_HEADING = 106,    // autopilot heading mode, 0 or 1 (second condition of HOLD)
  HOST_VAR_OAT = 341,           // outside air temperature, degrees Celsius
  HOST_VAR_WIND_SPEED = 343,    // knots
  HOST_VAR_WIND_DIR = 344,      // degrees true, the direction the wind blows from
  HOST_VAR_BATTERY = 364,       // first power source, 0 or 1
  HOST_VAR_MAIN_POWER = 566,    // second power source, 0 or 1
  HOST_VAR_GROUND_SPEED = 832,  // metres per second
};

inline constexpr double TICKS_PER_SECOND = 18.0;
// Latitude: one unit of the token is this many degrees.
inline constexpr double HOST_LAT_DEG_PER_UNIT = 8.998425275459815e-6;
// Longitude: a whole turn is 2^48 units. The module converts with 360 / 2^48 to the 16 digits
// the gauges were written with; a raw value above HOST_LON_WEST_THRESHOLD (2^47 + 4) is a west
// longitude.
inline constexpr double HOST_LON_UNITS_PER_TURN = 281474976710656.0;  // 2^48
inline constexpr double HOST_LON_DEG_PER_UNIT = 1.278976924368144e-12;
inline constexpr double HOST_LON_WEST_THRESHOLD = 140737488355332.0;
inline constexpr double HOST_MACH_UNITS_PER_MACH = 20480.0;
inline constexpr double HOST_MACH_PER_UNIT = 1.0 / HOST_MACH_UNITS_PER_MACH;

// ---------------------------------------------------------------------------------------------
// Key events the module sends through trigger_key_event, and the host acts on.
// ---------------------------------------------------------------------------------------------
enum KeyEventId : uint32_t {
  // Sets the autopilot's heading bug: the value is the magnetic heading, whole degrees.
  EVENT_HEADING_BUG_SET = 0x101FA,
  // Toggles panel window n (1..8): EVENT_PANEL_WINDOW_1 + n - 1, sent by the host itself when
  // an icon gauge's mouse row (which names the event) is clicked.
  EVENT_PANEL_WINDOW_1 = 0x10173,
};
inline constexpr int PANEL_WINDOW_COUNT = 8;

// ---------------------------------------------------------------------------------------------
// Knob positions: the value of each knob's image routine (the icon's image index).
// ---------------------------------------------------------------------------------------------
// The CDU's data selector, counter-clockwise to clockwise; the displays show one pair each.
enum DataSelectorPosition : int8_t {
  SELECTOR_TK_GS = 0,
  SELECTOR_HDG_DA = 1,
  SELECTOR_XTK_TKE = 2,
  SELECTOR_POS = 3,  // at load
  SELECTOR_WAY_PT = 4,
  SELECTOR_DIS_TIME = 5,
  SELECTOR_WIND = 6,
  SELECTOR_DSRTK_STS = 7,
};
inline constexpr int SELECTOR_POSITION_COUNT = 8;

// The mode selector unit's knob.
enum ModeKnobPosition : int8_t {
  KNOB_OFF = 0,  // at load
  KNOB_STBY = 1,
  KNOB_ALIGN = 2,
  KNOB_NAV = 3,
};
inline constexpr int MODE_KNOB_POSITION_COUNT = 4;

// ---------------------------------------------------------------------------------------------
// Waypoint entry: the field the next key of the CDU keyboard fills.
// ---------------------------------------------------------------------------------------------
enum EntryPosition : int8_t {
  ENTRY_IDLE = 0,
  ENTRY_LAT_HEMISPHERE = 1,  // N (key 2) or S (key 8)
  ENTRY_LAT_DEG_TENS = 2,    // latitude dd mm.mm: positions 2..7
  ENTRY_LAT_DEG_UNITS = 3,
  ENTRY_LAT_MIN_TENS = 4,
  ENTRY_LAT_MIN_UNITS = 5,
  ENTRY_LAT_MIN_TENTHS = 6,
  ENTRY_LAT_MIN_HUNDREDTHS = 7,
  ENTRY_LON_HEMISPHERE = 8,    // W (key 4) or E (key 6)
  ENTRY_LON_DEG_HUNDREDS = 9,  // longitude ddd mm.mm: positions 9..15
  ENTRY_LON_DEG_TENS = 10,
  ENTRY_LON_DEG_UNITS = 11,
  ENTRY_LON_MIN_TENS = 12,
  ENTRY_LON_MIN_UNITS = 13,
  ENTRY_LON_MIN_TENTHS = 14,
  ENTRY_LON_MIN_HUNDREDTHS = 15,
  ENTRY_COMPLETE = 16,        // INSERT stores the entry
  ENTRY_POSITION_LIMIT = 17,  // key 0 past complete goes no further
};

// The digit keys that choose a hemisphere at the two hemisphere positions.
inline constexpr int KEY_NORTH = 2, KEY_SOUTH = 8, KEY_WEST = 4, KEY_EAST = 6;

// ---------------------------------------------------------------------------------------------
// The files the module keeps in the simulator's folder (its working folder), by the names it
// opens them with on every file system. A host that shows or checks them reads them by these.
// ---------------------------------------------------------------------------------------------
// The waypoint file: one text line per waypoint, "NUMBER LAT LON", numbered 0..99, the position
// in radians (latitude north positive, longitude WEST positive) written with
// WAYPOINT_LINE_DECIMALS decimals. Waypoint 0 is where the INS was aligned.
inline constexpr const char* WAYPOINT_FILE_NAME = "WAYPOINTS.DAT";
inline constexpr int WAYPOINT_TABLE_SIZE = 100;
// The highest waypoint number the INS knows: AUTO and WYPT CHG never step past it, even when a
// hand-edited file numbers a line higher.
inline constexpr int LAST_WAYPOINT_NUMBER = WAYPOINT_TABLE_SIZE - 1;
inline constexpr int WAYPOINT_LINE_DECIMALS = 8;
// The simulator's flight plan, which the hidden import spot reads into the waypoint file.
inline constexpr const char* PLAN_FILE_NAME = "PLAN.PLN";

// ---------------------------------------------------------------------------------------------
// How far a host follows the module's lists: a gauge's element lists hold at most this many
// elements and its mouse list this many rows (the module's tables are checked against both when
// they are compiled), so a host stops there rather than follow a list that never ends.
// ---------------------------------------------------------------------------------------------
inline constexpr int MAX_CHAIN_ELEMENTS = 4096;
inline constexpr int MAX_MOUSE_ROWS = 4096;
