// `ins-host fly PLAN.PLN`: a whole flight flown by the INS as a crew would fly it. The host
// reads the plan itself (to place the aircraft and to judge the flight), writes the scenario
// that flies it, plays that scenario against the real module while it watches every frame, and
// leaves in the output folder the track (CSV, GPX), the plan (GPX), a map (SVG), a snapshot of
// the panel at the end and the scenario, which `ins-host run` flies again exactly.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/flight/flight_model.h"

namespace host {

struct FlyWindLayer {
  double alt_ft = 0.0;
  flight::Wind wind;
};

struct FlyOptions {
  std::filesystem::path plan;
  std::filesystem::path output;           // default: fly-output/<plan name>
  std::filesystem::path module;           // default: INS.so beside ins-host
  flight::Wind wind;                      // at every level unless layers are given
  std::vector<FlyWindLayer> wind_layers;  // wind changing with altitude
  double cruise_alt_ft = 0.0;             // 0: the plan's cruising level, or 35,000 ft
  double cruise_tas_kt = 480.0;
  double magvar_east_deg = 0.0;  // constant for the flight
  int fps = 30;
  bool quiet = false;  // no leg table or CDU windows as the flight goes
};

// What is wrong with the options, naming the option ("--cruise-alt 90000: a cruise level is
// 1000 to 65000 ft"), or nothing. `fly` checks them before it reads the plan.
std::optional<std::string> check_fly_options(const FlyOptions& options);

// Exit status: 0 the flight reached its last waypoint with HOLD released there as planned;
// 1 it did not (the reason is printed); 2 an option or the plan was refused (nothing printed on
// the standard output and no output folder made) or the flight could not start.
int fly(const FlyOptions& options);

}  // namespace host
