// What a flight leaves behind: the flown track, sampled, and per leg of the plan the distance,
// the time flown, the closest approach to its TO waypoint and the largest cross-track distance.
// Measured by the host on the sphere of the flight model from the plan file's own positions,
// never from what the INS computes, so the figures judge the INS rather than repeat it.
//
// Recording a frame costs next to nothing: the geometry is worked out from the sampled track
// only when a figure is read (at a leg change and at the end of the flight). Between two samples
// the track is taken as the great circle joining them; a sample is kept every `sample_s` seconds
// and at every leg change, so in a standard-rate turn at airliner speeds the great circle lies
// within about two metres of the path flown.
#pragma once

#include <string>
#include <vector>

#include "host/flight/flight_plan.h"

namespace flight {

struct TrackPoint {
  double time_s = 0.0;
  double lat_deg = 0.0;
  double lon_east_deg = 0.0;
  double alt_ft = 0.0;
  double gs_kt = 0.0;
  double tas_kt = 0.0;
  double heading_true_deg = 0.0;
  double track_true_deg = 0.0;
  int to_waypoint = 0;  // the INS's TO waypoint number as its TO window shows it
  bool hold = false;    // HOLD lamp lit
};

// One leg of the plan, INS numbering: waypoint n of the INS is the plan's waypoint n - 1
// (the INS keeps its waypoint 0 for the present position at the import).
struct LegRecord {
  int from_number = 0;
  int to_number = 0;
  std::string from_ident, to_ident;
  double leg_nm = 0.0;
  double time_s = 0.0;       // time with this leg active in the INS
  double closest_nm = -1.0;  // closest approach to the TO waypoint over the whole flight so far
  double max_xtk_nm = 0.0;   // largest distance off the leg's great circle while it was active
  bool flown = false;        // the INS had this leg active at some time
};

// Great-circle distance in nautical miles on the sphere whose NM is one minute of arc.
double distance_nm(double lat1_deg, double lon1_deg, double lat2_deg, double lon2_deg);

class FlightLog {
 public:
  // Keeps a track point every `sample_s` seconds of simulated time (and every leg change).
  FlightLog(const FlightPlan& plan, double sample_s);

  // Called every frame. Returns true when this point changed the INS's leg.
  bool record(const TrackPoint& point);
  // Keeps the last point whatever the sampling (the end of the flight).
  void finish(const TrackPoint& point);

  const std::vector<TrackPoint>& track() const { return track_; }
  // The legs' figures over the track so far.
  const std::vector<LegRecord>& legs() const;
  // Closest approach to plan waypoint i (0-based) over the track so far; -1 before any sample.
  double closest_nm(std::size_t plan_index) const;
  // The leg (index into legs()) whose TO is INS waypoint `to_number`, or -1.
  int leg_index_for(int to_number) const;

  static std::string table_header();
  static std::string table_row(const LegRecord& leg);

 private:
  // The smallest value found so far of a distance along the track (or of its negative), and how
  // far the search has gone: up to sample `searched`, where the value is `at_searched_nm`.
  struct Search {
    double smallest_nm = 1e300;
    std::size_t searched = 0;
    double at_searched_nm = 0.0;
    bool started = false;
  };
  // Consecutive samples with the same leg active.
  struct Run {
    int leg;
    std::size_t first, last;
  };
  // Per leg: the extremes of the distance from the pole of the leg's great circle over the
  // samples where the leg was active; the cross-track distance is a quarter circle less it.
  struct LegSpread {
    double pole_lat_deg = 0.0, pole_lon_deg = 0.0;
    bool has_pole = false;  // a leg of no length has no great circle
    Search nearest, farthest;
    int run = -1;  // the run the searches are in
  };

  void keep_sample(const TrackPoint& point);
  void bring_up_to_date() const;
  void update_closest(std::size_t plan_index) const;
  void update_cross_track(const Run& run, std::size_t run_number) const;
  template <class Value, class Between>
  void extend(Search& search, std::size_t first, std::size_t last, const Value& value,
              const Between& between) const;

  const FlightPlan& plan_;
  double sample_s_;
  std::vector<TrackPoint> track_;
  std::vector<double> along_nm_;  // bound on the way flown from the first sample to each
  std::vector<Run> runs_;
  double last_sample_s_ = -1e300;
  double last_time_s_ = 0.0;
  int last_to_ = -1;

  // The figures, brought up to date with the samples when they are read.
  mutable std::vector<LegRecord> legs_;
  mutable std::vector<Search> approaches_;  // per plan waypoint
  mutable std::vector<double> closest_nm_;  // per plan waypoint
  mutable std::vector<LegSpread> spreads_;  // per leg
  mutable std::size_t figures_for_ = 0;     // the number of samples they are for
  mutable std::size_t runs_searched_ = 0;   // runs before this one are complete and searched
};

}  // namespace flight
