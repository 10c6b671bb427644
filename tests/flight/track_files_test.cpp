// The track files' numbers are written without printf but must read exactly as printf's "%.Nf"
// writes them: every line of a CSV and a GPX of awkward values (rounding ties, negative zero,
// values that round to zero from below, large and tiny numbers) against snprintf.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/flight/flight_outputs.h"
#include "host/flight/flight_outputs_text.h"

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

// The numbers' own writer against snprintf over a sweep: every decimal count the files use
// and beyond, values at and beside the rounding ties (exact binary ties such as 0.125 go to the
// even digit, the nearest doubles on either side of a decimal tie do not), negative zero and
// negatives that round to zero, subnormals, the edge of the exact range (2^40) and beyond it,
// infinities and NaN, and random values of every size the files meet.
TEST(TrackFiles, FixedNumbersReadAsPrintfWritesThemOverASweep) {
  std::vector<double> values = {0.0,
                                -0.0,
                                std::numeric_limits<double>::denorm_min(),
                                -std::numeric_limits<double>::min(),
                                1e-300,
                                0.5,
                                1.5,
                                2.5,
                                -2.5,
                                0.125,
                                0.375,
                                -0.625,
                                1.0 / 1024.0,
                                std::ldexp(1.0, 40),
                                std::nextafter(std::ldexp(1.0, 40), 0.0),
                                -std::ldexp(1.0, 40),
                                1e15 + 0.25,
                                1e300,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN()};
  // Decimal ties of every decimal count and the doubles just beside them.
  for (int decimals = 1; decimals <= 8; ++decimals) {
    for (double whole : {0.0, 1.0, 52.0, -9.0, 359.0, 35000.0}) {
      for (int tie : {5, 15, 25, 45, 95}) {
        const double v = whole + tie * std::pow(10.0, -decimals - 1) * (whole < 0 ? -1 : 1);
        values.insert(values.end(), {v, std::nextafter(v, 1e300), std::nextafter(v, -1e300)});
      }
    }
  }
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> power(-12, 16);
  for (int i = 0; i < 40000; ++i) values.push_back(unit(random) * std::pow(10.0, power(random)));
  std::uniform_int_distribution<uint64_t> any_bits;
  for (int i = 0; i < 5000; ++i) values.push_back(std::bit_cast<double>(any_bits(random)));

  for (double value : values) {
    for (int decimals = 0; decimals <= 9; ++decimals) {
      std::string written;
      flight::append_fixed(written, value, decimals);
      std::vector<char> expected(400);
      std::snprintf(expected.data(), expected.size(), "%.*f", decimals, value);
      ASSERT_EQ(written, expected.data())
          << "value " << std::hexfloat << value << ", " << decimals << " decimals";
    }
  }
}

TEST(TrackFiles, WholeNumbersReadAsPrintfWritesThem) {
  const std::vector<long> values = {0,
                                    7,
                                    -7,
                                    42,
                                    999,
                                    1000,
                                    -1000,
                                    2147483648L,
                                    std::numeric_limits<long>::max(),
                                    std::numeric_limits<long>::min()};
  for (long value : values) {
    for (int digits : {1, 2, 4, 6}) {
      std::string written;
      flight::append_whole(written, value, digits);
      char expected[64];
      std::snprintf(expected, sizeof expected, "%0*ld", digits, value);
      EXPECT_EQ(written, expected) << value << " in " << digits << " digits";
    }
  }
}

}  // namespace
