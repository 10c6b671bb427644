#include "host/live/panel_state.h"

#include <filesystem>

#include "host/flight/flight_model.h"
#include "host/panel/control_names.h"
#include "host/panel/stored_waypoints.h"

namespace host::live {

using nlohmann::json;

namespace {

// Every element of every gauge, by chain index: shown, value, vertical value (and the text of
// text elements), for drawing; and the named ones as the scenario language names them, a knob
// also by the legend its position stands for.
void add_elements(const Panel& panel, json& out) {
  json drawn = json::object();
  json visible = json::object();
  json images = json::object();
  json knobs = json::object();
  for (const PlacedGauge& gauge : panel.gauges()) {
    json chain = json::array();
    json named_visible = json::object();
    json named_images = json::object();
    json named_knobs = json::object();
    const bool named = has_named_controls(gauge.name);
    for (std::size_t i = 0; i < Panel::element_count(*gauge.header); ++i) {
      const ElementHeader& e = *Panel::element_at(*gauge.header, i);
      json item = {{"shown", Panel::visible(e)}, {"value", Panel::element_value(e)}};
      if (e.kind == ELEMENT_MOVING_IMAGE) {
        item["value_y"] = +element_record<MovingImageElement>(e).previous_y;
      }
      if (e.kind == ELEMENT_STRING) item["text"] = panel.text_of(e);
      chain.push_back(std::move(item));
      const std::string name = element_name(gauge.name, i);
      if (!named || (name[0] >= '0' && name[0] <= '9')) continue;
      if (e.kind == ELEMENT_ICON && element_record<IconElement>(e).image_count > 1) {
        named_images[name] = Panel::image_value(e);
        const auto legend = knob_legend(gauge.name, name, Panel::image_value(e));
        if (legend) named_knobs[name] = *legend;
      } else if (e.kind == ELEMENT_MOVING_IMAGE) {
        named_images[name] = Panel::image_value(e);
      } else if (e.kind != ELEMENT_STRING && i > 0) {
        named_visible[name] = Panel::visible(e);
      }
    }
    drawn[gauge.name] = std::move(chain);
    if (!named_visible.empty()) visible[gauge.name] = std::move(named_visible);
    if (!named_images.empty()) images[gauge.name] = std::move(named_images);
    if (!named_knobs.empty()) knobs[gauge.name] = std::move(named_knobs);
  }
  out["elements"] = std::move(drawn);
  out["visible"] = std::move(visible);
  out["images"] = std::move(images);
  out["knobs"] = std::move(knobs);
}

json windows_json(const Panel& panel) {
  json windows = json::object();
  const PlacedGauge* ins = panel.find("INS");
  if (ins == nullptr) return windows;
  for (const char* name : INS_WINDOWS) {
    const auto index = element_index("INS", name);
    const ElementHeader* e = index ? Panel::element_at(*ins->header, *index) : nullptr;
    windows[name] = e != nullptr ? panel.text_of(*e) : "";
  }
  return windows;
}

json aircraft_json(const LiveSession& session) {
  const Aircraft& a = session.aircraft();
  const double heading_true_deg = flight::wrap_360_deg(a.heading_mag_deg + a.magvar_east_deg);
  const bool moving = session.motion().on();
  const double track_true_deg =
      moving && a.gs_kt > 0.5 ? session.motion().model().state().track_true_deg : heading_true_deg;
  return {{"lat_deg", a.lat_deg},
          {"lon_east_deg", a.lon_east_deg},
          {"heading_mag_deg", a.heading_mag_deg},
          {"heading_true_deg", heading_true_deg},
          {"track_true_deg", track_true_deg},
          {"magvar_east_deg", a.magvar_east_deg},
          {"gs_kt", a.gs_kt},
          {"tas_kt", a.tas_kt},
          {"alt_ft", a.alt_ft},
          {"mach", a.mach},
          {"oat_c", a.oat_c},
          {"wind_from_true_deg", a.wind_from_true_deg},
          {"wind_speed_kt", a.wind_speed_kt},
          {"battery", a.battery_on},
          {"main_power", a.main_power_on},
          {"ap_master", a.ap_master_on},
          {"ap_heading", a.ap_heading_on},
          {"heading_bug_mag_deg", a.heading_bug_mag_deg},
          {"motion", moving},
          {"phase", moving ? flight::phase_name(session.motion().model().phase()) : "Held"}};
}

// Changes when the waypoint file is replaced or rewritten, so the page knows to fetch it again.
std::string file_stamp(const std::filesystem::path& path) {
  std::error_code error;
  const auto time = std::filesystem::last_write_time(path, error);
  if (error) return "";
  const auto size = std::filesystem::file_size(path, error);
  return std::to_string(time.time_since_epoch().count()) + "-" + std::to_string(error ? 0 : size);
}

}  // namespace

json state_json(const LiveSession& session, const SimStatus& status, PanelHints& hints) {
  const SimClock& clock = session.clock();
  json out = {{"time_s", clock.time_s()},
              {"tick", clock.tick()},
              {"frame", clock.frame_count()},
              {"fps", clock.fps()},
              {"rate", status.rate},
              {"paused", status.paused},
              {"windows", windows_json(session.panel())}};
  add_elements(session.panel(), out);
  out["aircraft"] = aircraft_json(session);
  json panel_windows = json::array();
  for (int w = 1; w <= PANEL_WINDOW_COUNT; ++w) {
    panel_windows.push_back(session.panel().panel_window_open(w));
  }
  out["panel_windows"] = std::move(panel_windows);
  json sounds = json::array();
  for (const SoundRequest& s : session.recent_sounds()) {
    sounds.push_back({{"seq", s.seq}, {"path", s.path}, {"url", s.url}});
  }
  out["sounds"] = std::move(sounds);
  out["waypoints_stamp"] = file_stamp(session.working_folder() / WAYPOINT_FILE_NAME);
  out["plan"] = session.plan() ? json(session.plan()->name) : json(nullptr);
  const auto& held = session.held_press();
  out["held"] = held ? json{{"gauge", held->gauge}, {"client", held->owner.client}} : json(nullptr);
  out["hints"] = hints_json(hints.update(view_of(session)));
  return out;
}

}  // namespace host::live
