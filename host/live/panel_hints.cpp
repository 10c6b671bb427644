#include "host/live/panel_hints.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "host/flight/flight_model.h"
#include "host/panel/control_names.h"
#include "host/platform/checked_files.h"

namespace host::live {

namespace {

// The INS's own limits for an alignment, as the pilot's reference gives them.
constexpr double POSITION_TOLERANCE_RAD = 0.0001;  // per axis, latitude and longitude
constexpr double STANDSTILL_LIMIT_KT = 1.0;
constexpr double RAD_PER_DEG = std::numbers::pi / 180.0;
constexpr const char* LAMP_TEST_LEFT_WINDOW = " 88\u00B088.88";

const ElementHeader* named_element(const Panel& panel, std::string_view gauge,
                                   std::string_view name) {
  const PlacedGauge* placed = panel.find(gauge);
  const auto index = element_index(gauge, name);
  if (placed == nullptr || !index) return nullptr;
  return Panel::element_at(*placed->header, *index);
}

bool lit(const Panel& panel, std::string_view gauge, std::string_view name) {
  const ElementHeader* e = named_element(panel, gauge, name);
  return e != nullptr && Panel::visible(*e);
}

std::string knob_at(const Panel& panel, std::string_view gauge) {
  const ElementHeader* e = named_element(panel, gauge, "knob");
  if (e == nullptr) return "";
  const auto legend = knob_legend(gauge, "knob", Panel::image_value(*e));
  return legend ? std::string(*legend) : "";
}

// The waypoint file as the hints read it: through the host's checked reader, like every file
// from outside, since another program may have put anything under that name.
constexpr host::InputKind WAYPOINT_FILE{"the waypoint file", "a waypoint file", 1024 * 1024};

// The last line numbered 0, as the INS takes it; none when the file is missing or unreadable.
std::optional<StoredWaypoint> stored_waypoint_zero(const std::filesystem::path& file) {
  std::string text;
  try {
    text = host::read_input_file(file, WAYPOINT_FILE);
  } catch (const host::FileError&) {
    return std::nullopt;
  }
  std::optional<StoredWaypoint> zero;
  for (const StoredWaypoint& w : stored_waypoints(text)) {
    if (w.number == 0) zero = w;
  }
  return zero;
}

// The status digit, when the data selector shows it (DSRTK/STS, right window "   N").
std::optional<int> status_digit(const PanelView& view) {
  if (view.data_selector != "DSRTK_STS") return std::nullopt;
  const auto last = view.right_window.find_last_not_of(' ');
  if (last == std::string::npos || view.right_window.find_first_not_of(' ') != last) {
    return std::nullopt;
  }
  const char digit = view.right_window[last];
  if (digit < '0' || digit > '9') return std::nullopt;
  return digit - '0';
}

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

constexpr const char* THEN_STEP_AGAIN = ", then turn the knob to STBY and back to ALIGN.";
constexpr const char* KEY_WAYPOINT_ZERO =
    "Key the present position as waypoint 00 (thumbwheels 00, WAY PT, SET, the digits, "
    "INSERT) or import a plan (it stores the present position as 00)";

std::optional<Hint> waypoint_zero_hint(const PanelView& view) {
  if (!view.waypoint_zero) {
    return Hint{"align_no_waypoint_zero", "ALIGN",
                std::string("No alignment: there is no waypoint 00 (no WAYPOINTS.DAT, or no line "
                            "00 in it). ") +
                    KEY_WAYPOINT_ZERO + THEN_STEP_AGAIN};
  }
  const double present_lat_rad = view.lat_deg * RAD_PER_DEG;
  const double present_lon_west_rad = -view.lon_east_deg * RAD_PER_DEG;
  // Written so that a NaN difference counts as away, as the INS counts it.
  const bool in_place =
      std::fabs(present_lat_rad - view.waypoint_zero->lat_rad) < POSITION_TOLERANCE_RAD &&
      std::fabs(present_lon_west_rad - view.waypoint_zero->lon_west_rad) < POSITION_TOLERANCE_RAD;
  if (in_place) return std::nullopt;
  const double distance_nm = flight::great_circle(view.lat_deg, view.lon_east_deg,
                                                  view.waypoint_zero->lat_rad / RAD_PER_DEG,
                                                  -view.waypoint_zero->lon_west_rad / RAD_PER_DEG)
                                 .distance_nm;
  const std::string how_far =
      distance_nm < 0.05 ? std::string("less than 0.1 NM") : format("%.1f NM", distance_nm);
  return Hint{"align_waypoint_zero_away", "ALIGN",
              "No alignment: waypoint 00 is " + how_far +
                  " from the aircraft (the INS needs it within 0.0001 radian in latitude and in "
                  "longitude, about 0.3 NM). " +
                  KEY_WAYPOINT_ZERO + THEN_STEP_AGAIN};
}

}  // namespace

PanelView view_of(const LiveSession& session) {
  const Panel& panel = session.panel();
  PanelView view;
  view.mode_knob = knob_at(panel, "ALIGN");
  view.data_selector = knob_at(panel, "INS");
  if (const ElementHeader* right = named_element(panel, "INS", "right")) {
    view.right_window = panel.text_of(*right);
  }
  // The windows and the lamps are not updated in the same step of a frame, so either may still
  // show the test at its end; the four lamps lit together are the test's in any likely case.
  const ElementHeader* left = named_element(panel, "INS", "left");
  const bool test_lamps = lit(panel, "INS", "hold_lit") && lit(panel, "INS", "set_lit") &&
                          lit(panel, "INS", "last_wpt_lit") && lit(panel, "INS", "alert");
  view.lamp_test = test_lamps || (left != nullptr && panel.text_of(*left) == LAMP_TEST_LEFT_WINDOW);
  view.msu_bat_lit = lit(panel, "ALIGN", "bat");
  view.ready_nav_lit = lit(panel, "ALIGN", "ready_nav");
  view.hold_lit = lit(panel, "INS", "hold_lit");
  view.hold_pressed = lit(panel, "INS", "hold_pressed");
  view.auto_lit = lit(panel, "INS", "auto");
  view.man_lit = lit(panel, "INS", "man");
  const Aircraft& a = session.aircraft();
  view.lat_deg = a.lat_deg;
  view.lon_east_deg = a.lon_east_deg;
  view.gs_kt = a.gs_kt;
  view.ap_master = a.ap_master_on;
  view.ap_heading = a.ap_heading_on;
  if (view.mode_knob == "ALIGN" && !view.ready_nav_lit) {
    view.waypoint_zero = stored_waypoint_zero(session.working_folder() / WAYPOINT_FILE_NAME);
  }
  view.time_s = session.clock().time_s();
  return view;
}

// At ALIGN the INS compares waypoint 00 with the present position and checks the ground speed
// every frame until READY NAV; either failing sets the status to 0. The count itself starts
// only on a step into ALIGN, judged by the last such comparison, which was made the last time
// the knob stood at ALIGN: a waypoint 00 put right since then takes one more step.
std::vector<Hint> alignment_hints(const PanelView& view) {
  if (view.mode_knob != "ALIGN" || view.ready_nav_lit) return {};
  if (view.msu_bat_lit) {
    return {{"align_no_power", "ALIGN",
             "No alignment without power (the MSU's BAT lamp is lit): switch on the battery or "
             "the main supply, then turn the knob to STBY and back to ALIGN."}};
  }
  std::vector<Hint> hints;
  if (auto hint = waypoint_zero_hint(view)) hints.push_back(std::move(*hint));
  if (!(view.gs_kt <= STANDSTILL_LIMIT_KT)) {
    hints.push_back({"align_moving", "ALIGN",
                     "No alignment while the aircraft moves: ground speed " +
                         format("%.0f", view.gs_kt) +
                         " kt, 1 kt at most. Stop the aircraft, then turn the knob to STBY and "
                         "back to ALIGN."});
  }
  if (hints.empty() && status_digit(view) == 0) {
    hints.push_back({"align_step_again", "ALIGN",
                     "Status 0: waypoint 00 and the aircraft are right now, but the count starts "
                     "only on a step into ALIGN, and that step went by the waypoint 00 check made "
                     "while the knob last stood at ALIGN. Turn the knob to STBY and back to "
                     "ALIGN."});
  }
  return hints;
}

std::optional<Hint> PanelHints::hold_hint(const PanelView& view) {
  const bool pressed_now = view.hold_pressed && !was_hold_pressed_;
  if (view.hold_lit) {
    hold_refused_ = hold_dropped_ = false;
  } else if (pressed_now) {
    // A press on an engaged HOLD releases it: that is the pilot's wish, not a refusal.
    hold_refused_ = !was_hold_lit_;
    hold_dropped_ = false;
  } else if (was_hold_lit_) {
    hold_dropped_ = !(view.ap_master && view.ap_heading);
  }
  if (view.hold_lit || !(hold_refused_ || hold_dropped_)) return std::nullopt;

  std::string off;
  const char* switch_on = "Switch it on";
  if (!view.ap_master && !view.ap_heading) {
    off = "the autopilot's master switch and heading mode are off";
    switch_on = "Switch both on";
  } else if (!view.ap_master) {
    off = "the autopilot's master switch is off";
  } else if (!view.ap_heading) {
    off = "the autopilot's heading mode is off";
  }
  if (hold_dropped_) {
    // Explained until the switch is back on; the pilot then presses HOLD or not.
    hold_dropped_ = !off.empty();
    if (!hold_dropped_) return std::nullopt;
    return Hint{"hold_released", "HOLD",
                "HOLD released: " + off + ". " + switch_on + " and press HOLD again."};
  }
  if (!off.empty()) {
    return Hint{"hold_autopilot_off", "HOLD",
                "HOLD did not engage: " + off + ". " + switch_on + ", then press HOLD."};
  }
  const bool no_power = view.mode_knob == "OFF" || view.msu_bat_lit;
  if (no_power) {
    return Hint{"hold_no_power", "HOLD",
                "HOLD did not engage: the INS has no power. Power it, align it, then press "
                "HOLD."};
  }
  const auto status = status_digit(view);
  const bool not_ready = status && (*status == 0 || *status > 5);
  if (not_ready || view.mode_knob == "STBY") {
    return Hint{"hold_not_ready", "HOLD",
                "HOLD did not engage: the INS is not at READY NAV yet (status 5 or lower). "
                "Press HOLD once it is."};
  }
  return Hint{"hold_press_again", "HOLD",
              "HOLD did not engage. It needs the INS at READY NAV or later, power, and the "
              "autopilot's master switch and heading mode on: press HOLD again once they are."};
}

std::optional<Hint> PanelHints::auto_man_hint(const PanelView& view) {
  // From one side to the other: before the first frame has drawn the panel neither is shown.
  const bool was_set = was_auto_lit_ || was_man_lit_;
  const bool moved = was_set && (view.auto_lit != was_auto_lit_ || view.man_lit != was_man_lit_);
  if (view.hold_lit) {
    auto_man_until_s_ = -1.0;
  } else if (moved) {
    auto_man_until_s_ = view.time_s + AUTO_MAN_HINT_S;
  }
  if (view.hold_lit || view.time_s >= auto_man_until_s_) return std::nullopt;
  return Hint{"auto_man_without_hold", "AUTO_MAN",
              std::string(view.auto_lit ? "AUTO" : "MAN") +
                  " acts only with HOLD engaged: without HOLD the leg changes only with WYPT "
                  "CHG."};
}

std::vector<Hint> PanelHints::update(const PanelView& shown) {
  // HOLD lit by the lamp test says nothing of HOLD: it is taken to be as it was before.
  PanelView view = shown;
  if (view.lamp_test && seen_) view.hold_lit = was_hold_lit_;
  if (!seen_) {
    // What the panel shows at the first look is where the pilot found it, not an action.
    was_hold_lit_ = view.hold_lit;
    was_hold_pressed_ = view.hold_pressed;
    was_auto_lit_ = view.auto_lit;
    was_man_lit_ = view.man_lit;
    seen_ = true;
  }
  std::vector<Hint> hints = alignment_hints(view);
  if (auto hint = hold_hint(view)) hints.push_back(std::move(*hint));
  if (auto hint = auto_man_hint(view)) hints.push_back(std::move(*hint));
  was_hold_lit_ = view.hold_lit;
  was_hold_pressed_ = view.hold_pressed;
  was_auto_lit_ = view.auto_lit;
  was_man_lit_ = view.man_lit;
  return hints;
}

nlohmann::json hints_json(const std::vector<Hint>& hints) {
  nlohmann::json out = nlohmann::json::array();
  for (const Hint& hint : hints) {
    out.push_back({{"id", hint.id}, {"control", hint.control}, {"text", hint.text}});
  }
  return out;
}

}  // namespace host::live
