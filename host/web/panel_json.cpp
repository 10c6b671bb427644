#include "host/web/panel_json.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/panel/control_names.h"
#include "host/panel/mouse_list.h"
#include "host/panel/stored_waypoints.h"
#include "host/picture/panel_picture.h"

namespace host::web {

namespace {

using nlohmann::json;

const char* kind_name(ElementKind kind) {
  switch (kind) {
    case ELEMENT_STATIC_IMAGE:
      return "static";
    case ELEMENT_ICON:
      return "icon";
    case ELEMENT_MOVING_IMAGE:
      return "moving";
    case ELEMENT_STRING:
      return "text";
    default:
      return "unknown";
  }
}

// 0x00BBGGRR as "#rrggbb".
std::string css_colour(uint32_t bgr) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", bgr & 0xFFu, (bgr >> 8) & 0xFFu,
                (bgr >> 16) & 0xFFu);
  return text;
}

json element_layout(const PlacedGauge& gauge, std::size_t index, const ElementHeader& e,
                    BitmapSource& bitmaps) {
  const PictureBox box = element_box(e, bitmaps);
  json out = {{"index", index},
              {"name", element_name(gauge.name, index)},
              {"kind", kind_name(e.kind)},
              {"x", e.position.x},
              {"y", e.position.y},
              {"width", box.width_px},
              {"height", box.height_px},
              {"flags", e.image_flags & ~IMAGE_HIDDEN},
              {"transparent", (e.image_flags & IMAGE_USE_TRANSPARENCY) != 0}};
  if (e.kind == ELEMENT_STRING) {
    const auto& t = element_record<TextElement>(e);
    out["chars"] = t.char_count;
    out["font_face"] = std::string(t.font_face, strnlen(t.font_face, sizeof t.font_face));
    out["text_colour"] = css_colour(t.text_color);
    out["background_colour"] = css_colour(t.background_color);
    out["centred"] = (t.draw_flags & TEXT_CENTER_HORIZONTAL) != 0;
    return out;
  }
  out["bitmap"] = e.bitmap_id;
  out["images"] = e.kind == ELEMENT_ICON ? element_record<IconElement>(e).image_count : 1;
  if (e.kind == ELEMENT_MOVING_IMAGE) {
    const auto& m = element_record<MovingImageElement>(e);
    const MovingTravel travel = moving_travel(e, bitmaps);
    out["mask"] = moving_mask_id(e);
    // Copies (+): the record is packed to 4 bytes, and the JSON values would bind references to
    // its 8-byte fields.
    out["x_range"] = {+m.x_minimum, +m.x_maximum};
    out["y_range"] = {+m.y_minimum, +m.y_maximum};
    out["x_travel"] = travel.x_px;
    out["y_travel"] = travel.y_px;
  }
  return out;
}

json mouse_layout(const PlacedGauge& gauge) {
  json boxes = json::array();
  const auto names = control_names(gauge.name);
  for (std::size_t i = 0;; ++i) {
    const MouseRow* row = clickable_box(gauge.header->mouse_list, i);
    if (row == nullptr) break;
    json box = {{"x", row->x},           {"y", row->y},
                {"width", row->width},   {"height", row->height},
                {"cursor", row->cursor}, {"repeats", (row->event_flags & MOUSE_LEFT_REPEAT) != 0}};
    if (i < names.size()) box["control"] = std::string(names[i]);
    boxes.push_back(std::move(box));
  }
  return boxes;
}

}  // namespace

GaugeExtent gauge_extent(const PlacedGauge& gauge, BitmapSource& bitmaps) {
  // (A moving image takes only the window over its strip.)
  const PictureBox extent = elements_extent(*gauge.header, bitmaps);
  return {gauge.name, extent.width_px, extent.height_px};
}

std::vector<GaugeExtent> gauge_extents(const Panel& panel, BitmapSource& bitmaps) {
  std::vector<GaugeExtent> extents;
  for (const PlacedGauge& gauge : panel.gauges()) extents.push_back(gauge_extent(gauge, bitmaps));
  return extents;
}

json layout_json(const Panel& panel, BitmapSource& bitmaps) {
  json gauges = json::array();
  for (const PlacedGauge& gauge : panel.gauges()) {
    const GaugeExtent extent = gauge_extent(gauge, bitmaps);
    json elements = json::array();
    for (std::size_t i = 0; i < Panel::element_count(*gauge.header); ++i) {
      elements.push_back(element_layout(gauge, i, *Panel::element_at(*gauge.header, i), bitmaps));
    }
    gauges.push_back({{"name", gauge.name},
                      {"width", extent.width},
                      {"height", extent.height},
                      {"elements", std::move(elements)},
                      {"mouse", mouse_layout(gauge)}});
  }
  return {{"gauges", std::move(gauges)}, {"windows", INS_WINDOWS}};
}

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

json waypoints_json(const std::string& waypoint_file_text) {
  json list = json::array();
  for (const StoredWaypoint& w : stored_waypoints(waypoint_file_text)) {
    list.push_back({{"number", w.number},
                    {"lat_deg", w.lat_rad * DEG_PER_RADIAN},
                    {"lon_east_deg", -w.lon_west_rad * DEG_PER_RADIAN}});
  }
  return list;
}

}  // namespace host::web
