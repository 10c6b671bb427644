// What a flight leaves behind: the flown track, sampled, and per leg of the plan the distance,
// the time flown, the closest approach to its TO waypoint and the largest cross-track distance.
// Measured by the host on the sphere of the flight model from the plan file's own positions,
// never from what the INS computes, so the figures judge the INS rather than repeat it.
#pragma once

#include <string>
#include <vector>

#include "flight_plan.h"

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
  const std::vector<LegRecord>& legs() const { return legs_; }
  // Closest approach to plan waypoint i (0-based) over the flight.
  double closest_nm(std::size_t plan_index) const { return closest_nm_[plan_index]; }
  // The leg (index into legs()) whose TO is INS waypoint `to_number`, or -1.
  int leg_index_for(int to_number) const;

  static std::string table_header();
  static std::string table_row(const LegRecord& leg);

 private:
  struct Vec3 {
    double x, y, z;
  };
  static Vec3 unit(double lat_deg, double lon_deg);

  const FlightPlan& plan_;
  double sample_s_;
  std::vector<Vec3> waypoint_units_;
  std::vector<Vec3> leg_normals_;  // unit normal of leg i's great circle (left of FROM->TO)
  std::vector<double> closest_nm_;
  std::vector<LegRecord> legs_;
  std::vector<TrackPoint> track_;
  double last_sample_s_ = -1e300;
  double last_time_s_ = 0.0;
  int last_to_ = -1;
};

}  // namespace flight
