// The files a flight leaves in its output folder: the flown track as CSV and GPX, the plan's
// waypoints as GPX, and an SVG map of the planned legs against the flown track. Each writer
// throws std::runtime_error naming the file when it cannot write.
#pragma once

#include <array>
#include <filesystem>
#include <vector>

#include "host/flight/coastlines.h"
#include "host/flight/flight_log.h"
#include "host/flight/flight_plan.h"

namespace flight {

// A number of a track point as the track files write it: to so many decimals.
struct TrackNumber {
  double value;
  int decimals;
};

// track.csv's decimal columns of one point, in the file's order; the TO waypoint and the HOLD
// flag follow them as whole numbers.
std::array<TrackNumber, 8> track_csv_numbers(const TrackPoint& p);

void write_track_csv(const std::filesystem::path& path, const std::vector<TrackPoint>& track);

// GPX 1.1: one track segment, times counted from 2000-01-01T00:00:00Z in simulated seconds so
// two runs of a flight write the same file.
void write_track_gpx(const std::filesystem::path& path, const std::vector<TrackPoint>& track,
                     const std::string& name);

// GPX 1.1: each plan waypoint as a <wpt> named by its INS number and ident, and the plan as a
// route.
void write_plan_gpx(const std::filesystem::path& path, const FlightPlan& plan);

// A map in a plain projection (longitude scaled by the cosine of the middle latitude, unwrapped
// across the 180-degree meridian) with the coastlines (when given), a graticule, a scale bar,
// the planned legs as great circles, the flown track and the waypoints numbered as the INS
// numbers them, each label placed where it overprints no other label, waypoint or the legend
// (a label with no such place is left out rather than drawn over another).
void write_map_svg(const std::filesystem::path& path, const FlightPlan& plan,
                   const std::vector<TrackPoint>& track, const Coastlines& coastlines = {});

}  // namespace flight
