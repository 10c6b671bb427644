// The numbers of the flight's output files (`ins-host fly`, host/flight/flight_outputs.cpp):
// flight::append_fixed, the host's exact "%.Nf", against std::to_chars' fixed form with a
// precision, which writes the same text. Each is timed on the values a flight writes, field by
// field with the decimals each file gives it, then on all the numbers of the two track files of
// a two-hour flight, and the real writers of those files are timed whole for scale.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench_folder.h"
#include "host/flight/flight_log.h"
#include "host/flight/flight_outputs.h"
#include "host/flight/flight_outputs_text.h"

namespace {

using Writer = void (*)(std::string&, double, int);

// The same text through std::to_chars (every value here is finite).
void to_chars_fixed(std::string& out, double value, int decimals) {
  char text[400];
  const std::to_chars_result written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (written.ec == std::errc{}) out.append(text, written.ptr);
}

// A track like the bundled flight's, Shannon to Keflavik: a point a second for two hours, the
// latitude and longitude moving every second, a climb to FL350 and a descent with the altitude
// in between, whole feet and a round airspeed in the cruise, headings held to a hundredth with
// the track beside them.
std::vector<flight::TrackPoint> two_hour_track() {
  constexpr int POINTS = 7200;
  std::vector<flight::TrackPoint> track(POINTS);
  for (int i = 0; i < POINTS; ++i) {
    const double f = static_cast<double>(i) / (POINTS - 1);
    flight::TrackPoint& p = track[static_cast<std::size_t>(i)];
    p.time_s = 66.03 + i + (i % 30) / 30.0;
    p.lat_deg = 52.7019167 + 11.2834 * f + 0.35 * std::sin(3.1 * f);
    p.lon_east_deg = -8.9246389 - 13.6806 * f - 0.21 * std::sin(2.3 * f);
    const bool climbing = i<1300, descending = i> 6200;
    p.alt_ft = climbing ? 35000.0 * (1.0 - std::cos(i / 1300.0 * 1.5707963))
                        : (descending ? 35000.0 - (i - 6200) * 34.7113 : 35000.0);
    p.tas_kt = climbing || descending ? 150.0 + 330.0 * std::sin(f * 3.0) * 0.9871 : 480.0;
    p.gs_kt = p.tas_kt - 38.2917 * std::cos(0.31 + f);
    p.heading_true_deg = climbing || descending ? 305.1 + 11.37 * f : 316.0 + (i / 900) * 1.5;
    p.track_true_deg = p.heading_true_deg + 1.4321 * std::cos(f * 5.0);
    p.to_waypoint = 1 + i / 1500;
  }
  return track;
}

const std::vector<flight::TrackPoint>& track() {
  static const std::vector<flight::TrackPoint> points = two_hour_track();
  return points;
}

enum class Field { Latitude, Longitude, Altitude, Time, Speed, Heading, Elevation, MapPixel };

// The values of one field over the track, and the decimals its file writes it with.
std::vector<double> values_of(Field field, int& decimals) {
  std::vector<double> values;
  for (const flight::TrackPoint& p : track()) {
    switch (field) {
      case Field::Latitude:
        values.push_back(p.lat_deg), decimals = 7;
        break;
      case Field::Longitude:
        values.push_back(p.lon_east_deg), decimals = 7;
        break;
      case Field::Altitude:
        values.push_back(p.alt_ft), decimals = 0;
        break;
      case Field::Time:
        values.push_back(p.time_s), decimals = 2;
        break;
      case Field::Speed:
        values.push_back(p.gs_kt), decimals = 1;
        break;
      case Field::Heading:
        values.push_back(p.track_true_deg), decimals = 2;
        break;
      case Field::Elevation:  // track.gpx: metres to a tenth
        values.push_back(p.alt_ft * 0.3048), decimals = 1;
        break;
      case Field::MapPixel:  // map.svg: a point of the track in pixels to a tenth
        values.push_back(1000.0 + (p.lon_east_deg + 8.9) * -31.7713), decimals = 1;
        break;
    }
  }
  return values;
}

// One number a call, the field's values in turn.
void BM_OneNumber(benchmark::State& state, Writer write, Field field) {
  int decimals = 0;
  const std::vector<double> values = values_of(field, decimals);
  std::string out;
  out.reserve(64);
  std::size_t i = 0;
  for (auto _ : state) {
    out.clear();
    write(out, values[i], decimals);
    benchmark::DoNotOptimize(out.data());
    if (++i == values.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

#define FIELD_BENCHMARKS(field, name)                                                 \
  BENCHMARK_CAPTURE(BM_OneNumber, append_fixed_##name, &flight::append_fixed, field); \
  BENCHMARK_CAPTURE(BM_OneNumber, to_chars_##name, &to_chars_fixed, field)
FIELD_BENCHMARKS(Field::Latitude, latitude_7);
FIELD_BENCHMARKS(Field::Longitude, longitude_7);
FIELD_BENCHMARKS(Field::Altitude, altitude_0);
FIELD_BENCHMARKS(Field::Time, time_2);
FIELD_BENCHMARKS(Field::Speed, speed_1);
FIELD_BENCHMARKS(Field::Heading, heading_2);
FIELD_BENCHMARKS(Field::Elevation, elevation_1);
FIELD_BENCHMARKS(Field::MapPixel, map_pixel_1);

// Every number of track.csv (eight a point) and track.gpx (three a point) of the two-hour
// track, as those files' lines put them together, without the rest of the lines.
void BM_TrackFilesNumbers(benchmark::State& state, Writer write) {
  std::string line;
  line.reserve(256);
  for (auto _ : state) {
    for (const flight::TrackPoint& p : track()) {
      line.clear();
      for (const auto& [value, decimals] : flight::track_csv_numbers(p)) {
        write(line, value, decimals);
        line += ',';
      }
      // track.gpx: the position and the elevation in metres.
      for (const auto& [value, decimals] :
           {flight::TrackNumber{p.lat_deg, 7}, {p.lon_east_deg, 7}, {p.alt_ft * 0.3048, 1}}) {
        write(line, value, decimals);
        line += ',';
      }
      benchmark::DoNotOptimize(line.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(track().size()) * 11);
}
BENCHMARK_CAPTURE(BM_TrackFilesNumbers, append_fixed, &flight::append_fixed)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TrackFilesNumbers, to_chars, &to_chars_fixed)->Unit(benchmark::kMicrosecond);

// The two track files written whole by the flight's own writers (flight::append_fixed inside),
// into a temporary folder: what the numbers above are a part of.
void BM_WriteTrackFiles(benchmark::State& state) {
  const BenchFolder folder(state, BenchFolder::Apart);
  if (!folder.made()) return;
  const std::filesystem::path csv = folder.path() / "track.csv";
  const std::filesystem::path gpx = folder.path() / "track.gpx";
  for (auto _ : state) {
    flight::write_track_csv(csv, track());
    flight::write_track_gpx(gpx, track(), "EINN-BIKF");
  }
}
BENCHMARK(BM_WriteTrackFiles)->Unit(benchmark::kMicrosecond);

}  // namespace
