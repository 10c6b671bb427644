// Coastlines for the flight maps: Natural Earth's land outlines as the npm package world-atlas
// ships them (TopoJSON, quantized and delta-encoded arcs), read into plain polylines of
// longitude and latitude. The web panel draws the same file in the browser.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace flight {

struct GeoPoint {
  double lon_deg = 0.0;
  double lat_deg = 0.0;
};

using Coastlines = std::vector<std::vector<GeoPoint>>;

// Every arc of the topology's "land" object once, as a polyline. The seams the data carries
// where land is cut at the 180-degree meridian and along the South Pole are left out: they are
// no coast. Empty when the file is missing or is not such a topology.
std::optional<Coastlines> read_coastlines(const std::filesystem::path& topojson_file);

}  // namespace flight
