#include "host/web/panel_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/live/panel_state.h"
#include "host/panel/control_names.h"
#include "host/panel/mouse_list.h"
#include "host/panel/stored_waypoints.h"
#include "host/picture/panel_picture.h"

namespace host::web {

namespace {

using live::INS_WINDOWS;
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
