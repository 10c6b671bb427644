#include "coastlines.h"

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

namespace flight {

namespace {

using nlohmann::json;

// Collects the arc numbers an object's geometries use (a negative number ~i is arc i reversed).
void collect_arcs(const json& node, std::set<std::size_t>& arcs) {
  if (node.is_number_integer()) {
    const auto index = node.get<int64_t>();
    arcs.insert(static_cast<std::size_t>(index < 0 ? ~index : index));
  } else if (node.is_array()) {
    for (const json& item : node) collect_arcs(item, arcs);
  } else if (node.is_object() && node.contains("arcs")) {
    collect_arcs(node["arcs"], arcs);
  }
}

// A seam: every point on the 180-degree meridian, or every point at the pole's latitude.
bool is_seam(const std::vector<GeoPoint>& line) {
  bool meridian = true, pole = true;
  for (const GeoPoint& p : line) {
    meridian = meridian && std::abs(std::abs(p.lon_deg) - 180.0) < 1e-6;
    pole = pole && p.lat_deg < -89.999;
  }
  return meridian || pole;
}

}  // namespace

std::optional<Coastlines> read_coastlines(const std::filesystem::path& topojson_file) {
  std::ifstream in(topojson_file, std::ios::binary);
  if (!in) return std::nullopt;
  const json topology = json::parse(in, nullptr, false);
  if (topology.is_discarded() || !topology.is_object() || !topology.contains("arcs")) {
    return std::nullopt;
  }
  double scale_x = 1.0, scale_y = 1.0, shift_x = 0.0, shift_y = 0.0;
  const bool quantized = topology.contains("transform");
  try {
    if (quantized) {
      const json& t = topology.at("transform");
      scale_x = t.at("scale").at(0).get<double>();
      scale_y = t.at("scale").at(1).get<double>();
      shift_x = t.at("translate").at(0).get<double>();
      shift_y = t.at("translate").at(1).get<double>();
    }
    std::set<std::size_t> used;
    collect_arcs(topology.at("objects").at("land").at("geometries"), used);
    const json& arcs = topology.at("arcs");
    std::vector<std::vector<GeoPoint>> lines;
    for (std::size_t index : used) {
      if (index >= arcs.size()) continue;
      std::vector<GeoPoint> line;
      double x = 0.0, y = 0.0;
      for (const json& position : arcs[index]) {
        const double a = position.at(0).get<double>(), b = position.at(1).get<double>();
        x = quantized ? x + a : a;  // quantized arcs are delta-encoded
        y = quantized ? y + b : b;
        line.push_back({x * scale_x + shift_x, y * scale_y + shift_y});
      }
      if (line.size() > 1 && !is_seam(line)) lines.push_back(std::move(line));
    }
    return lines;
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

}  // namespace flight
