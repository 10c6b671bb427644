// The simulated aircraft: every condition the host answers host variables from, in one record
// with the unit in each name. Scenarios set these fields; a flight model, when one is attached,
// moves them once per frame through `step`.
#pragma once

#include <functional>

namespace host {

struct Aircraft {
  // --- Position and motion.
  double lat_deg = 0.0;          // degrees north (south negative)
  double lon_east_deg = 0.0;     // degrees east (west negative)
  double gs_kt = 0.0;            // ground speed, knots
  double heading_mag_deg = 0.0;  // magnetic heading, degrees
  double magvar_east_deg = 0.0;  // magnetic variation, east positive (magnetic = true - var)

  // --- Air data.
  double wind_speed_kt = 0.0;       // knots
  double wind_from_true_deg = 0.0;  // the direction the wind blows from, degrees true
  double mach = 0.0;                // Mach number
  double oat_c = 15.0;              // outside air temperature, degrees Celsius
  // Set by a scenario's `set mach` / `set oat`: the standard atmosphere no longer overrides it.
  bool mach_set = false;
  bool oat_set = false;

  // --- Flight condition (scenario `set altitude`, `set tas`; the flight model moves them).
  double alt_ft = 0.0;  // pressure altitude, feet
  double tas_kt = 0.0;  // true airspeed, knots

  // --- Electrical power and autopilot switches (each 0 or 1 to the module).
  bool battery_on = false;
  bool main_power_on = false;
  bool ap_master_on = false;
  bool ap_heading_on = false;

  // --- Autopilot target, set by the module's key event 0x101FA.
  double heading_bug_mag_deg = 0.0;

  // Called once per frame, before the gauges run, with the frame's simulated time step. Empty
  // while no flight model is attached: position and speed then stay as set.
  std::function<void(Aircraft& aircraft, double dt_s)> flight_model;

  void step(double dt_s) {
    if (flight_model) flight_model(*this, dt_s);
  }
};

}  // namespace host
