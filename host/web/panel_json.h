// The web panel's view of the live session as JSON: the layout (every placed gauge's element
// chain and mouse list, read from the module's tables once) and the state (what changes from
// frame to frame: window texts, visibility, image values, the aircraft, the clock).
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "host/drawing/bitmap_source.h"
#include "host/web/live_session.h"
#include "host/web/panel_hints.h"
#include "host/web/web_requests.h"

namespace host::web {

// A JSON value as the server sends it. Bytes that are not UTF-8 (a path or a message repeating
// what a client sent) are replaced rather than thrown over, so a reply or a state is always made.
inline std::string json_text(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The INS text windows by their scenario names, in the order the page lists them.
inline constexpr const char* INS_WINDOWS[] = {"left", "right", "N", "S", "E", "W", "from", "to"};

// A placed gauge's width and height: the extent of its element chain (its background bitmap),
// the elements' sizes taken from their bitmaps.
GaugeExtent gauge_extent(const PlacedGauge& gauge, BitmapSource& bitmaps);
std::vector<GaugeExtent> gauge_extents(const Panel& panel, BitmapSource& bitmaps);

nlohmann::json layout_json(const Panel& panel, BitmapSource& bitmaps);

struct SimStatus {
  int rate = 1;
  bool paused = false;
};

// The state after a frame. `hints` remembers the pilot's last actions between states (see
// PanelHints); one publisher keeps one.
nlohmann::json state_json(const LiveSession& session, const SimStatus& status, PanelHints& hints);

// Waypoints as the INS holds them in WAYPOINTS.DAT (the file's text): number, latitude (north)
// and longitude (east) in degrees, for the map. Lines that do not read as "N LAT LON" are passed
// over.
nlohmann::json waypoints_json(const std::string& waypoint_file_text);

}  // namespace host::web
