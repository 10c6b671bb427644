// The flight map: Natural Earth coastlines read from the world-atlas file the web panel ships,
// a scale bar, and waypoint labels that never overprint one another.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "host/flight/coastlines.h"
#include "host/flight/flight_outputs.h"

namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

fs::path temporary_svg(const std::string& name) {
  return fs::temp_directory_path() / ("ins-map-test-" + name + ".svg");
}

TEST(Coastlines, NaturalEarthLandReadsAsLinesOnTheGlobe) {
  const auto lines = flight::read_coastlines(INS_LAND_FILE);
  ASSERT_TRUE(lines.has_value());
  ASSERT_GT(lines->size(), 500u);
  // Ireland's west coast passes near Loop Head (52.56 N, 9.93 W): some coastline point within
  // 0.1 degree of it, and every point on the globe.
  bool near_loop_head = false;
  for (const auto& line : *lines) {
    for (const flight::GeoPoint& p : line) {
      ASSERT_LE(std::abs(p.lat_deg), 90.0);
      ASSERT_LE(std::abs(p.lon_deg), 180.0);
      near_loop_head =
          near_loop_head || (std::abs(p.lat_deg - 52.56) < 0.1 && std::abs(p.lon_deg + 9.93) < 0.1);
    }
  }
  EXPECT_TRUE(near_loop_head);
}

// The reader follows the parser's events; the same lines come from the whole document read
// first and walked (the way it was read before), to the last bit.
TEST(Coastlines, ReadAsTheWholeDocumentReadsThem) {
  const nlohmann::json topology = nlohmann::json::parse(read_all(INS_LAND_FILE));
  const nlohmann::json& t = topology.at("transform");
  std::set<std::size_t> used;
  for (const nlohmann::json& geometry : topology.at("objects").at("land").at("geometries")) {
    for (const nlohmann::json& polygon : geometry.at("arcs")) {
      for (const nlohmann::json& ring : polygon) {
        for (const nlohmann::json& arc : ring) {
          const auto index = arc.get<int64_t>();
          used.insert(static_cast<std::size_t>(index < 0 ? ~index : index));
        }
      }
    }
  }
  std::vector<std::vector<flight::GeoPoint>> expected;
  for (std::size_t index : used) {
    std::vector<flight::GeoPoint> line;
    double x = 0.0, y = 0.0;
    for (const nlohmann::json& position : topology.at("arcs").at(index)) {
      x += position.at(0).get<double>();
      y += position.at(1).get<double>();
      line.push_back(
          {x * t.at("scale").at(0).get<double>() + t.at("translate").at(0).get<double>(),
           y * t.at("scale").at(1).get<double>() + t.at("translate").at(1).get<double>()});
    }
    const bool on_meridian = std::all_of(line.begin(), line.end(), [](const flight::GeoPoint& p) {
      return std::abs(std::abs(p.lon_deg) - 180.0) < 1e-6;
    });
    const bool at_pole = std::all_of(line.begin(), line.end(),
                                     [](const flight::GeoPoint& p) { return p.lat_deg < -89.999; });
    if (line.size() > 1 && !on_meridian && !at_pole) expected.push_back(line);
  }
  const auto lines = flight::read_coastlines(INS_LAND_FILE);
  ASSERT_TRUE(lines.has_value());
  ASSERT_EQ(lines->size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ((*lines)[i].size(), expected[i].size()) << "line " << i;
    for (std::size_t j = 0; j < expected[i].size(); ++j) {
      ASSERT_EQ((*lines)[i][j].lon_deg, expected[i][j].lon_deg) << "line " << i << " point " << j;
      ASSERT_EQ((*lines)[i][j].lat_deg, expected[i][j].lat_deg) << "line " << i << " point " << j;
    }
  }
}

TEST(Coastlines, MissingOrForeignFileReadsAsNone) {
  EXPECT_FALSE(flight::read_coastlines("/nonexistent/land.json").has_value());
  const fs::path odd = fs::temp_directory_path() / "ins-map-test-not-topojson.json";
  for (const char* text :
       {"{\"type\": \"FeatureCollection\", \"features\": []}", "[1, 2]", "{\"arcs\": [[[1, 2]]]",
        "{\"arcs\": [[[1]]], \"objects\": {\"land\": {\"geometries\": []}}}",
        "{\"arcs\": [[5]], \"objects\": {\"land\": {\"geometries\": []}}}",
        "{\"arcs\": [], \"objects\": {\"land\": {}}}",
        "{\"arcs\": [], \"objects\": {\"land\": {\"geometries\": []}}, \"transform\": {}}"}) {
    std::ofstream(odd) << text;
    EXPECT_FALSE(flight::read_coastlines(odd).has_value()) << text;
  }
  // The smallest topology there is: one arc of two points, not quantized.
  std::ofstream(odd) << "{\"arcs\": [[[1, 2], [3, 4.5]]], \"objects\": {\"land\": "
                        "{\"geometries\": [{\"arcs\": [[-1]]}]}}}";
  const auto one = flight::read_coastlines(odd);
  ASSERT_TRUE(one.has_value());
  ASSERT_EQ(one->size(), 1u);
  EXPECT_EQ((*one)[0][1].lon_deg, 3.0);
  EXPECT_EQ((*one)[0][1].lat_deg, 4.5);
  fs::remove(odd);
}

// What the build packs for the flights' maps reads back as the very lines of the topology.
TEST(Coastlines, PackedByTheBuildReadAsTheTopologyReads) {
  const auto expected = flight::read_coastlines(INS_LAND_FILE);
  const auto packed = flight::read_packed_coastlines(INS_PACKED_LAND_FILE);
  ASSERT_TRUE(expected.has_value());
  ASSERT_TRUE(packed.has_value());
  ASSERT_EQ(packed->size(), expected->size());
  for (std::size_t i = 0; i < expected->size(); ++i) {
    const auto& want = (*expected)[i];
    const auto& got = (*packed)[i];
    ASSERT_EQ(got.size(), want.size()) << "line " << i;
    for (std::size_t j = 0; j < want.size(); ++j) {
      ASSERT_EQ(std::bit_cast<uint64_t>(got[j].lon_deg), std::bit_cast<uint64_t>(want[j].lon_deg))
          << "line " << i << " point " << j;
      ASSERT_EQ(std::bit_cast<uint64_t>(got[j].lat_deg), std::bit_cast<uint64_t>(want[j].lat_deg))
          << "line " << i << " point " << j;
    }
  }
}

// A packed file that is cut short, runs on, is another file or claims more than it holds reads
// as none (and a count of four billion lines reserves nothing).
TEST(Coastlines, DamagedPackedFileReadsAsNone) {
  const fs::path file = fs::temp_directory_path() / "ins-map-test-packed.coastlines";
  const flight::Coastlines lines = {{{-10.5, 52.25}, {-9.75, 53.0}}, {}, {{1, 2}, {3, 4}, {5, 6}}};
  ASSERT_TRUE(flight::write_packed_coastlines(file, lines));
  const auto whole = flight::read_packed_coastlines(file);
  ASSERT_TRUE(whole.has_value());
  ASSERT_EQ(whole->size(), 3u);
  EXPECT_EQ((*whole)[0][1].lat_deg, 53.0);
  EXPECT_TRUE((*whole)[1].empty());
  EXPECT_EQ((*whole)[2][2].lon_deg, 5.0);
  const std::string good = read_all(file);
  const std::string header = "INS coastlines 1\n";
  ASSERT_EQ(good.substr(0, header.size()), header);
  const std::string many_lines = std::string("\xFF\xFF\xFF\xFF", 4);
  const std::string many_points = std::string("\x01\0\0\0\xFF\xFF\xFF\x0F", 8);
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"empty", ""},
      {"header only", header},
      {"another file's header", "INS coastlines 2\n" + good.substr(header.size())},
      {"the topology itself", read_all(INS_LAND_FILE)},
      {"cut in a point", good.substr(0, good.size() - 3)},
      {"cut after a line's count", good.substr(0, header.size() + 8)},
      {"a byte more", good + "x"},
      {"four billion lines", header + many_lines},
      {"a line of 268 million points", header + many_points},
  };
  for (const Case& c : cases) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.bytes;
    EXPECT_FALSE(flight::read_packed_coastlines(file).has_value()) << c.what;
  }
  fs::remove(file);
  EXPECT_FALSE(flight::read_packed_coastlines(file).has_value()) << "missing";
}

// Label boxes from the SVG itself (position of the text, its length at a width no glyph of the
// 12-pixel font exceeds) must not overlap one another.
void expect_labels_apart(const std::string& svg) {
  struct Label {
    double x, y, w;
    std::string text;
  };
  std::vector<Label> labels;
  const std::regex label(
      "<text class=\"label\" x=\"([-0-9.]+)\" y=\"([-0-9.]+)\"[^>]*>([^<]*)</text>");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), label); it != std::sregex_iterator();
       ++it) {
    const std::string text = (*it)[3];
    labels.push_back(
        {std::stod((*it)[1]), std::stod((*it)[2]), 7.0 * static_cast<double>(text.size()), text});
  }
  ASSERT_FALSE(labels.empty());
  for (std::size_t i = 0; i < labels.size(); ++i) {
    for (std::size_t j = i + 1; j < labels.size(); ++j) {
      const Label& a = labels[i];
      const Label& b = labels[j];
      const bool apart = a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + 12 <= b.y || b.y + 12 <= a.y;
      EXPECT_TRUE(apart) << "\"" << a.text << "\" overprints \"" << b.text << "\"";
    }
  }
}

TEST(MapSvg, ShannonToKeflavikHasCoastlinesScaleBarAndEveryLabel) {
  const flight::FlightPlan plan =
      flight::read_flight_plan(fs::path(INS_SOURCE_DIR) / "examples" / "EINN-BIKF-oceanic.PLN");
  const auto coast = flight::read_coastlines(INS_LAND_FILE);
  ASSERT_TRUE(coast.has_value());
  const fs::path path = temporary_svg("einn-bikf");
  flight::write_map_svg(path, plan, {}, *coast);
  const std::string svg = read_all(path);
  fs::remove(path);
  const std::regex polyline("<polyline points=");
  const auto coast_lines =
      std::distance(std::sregex_iterator(svg.begin(), svg.end(), polyline), std::sregex_iterator());
  EXPECT_GT(coast_lines, 5);  // Ireland, Iceland, the Faroes, Scotland's islands...
  EXPECT_NE(svg.find("<g class=\"scale\">"), std::string::npos);
  EXPECT_TRUE(std::regex_search(svg, std::regex(">(100|200|500) NM</text>")));
  for (std::size_t i = 0; i < plan.waypoints.size(); ++i) {
    char number[24];
    std::snprintf(number, sizeof number, "%02zu", i + 1);
    EXPECT_NE(svg.find(">" + std::string(number) + " " + plan.waypoints[i].ident + "</text>"),
              std::string::npos)
        << plan.waypoints[i].ident;
  }
  expect_labels_apart(svg);
}

// A coastline that reaches into the map from far to the north or the south is drawn from its
// points on the map; one that stays wholly north or south of it is not.
TEST(MapSvg, CoastlinesReachingInFromNorthOrSouthAreDrawn) {
  const flight::FlightPlan plan =
      flight::read_flight_plan(fs::path(INS_SOURCE_DIR) / "examples" / "EINN-BIKF-oceanic.PLN");
  const flight::Coastlines coast = {
      {{-15.0, 20.0}, {-15.5, 40.0}, {-16.0, 58.0}, {-16.5, 40.0}},  // in from the south
      {{-14.0, 89.0}, {-14.5, 75.0}, {-15.0, 60.0}, {-15.5, 89.0}},  // in from the north
      {{-15.0, 20.0}, {-15.5, 30.0}, {-16.0, 40.0}},                 // wholly south
      {{-15.0, 80.0}, {-15.5, 89.0}},                                // wholly north
  };
  const fs::path path = temporary_svg("reaching-in");
  flight::write_map_svg(path, plan, {}, coast);
  const std::string svg = read_all(path);
  fs::remove(path);
  const std::regex polyline("<polyline points=\"([^\"]*)\"");
  std::vector<std::string> drawn;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), polyline);
       it != std::sregex_iterator(); ++it) {
    drawn.push_back((*it)[1]);
  }
  ASSERT_EQ(drawn.size(), 2u) << svg;
  // Each the segments into and out of its point on the map: three points.
  for (const std::string& points : drawn) {
    EXPECT_EQ(std::count(points.begin(), points.end(), ' '), 3) << points;
  }
}

TEST(MapSvg, CrowdedWaypointsKeepTheirLabelsApart) {
  // Twelve waypoints a few miles apart along a long leg: at the map's scale their labels would
  // all sit on top of one another.
  flight::FlightPlan plan;
  plan.title = "crowded";
  for (int i = 0; i < 12; ++i) {
    plan.waypoints.push_back({"WPT" + std::to_string(i), 50.0 + 0.02 * i, 8.0 + 0.03 * i, i + 1});
  }
  plan.waypoints.push_back({"FAR", 55.0, 20.0, 13});
  const fs::path path = temporary_svg("crowded");
  flight::write_map_svg(path, plan, {});
  const std::string svg = read_all(path);
  fs::remove(path);
  expect_labels_apart(svg);
  EXPECT_NE(svg.find(">13 FAR</text>"), std::string::npos);
}

}  // namespace
