// The files a flight leaves in its output folder: the flown track as CSV and GPX, the plan's
// waypoints as GPX, and an SVG map of the planned legs against the flown track. Each writer
// throws std::runtime_error naming the file when it cannot write.
#pragma once

#include <filesystem>
#include <vector>

#include "flight_log.h"
#include "flight_plan.h"

namespace flight {

void write_track_csv(const std::filesystem::path& path, const std::vector<TrackPoint>& track);

// GPX 1.1: one track segment, times counted from 2000-01-01T00:00:00Z in simulated seconds so
// two runs of a flight write the same file.
void write_track_gpx(const std::filesystem::path& path, const std::vector<TrackPoint>& track,
                     const std::string& name);

// GPX 1.1: each plan waypoint as a <wpt> named by its INS number and ident, and the plan as a
// route.
void write_plan_gpx(const std::filesystem::path& path, const FlightPlan& plan);

// A map in a plain projection (longitude scaled by the cosine of the middle latitude, unwrapped
// across the 180-degree meridian) with a graticule, the planned legs as great circles, the flown
// track and the waypoints numbered as the INS numbers them.
void write_map_svg(const std::filesystem::path& path, const FlightPlan& plan,
                   const std::vector<TrackPoint>& track);

}  // namespace flight
