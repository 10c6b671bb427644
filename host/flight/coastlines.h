// Coastlines for the flight maps: Natural Earth's land outlines as the npm package world-atlas
// ships them (TopoJSON, quantized and delta-encoded arcs), read into plain polylines of
// longitude and latitude. The web panel draws the same file in the browser.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
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

// The same lines packed for a flight's map: the build reads the topology once (the tool
// `coastlines_pack`) and writes its lines as they are, every coordinate the very double the
// reader above gives, so a flight reads them back with no parsing at all. The file: the line
// "INS coastlines 1", then the number of lines, and for each line its number of points and the
// points as longitude and latitude, each number in the machine's own byte order (the build and
// the program that reads it are one machine's).
bool write_packed_coastlines(const std::filesystem::path& packed_file, const Coastlines& lines);
// Empty when the file is missing, not such a file, or shorter or longer than its counts say.
std::optional<Coastlines> read_packed_coastlines(const std::filesystem::path& packed_file);

}  // namespace flight
