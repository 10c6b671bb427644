#include "flown_panel.h"

#include <fstream>
#include <optional>
#include <stdexcept>

#include "host/panel/control_names.h"
#include "host/panel/mouse_list.h"

namespace bench {

namespace {

// The plan of the nav_*.scn scenarios: waypoint 00 at 0N 0E, ALFA 0N 1E, BRAVO 1N 1E,
// CHARLIE 1N 2E (radians, longitude west positive).
constexpr const char* WAYPOINT_FILE =
    "0 0.00000000 0.00000000\n"
    "1 0.00000000 -0.01745329\n"
    "2 0.01745329 -0.01745329\n"
    "3 0.01745329 -0.03490658\n";

constexpr int FPS = 30;

}  // namespace

FlownPanel::FlownPanel()
    : folder_(std::nullopt, false),
      sound_(INS_SOUND_LIBRARY, log_),
      clock_(FPS),
      variables_(aircraft_, clock_),
      module_(std::make_unique<host::ModuleLoader>(INS_MODULE_PATH)),
      panel_(std::make_unique<host::Panel>(*module_, aircraft_, clock_, variables_, log_)) {
  sound_.set_search_folders(folder_.path(), INS_ASSETS_FOLDER);
  std::ofstream(folder_.path() / "WAYPOINTS.DAT") << WAYPOINT_FILE;

  panel_->place({"INS", "INS_UPDATE", "ALIGN"});
  const std::pair<const char*, double> conditions[] = {
      {"lat", 0.0},         {"lon", 0.0},     {"magvar", -5.0},    {"heading", 98.0},
      {"gs", 0.0},          {"mach", 0.6},    {"oat", 15.0},       {"wind_dir", 134.5},
      {"wind_speed", 19.5}, {"battery", 1.0}, {"main_power", 1.0}, {"ap_master", 1.0},
      {"ap_heading", 1.0}};
  for (const auto& [name, value] : conditions) variables_.set_condition(name, value);

  // STBY, ALIGN, one minute to READY NAV, NAV.
  click("ALIGN", "CW");
  run(1);
  click("ALIGN", "CW");
  run(61 * FPS);
  click("ALIGN", "CW");
  run(1);
  // First leg, airborne 3 NM left of it, the selector at XTK/TKE (the longest texts), HOLD.
  click("INS", "WYPT_CHG");
  variables_.set_condition("gs", 420.0);
  variables_.set_condition("lat", 0.05);
  variables_.set_condition("lon", 0.2);
  click("INS", "SEL_CCW");
  run(FPS);
  click("INS", "HOLD");
  run(FPS);

  if (text("INS", "to") != "01" || text("INS", "left") != "L    3.00" || steering_events() != 1) {
    throw std::runtime_error("the flown panel did not reach HOLD on the first leg: TO \"" +
                             text("INS", "to") + "\", left \"" + text("INS", "left") + "\"");
  }
}

FlownPanel::~FlownPanel() {
  panel_.reset();
  module_.reset();  // the module goes before the sound library it may hold
}

void FlownPanel::frame() {
  log_.start_command();
  log_.frame_written();
  steer_autopilot(panel_->run_frame(), aircraft_);
}

void FlownPanel::run(int frames) {
  for (int i = 0; i < frames; ++i) frame();
}

void FlownPanel::approach_leg_end() {
  variables_.set_condition("lat", 0.0);
  variables_.set_condition("lon", 1.0 - 1.9 / 60.0);
}

void FlownPanel::click(std::string_view gauge_name, std::string_view control) {
  const host::PlacedGauge* gauge = panel_->find(gauge_name);
  const auto index = host::control_box_index(gauge_name, control);
  const MouseRow* row =
      gauge != nullptr && index ? host::clickable_box(gauge->header->mouse_list, *index) : nullptr;
  if (row == nullptr) throw std::runtime_error("no control " + std::string(control));
  panel_->click(*gauge, host::box_centre(*row));
}

std::string FlownPanel::text(std::string_view gauge_name, std::string_view window) const {
  const host::PlacedGauge* gauge = panel_->find(gauge_name);
  const auto index = host::element_index(gauge_name, window);
  const ElementHeader* element =
      gauge != nullptr && index ? host::Panel::element_at(*gauge->header, *index) : nullptr;
  return element != nullptr ? panel_->text_of(*element) : std::string();
}

int FlownPanel::steering_events() const {
  int count = 0;
  for (const auto& tally : log_.since_command().events.kept()) {
    if (tally.record.event_id == EVENT_HEADING_BUG_SET) count += static_cast<int>(tally.count);
  }
  return count;
}

}  // namespace bench
