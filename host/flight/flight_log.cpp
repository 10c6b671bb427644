#include "host/flight/flight_log.h"

#include <GeographicLib/Gnomonic.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/flight/flight_model.h"
#include "host/platform/plain_text.h"

namespace flight {

namespace {

constexpr double NM_PER_DEGREE = NM_PER_RADIAN * RAD_PER_DEGREE;
constexpr double QUARTER_CIRCLE_NM = 90.0 * NM_PER_DEGREE;
constexpr double NONE_NM = 1e300;

// An upper bound on the great-circle distance between two points: the way along the first
// point's parallel and then along the meridian is at least as long. Two libm-free lines and a
// cosine, where the distance itself would take GeographicLib's inverse problem.
double path_bound_nm(const TrackPoint& a, const TrackPoint& b) {
  const double dlat_deg = std::abs(b.lat_deg - a.lat_deg);
  const double dlon_deg = std::abs(std::remainder(b.lon_east_deg - a.lon_east_deg, 360.0));
  return (dlat_deg + std::cos(a.lat_deg * RAD_PER_DEGREE) * dlon_deg) * NM_PER_DEGREE;
}

// The nearest the great circle from a to b comes to a point strictly between a and b, or
// NONE_NM when the nearest is an end (the ends are measured on their own). The gnomonic
// projection centred on the point draws great circles as straight lines and puts every point at
// a distance from the centre that grows with its distance on the sphere (R tan of the angle), so
// the nearest point of the segment is the nearest point of a straight segment in the plane.
double nearest_between_nm(const TrackPoint& a, const TrackPoint& b, double lat_deg,
                          double lon_deg) {
  static const GeographicLib::Gnomonic gnomonic(nav_sphere());
  double ax = 0.0, ay = 0.0, bx = 0.0, by = 0.0;
  gnomonic.Forward(lat_deg, lon_deg, a.lat_deg, a.lon_east_deg, ax, ay);
  gnomonic.Forward(lat_deg, lon_deg, b.lat_deg, b.lon_east_deg, bx, by);
  // An end a quarter circle or more away has no projection; so far off, the ends decide.
  if (!std::isfinite(ax + ay + bx + by)) return NONE_NM;
  const double dx = bx - ax, dy = by - ay;
  const double length2 = dx * dx + dy * dy;
  if (length2 == 0.0) return NONE_NM;
  const double t = -(ax * dx + ay * dy) / length2;
  if (!(t > 0.0 && t < 1.0)) return NONE_NM;
  const double rho_m = std::hypot(ax + t * dx, ay + t * dy);
  return std::atan2(rho_m, SPHERE_RADIUS_M) * NM_PER_RADIAN;
}

// Branch and bound for the smallest value, between samples a and b of the track, of a distance
// from a fixed point (or its negative): such a value changes along the track by no more than
// the way flown, so no point between a and b can go below (fa + fb - way) / 2. Only stretches
// that could hold a value below the best so far are split, so a whole flight costs a few
// hundred evaluations rather than one per sample. `between(a, b)` gives the smallest value
// strictly inside two neighbouring samples (NONE_NM to count the samples alone).
template <class Value, class Between>
void search_smallest(const std::vector<double>& along_nm, std::size_t a, double fa, std::size_t b,
                     double fb, double& best, const Value& value, const Between& between) {
  const double lowest_possible = 0.5 * (fa + fb - (along_nm[b] - along_nm[a]));
  if (lowest_possible >= best) return;
  if (b - a <= 1) {
    best = std::min(best, between(a, b));
    return;
  }
  const std::size_t m = a + (b - a) / 2;
  const double fm = value(m);
  best = std::min(best, fm);
  // The half with the lower end first: its best prunes more of the other.
  if (fa <= fb) {
    search_smallest(along_nm, a, fa, m, fm, best, value, between);
    search_smallest(along_nm, m, fm, b, fb, best, value, between);
  } else {
    search_smallest(along_nm, m, fm, b, fb, best, value, between);
    search_smallest(along_nm, a, fa, m, fm, best, value, between);
  }
}

}  // namespace

double distance_nm(double lat1_deg, double lon1_deg, double lat2_deg, double lon2_deg) {
  return great_circle(lat1_deg, lon1_deg, lat2_deg, lon2_deg).distance_nm;
}

FlightLog::FlightLog(const FlightPlan& plan, double sample_s) : plan_(plan), sample_s_(sample_s) {
  const auto& wps = plan.waypoints;
  approaches_.assign(wps.size(), Search{});
  closest_nm_.assign(wps.size(), -1.0);
  for (std::size_t i = 0; i + 1 < wps.size(); ++i) {
    const PlanWaypoint& from = wps[i];
    const PlanWaypoint& to = wps[i + 1];
    LegRecord leg;
    leg.from_number = static_cast<int>(i + 1);
    leg.to_number = static_cast<int>(i + 2);
    leg.from_ident = from.ident;
    leg.to_ident = to.ident;
    const GreatCircle course =
        great_circle(from.lat_deg, from.lon_east_deg, to.lat_deg, to.lon_east_deg);
    leg.leg_nm = course.distance_nm;
    legs_.push_back(leg);
    // The pole on the left of the leg's great circle: every point of the great circle is a
    // quarter circle from it, so a point's cross-track distance is a quarter circle less its
    // distance from the pole.
    LegSpread spread;
    spread.has_pole = leg.leg_nm > 0.0;
    if (spread.has_pole) {
      nav_sphere().Direct(from.lat_deg, from.lon_east_deg, course.initial_course_true_deg - 90.0,
                          QUARTER_CIRCLE_NM * METRES_PER_NM, spread.pole_lat_deg,
                          spread.pole_lon_deg);
    }
    spreads_.push_back(spread);
  }
}

int FlightLog::leg_index_for(int to_number) const {
  const int index = to_number - 2;
  return index >= 0 && index < static_cast<int>(legs_.size()) ? index : -1;
}

bool FlightLog::record(const TrackPoint& point) {
  const double dt_s = point.time_s - last_time_s_;
  last_time_s_ = point.time_s;
  const int leg = leg_index_for(point.to_waypoint);
  if (leg >= 0) {
    LegRecord& record = legs_[static_cast<std::size_t>(leg)];
    if (record.flown) record.time_s += dt_s;
    record.flown = true;
  }
  const bool leg_changed = last_to_ != -1 && point.to_waypoint != last_to_;
  last_to_ = point.to_waypoint;
  if (leg_changed || point.time_s - last_sample_s_ >= sample_s_ - 1e-9) {
    keep_sample(point);
    last_sample_s_ = point.time_s;
  }
  return leg_changed;
}

void FlightLog::finish(const TrackPoint& point) {
  if (track_.empty() || track_.back().time_s != point.time_s) keep_sample(point);
}

void FlightLog::keep_sample(const TrackPoint& point) {
  along_nm_.push_back(track_.empty() ? 0.0
                                     : along_nm_.back() + path_bound_nm(track_.back(), point));
  track_.push_back(point);
  const int leg = leg_index_for(point.to_waypoint);
  const std::size_t sample = track_.size() - 1;
  if (leg < 0) return;
  if (!runs_.empty() && runs_.back().leg == leg && runs_.back().last + 1 == sample) {
    runs_.back().last = sample;
  } else {
    runs_.push_back(Run{leg, sample, sample});
  }
}

template <class Value, class Between>
void FlightLog::extend(Search& search, std::size_t first, std::size_t last, const Value& value,
                       const Between& between) const {
  if (!search.started) {
    search.started = true;
    search.searched = first;
    search.at_searched_nm = value(first);
    search.smallest_nm = std::min(search.smallest_nm, search.at_searched_nm);
  }
  if (last <= search.searched) return;
  const double at_last_nm = value(last);
  search.smallest_nm = std::min(search.smallest_nm, at_last_nm);
  search_smallest(along_nm_, search.searched, search.at_searched_nm, last, at_last_nm,
                  search.smallest_nm, value, between);
  search.searched = last;
  search.at_searched_nm = at_last_nm;
}

void FlightLog::update_closest(std::size_t plan_index) const {
  const PlanWaypoint& wp = plan_.waypoints[plan_index];
  const auto value = [&](std::size_t j) {
    return distance_nm(track_[j].lat_deg, track_[j].lon_east_deg, wp.lat_deg, wp.lon_east_deg);
  };
  const auto between = [&](std::size_t a, std::size_t b) {
    return nearest_between_nm(track_[a], track_[b], wp.lat_deg, wp.lon_east_deg);
  };
  Search& search = approaches_[plan_index];
  extend(search, 0, track_.size() - 1, value, between);
  closest_nm_[plan_index] = search.smallest_nm;
}

void FlightLog::update_cross_track(const Run& run, std::size_t run_number) const {
  LegSpread& spread = spreads_[static_cast<std::size_t>(run.leg)];
  if (!spread.has_pole) return;
  if (spread.run != static_cast<int>(run_number)) {  // a new run: search it from its start
    spread.run = static_cast<int>(run_number);
    spread.nearest.started = false;
    spread.farthest.started = false;
  }
  const auto from_pole = [&](std::size_t j) {
    return distance_nm(track_[j].lat_deg, track_[j].lon_east_deg, spread.pole_lat_deg,
                       spread.pole_lon_deg);
  };
  // Along a stretch of great circle a metre long the distance from the pole is monotonic
  // unless the stretch runs parallel to the leg; the samples decide.
  const auto samples_alone = [](std::size_t, std::size_t) { return NONE_NM; };
  extend(spread.nearest, run.first, run.last, from_pole, samples_alone);
  extend(
      spread.farthest, run.first, run.last, [&](std::size_t j) { return -from_pole(j); },
      samples_alone);
  LegRecord& leg = legs_[static_cast<std::size_t>(run.leg)];
  leg.max_xtk_nm = std::max({0.0, QUARTER_CIRCLE_NM - spread.nearest.smallest_nm,
                             -spread.farthest.smallest_nm - QUARTER_CIRCLE_NM});
}

void FlightLog::bring_up_to_date() const {
  if (figures_for_ == track_.size()) return;
  figures_for_ = track_.size();
  if (track_.empty()) return;
  for (std::size_t i = 0; i < plan_.waypoints.size(); ++i) update_closest(i);
  // Runs before the last are complete once searched; the last may still grow.
  for (std::size_t r = runs_searched_; r < runs_.size(); ++r) update_cross_track(runs_[r], r);
  if (!runs_.empty()) runs_searched_ = runs_.size() - 1;
  for (LegRecord& leg : legs_)
    leg.closest_nm = closest_nm_[static_cast<std::size_t>(leg.to_number - 1)];
}

const std::vector<LegRecord>& FlightLog::legs() const {
  bring_up_to_date();
  return legs_;
}

double FlightLog::closest_nm(std::size_t plan_index) const {
  bring_up_to_date();
  return closest_nm_[plan_index];
}

std::string FlightLog::table_header() {
  return " leg    from      to        leg NM   flown     closest NM  max XTK NM";
}

std::string FlightLog::table_row(const LegRecord& leg) {
  // The idents come from the plan file: eight characters of each, none that a terminal acts on.
  constexpr std::size_t IDENT_COLUMN = 8;
  char legs[16];
  std::snprintf(legs, sizeof legs, " %02d-%02d  ", leg.from_number, leg.to_number);
  char figures[128];
  const long seconds = std::lround(leg.time_s);
  std::snprintf(figures, sizeof figures, " %7.1f  %2ld:%02ld:%02ld  %9.2f  %10.2f", leg.leg_nm,
                seconds / 3600, seconds / 60 % 60, seconds % 60, leg.closest_nm, leg.max_xtk_nm);
  return legs + printable_column(leg.from_ident, IDENT_COLUMN) + "  " +
         printable_column(leg.to_ident, IDENT_COLUMN) + figures;
}

}  // namespace flight
