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
#include "host/flight/flight_plan.h"

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

// A plan as read: its bytes, what the host read of them, and its name in messages.
struct PlanToCheck {
  std::string label;
  std::string text;
  flight::FlightPlan plan;
};

// The INS's own import of the plan, run on its own before anything else is made of it: the
// module (`module`, default INS.so beside ins-host) loaded in a temporary working folder holding
// the plan's bytes as PLAN.PLN, the aircraft powered at the departure, the hidden spot clicked,
// and every waypoint the INS stored checked against the plan to within 3e-7 radian. The refusal
// ("LABEL:LINE: the INS imported waypoint 02, ID, at ...; the plan puts it at ..."), or nothing
// when the INS stores the plan as the host reads it. Throws std::exception when the import could
// not be tried (the module did not load). Makes the temporary folder the current one meanwhile.
std::optional<std::string> ins_import_refusal(const PlanToCheck& plan,
                                              const std::filesystem::path& module, int fps);

struct CheckPlanOptions {
  std::filesystem::path plan;
  std::string label;             // the plan's name in messages (default: the path as given)
  std::filesystem::path module;  // default: INS.so beside ins-host
  int fps = 30;
};

// `ins-host check-plan PLAN`: the plan read and imported by the INS as `fly` does before a
// flight (`serve` and `link` run it before they load a plan). Exit status 0 when the INS stores
// it as the plan says, 2 with "plan refused: REASON" on the error stream when not, 1 when the
// import could not be tried.
int check_plan(const CheckPlanOptions& options);

// Exit status: 0 the flight reached its last waypoint with HOLD released there as planned;
// 1 it did not (the reason is printed); 2 an option or the plan was refused (nothing printed on
// the standard output and no output folder made) or the flight could not start.
int fly(const FlyOptions& options);

}  // namespace host
