// The track files' numbers are written without printf but must read exactly as printf's "%.Nf"
// writes them: every line of a CSV and a GPX of awkward values (rounding ties, negative zero,
// values that round to zero from below, large and tiny numbers) against snprintf.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "flight_outputs.h"

namespace {

std::vector<std::string> lines_of(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(TrackFiles, NumbersReadAsPrintfWritesThem) {
  const std::vector<double> values = {0.0,       -0.0,          0.125,       2.5,         -2.5,
                                      0.005,     0.015,         1.000000049, -0.00000004, 1e-300,
                                      123456.75, -179.99999995, 89.99999995, 35000.5,     0.05,
                                      1.45,      -1.45,         7.0 / 3.0,   1e9 + 0.5,   359.995};
  std::vector<flight::TrackPoint> track;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double v = values[i], w = values[(i + 7) % values.size()];
    flight::TrackPoint p;
    p.time_s = std::abs(v) * 40.0;
    p.lat_deg = v;
    p.lon_east_deg = w;
    p.alt_ft = v * 100.0;
    p.gs_kt = w;
    p.tas_kt = v;
    p.heading_true_deg = w;
    p.track_true_deg = v;
    p.to_waypoint = static_cast<int>(i) - 3;
    p.hold = i % 2 == 0;
    track.push_back(p);
  }
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("track-files-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  flight::write_track_csv(folder / "track.csv", track);
  flight::write_track_gpx(folder / "track.gpx", track, "T");
  const std::vector<std::string> csv = lines_of(folder / "track.csv");
  const std::vector<std::string> gpx = lines_of(folder / "track.gpx");
  std::filesystem::remove_all(folder);
  ASSERT_EQ(csv.size(), track.size() + 1);
  ASSERT_GT(gpx.size(), track.size());
  for (std::size_t i = 0; i < track.size(); ++i) {
    const flight::TrackPoint& p = track[i];
    char expected[512];
    std::snprintf(expected, sizeof expected, "%.2f,%.7f,%.7f,%.0f,%.1f,%.1f,%.2f,%.2f,%d,%d",
                  p.time_s, p.lat_deg, p.lon_east_deg, p.alt_ft, p.gs_kt, p.tas_kt,
                  p.heading_true_deg, p.track_true_deg, p.to_waypoint, p.hold ? 1 : 0);
    EXPECT_EQ(csv[i + 1], expected);
    std::snprintf(expected, sizeof expected, "<trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele>",
                  p.lat_deg, p.lon_east_deg, p.alt_ft * 0.3048);
    EXPECT_NE(gpx[i + 5].find(expected), std::string::npos) << gpx[i + 5] << "\n" << expected;
  }
  // Simulated seconds as a time of day after a fixed epoch, two digits each.
  EXPECT_NE(gpx[5].find("<time>2000-01-01T00:00:00Z</time>"), std::string::npos) << gpx[5];
  EXPECT_NE(gpx[15].find("<time>2000-02-27T03:44:30Z</time>"), std::string::npos) << gpx[15];
}

}  // namespace
