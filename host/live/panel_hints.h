// Why the INS stays silent, in a pilot's words. Some of the INS's refusals leave no trace on the
// panel: an alignment that will not start shows status 0, a HOLD press that the autopilot's
// switches refuse leaves HOLD dark, AUTO and MAN without HOLD change nothing. The host tells the
// pilot why from what it can see itself: the knobs and lamps through the module's elements, the
// window texts, the aircraft it simulates and the waypoint file in the working folder. It never
// reads the module's internals, so each hint restates one of the INS's rules on those facts.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "host/live/live_session.h"
#include "host/panel/stored_waypoints.h"

namespace host::live {

// What the host sees of the panel and around it after a frame.
struct PanelView {
  std::string mode_knob;      // OFF, STBY, ALIGN or NAV ("" without the ALIGN gauge)
  std::string data_selector;  // TK_GS .. DSRTK_STS ("" without the INS gauge)
  std::string right_window;
  // The lamp test lights HOLD too: seen by its left window (88°88.88, no position) or by the
  // HOLD, SET, LAST WPT and ALERT lamps lit together.
  bool lamp_test = false;
  bool msu_bat_lit = false;
  bool ready_nav_lit = false;
  bool hold_lit = false;
  bool hold_pressed = false;
  bool auto_lit = false;
  bool man_lit = false;
  double lat_deg = 0.0;
  double lon_east_deg = 0.0;
  double gs_kt = 0.0;
  bool ap_master = false;
  bool ap_heading = false;
  // Waypoint 00 as WAYPOINTS.DAT holds it now; read only at ALIGN before READY NAV, the one
  // time the INS compares it with the present position.
  std::optional<StoredWaypoint> waypoint_zero;
  double time_s = 0.0;
};

PanelView view_of(const LiveSession& session);

struct Hint {
  std::string id;       // stable, for programs: align_no_power, align_no_waypoint_zero, ...
  std::string control;  // the control it concerns: ALIGN, HOLD or AUTO_MAN
  std::string text;     // for the pilot
};

// The knob at ALIGN before READY NAV: what keeps the alignment from starting or running.
std::vector<Hint> alignment_hints(const PanelView& view);

// Every hint for the panel as it is now. HOLD and AUTO/MAN hints answer the pilot's own actions
// (a press the INS refused, a switch moved without HOLD), so this remembers what it saw in the
// previous view; call it with each view in turn.
class PanelHints {
 public:
  std::vector<Hint> update(const PanelView& view);

  // How long a moved AUTO/MAN switch is explained, in simulated seconds.
  static constexpr double AUTO_MAN_HINT_S = 15.0;

 private:
  std::optional<Hint> hold_hint(const PanelView& view);
  std::optional<Hint> auto_man_hint(const PanelView& view);

  bool seen_ = false;
  bool was_hold_lit_ = false;
  bool was_hold_pressed_ = false;
  bool was_auto_lit_ = false;
  bool was_man_lit_ = false;
  bool hold_refused_ = false;       // the last HOLD press left HOLD dark
  bool hold_dropped_ = false;       // HOLD went dark with an autopilot switch off
  double auto_man_until_s_ = -1.0;  // the switch moved without HOLD: explain it until then
};

nlohmann::json hints_json(const std::vector<Hint>& hints);

}  // namespace host::live
