#include "flight_log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "flight_model.h"

namespace flight {

double distance_nm(double lat1_deg, double lon1_deg, double lat2_deg, double lon2_deg) {
  return great_circle(lat1_deg, lon1_deg, lat2_deg, lon2_deg).distance_nm;
}

FlightLog::Vec3 FlightLog::unit(double lat_deg, double lon_deg) {
  const double lat = lat_deg * RAD_PER_DEGREE;
  const double lon = lon_deg * RAD_PER_DEGREE;
  return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}

FlightLog::FlightLog(const FlightPlan& plan, double sample_s) : plan_(plan), sample_s_(sample_s) {
  const auto& wps = plan.waypoints;
  for (const PlanWaypoint& wp : wps) waypoint_units_.push_back(unit(wp.lat_deg, wp.lon_east_deg));
  closest_nm_.assign(wps.size(), 1e300);
  for (std::size_t i = 0; i + 1 < wps.size(); ++i) {
    const Vec3 a = waypoint_units_[i];
    const Vec3 b = waypoint_units_[i + 1];
    Vec3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (length > 0.0) n = {n.x / length, n.y / length, n.z / length};
    leg_normals_.push_back(n);
    LegRecord leg;
    leg.from_number = static_cast<int>(i + 1);
    leg.to_number = static_cast<int>(i + 2);
    leg.from_ident = wps[i].ident;
    leg.to_ident = wps[i + 1].ident;
    leg.leg_nm = distance_nm(wps[i].lat_deg, wps[i].lon_east_deg, wps[i + 1].lat_deg,
                             wps[i + 1].lon_east_deg);
    legs_.push_back(leg);
  }
}

int FlightLog::leg_index_for(int to_number) const {
  const int index = to_number - 2;
  return index >= 0 && index < static_cast<int>(legs_.size()) ? index : -1;
}

bool FlightLog::record(const TrackPoint& point) {
  const Vec3 p = unit(point.lat_deg, point.lon_east_deg);
  for (std::size_t i = 0; i < waypoint_units_.size(); ++i) {
    const Vec3& w = waypoint_units_[i];
    const double dot = p.x * w.x + p.y * w.y + p.z * w.z;
    const Vec3 c{p.y * w.z - p.z * w.y, p.z * w.x - p.x * w.z, p.x * w.y - p.y * w.x};
    const double angle = std::atan2(std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z), dot);
    closest_nm_[i] = std::min(closest_nm_[i], angle * NM_PER_RADIAN);
  }
  const double dt_s = point.time_s - last_time_s_;
  last_time_s_ = point.time_s;
  const int leg = leg_index_for(point.to_waypoint);
  if (leg >= 0) {
    LegRecord& record = legs_[static_cast<std::size_t>(leg)];
    if (record.flown) record.time_s += dt_s;
    record.flown = true;
    const Vec3& n = leg_normals_[static_cast<std::size_t>(leg)];
    const double xtk_nm =
        std::abs(std::asin(std::clamp(p.x * n.x + p.y * n.y + p.z * n.z, -1.0, 1.0))) *
        NM_PER_RADIAN;
    record.max_xtk_nm = std::max(record.max_xtk_nm, xtk_nm);
  }
  for (LegRecord& record : legs_)
    record.closest_nm = closest_nm_[static_cast<std::size_t>(record.to_number - 1)];

  const bool leg_changed = last_to_ != -1 && point.to_waypoint != last_to_;
  last_to_ = point.to_waypoint;
  if (leg_changed || point.time_s - last_sample_s_ >= sample_s_ - 1e-9) {
    track_.push_back(point);
    last_sample_s_ = point.time_s;
  }
  return leg_changed;
}

void FlightLog::finish(const TrackPoint& point) {
  if (track_.empty() || track_.back().time_s != point.time_s) track_.push_back(point);
}

std::string FlightLog::table_header() {
  return " leg    from      to        leg NM   flown     closest NM  max XTK NM";
}

std::string FlightLog::table_row(const LegRecord& leg) {
  char text[160];
  const long seconds = std::lround(leg.time_s);
  std::snprintf(
      text, sizeof text, " %02d-%02d  %-8.8s  %-8.8s %7.1f  %2ld:%02ld:%02ld  %9.2f  %10.2f",
      leg.from_number, leg.to_number, leg.from_ident.c_str(), leg.to_ident.c_str(), leg.leg_nm,
      seconds / 3600, seconds / 60 % 60, seconds % 60, leg.closest_nm, leg.max_xtk_nm);
  return text;
}

}  // namespace flight
