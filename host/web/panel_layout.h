// The web panel's layout as JSON: every placed gauge's element chain and mouse list, read from
// the module's tables once when the server starts (what changes from frame to frame is the live
// session's published state, host/live/panel_state.h); and the waypoint file for the map.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/drawing/bitmap_source.h"
#include "host/panel/panel.h"
#include "host/web/web_requests.h"

namespace host::web {

// A placed gauge's width and height: the extent of its element chain (its background bitmap),
// the elements' sizes taken from their bitmaps.
GaugeExtent gauge_extent(const PlacedGauge& gauge, BitmapSource& bitmaps);
std::vector<GaugeExtent> gauge_extents(const Panel& panel, BitmapSource& bitmaps);

nlohmann::json layout_json(const Panel& panel, BitmapSource& bitmaps);

// Waypoints as the INS holds them in WAYPOINTS.DAT (the file's text): number, latitude (north)
// and longitude (east) in degrees, for the map. Lines that do not read as "N LAT LON" are passed
// over.
nlohmann::json waypoints_json(const std::string& waypoint_file_text);

}  // namespace host::web
