// A simulator flight plan (.PLN) read by the host for itself, in the two syntaxes the INS
// imports: the XML form (<ATCWaypoint> elements with a <WorldPosition>; UTF-8 or UTF-16 with a
// byte order mark; on many lines or one) and the key=value form (`waypoint.N=` lines). Text in
// an older planner's 8-bit code page is read as such, so titles and idents come out as UTF-8.
// Positions may be written with degrees, minutes and seconds, degrees and decimal minutes, or
// signed decimal degrees, as the planning tools write them. The host uses it to place the aircraft
// at the departure, to judge the flight against the plan, and to refuse, before anything flies, a
// plan the INS could not import. It is deliberately independent of the module's own import: a
// flight is checked against what the plan file says, not against what the INS made of it.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/flight/flight_model.h"

namespace flight {

struct PlanWaypoint {
  std::string ident;  // as the plan names it, in UTF-8 ("WP3" when it names none)
  double lat_deg = 0.0;
  double lon_east_deg = 0.0;
  int line = 0;  // line of the plan file the position stands on (1-based)
};

// The initial great-circle course from one plan waypoint to another, degrees true [0, 360), on
// the INS's navigation sphere (GeographicLib's, through the flight model).
inline double initial_course_true_deg(const PlanWaypoint& from, const PlanWaypoint& to) {
  return great_circle(from.lat_deg, from.lon_east_deg, to.lat_deg, to.lon_east_deg)
      .initial_course_true_deg;
}

enum class PlanSyntax { Xml, KeyValue };

struct FlightPlan {
  PlanSyntax syntax = PlanSyntax::Xml;
  std::string title;           // UTF-8
  double cruise_alt_ft = 0.0;  // 0 when the plan gives none
  std::vector<PlanWaypoint> waypoints;
};

// A plan that cannot be flown, with the file and line where that shows ("FILE:LINE: message").
class PlanError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The most waypoints the INS takes from a plan: waypoint 0 is the present position and the
// plan fills 1 to 99.
constexpr std::size_t MAX_PLAN_WAYPOINTS = 99;

// The largest plan file read: a plan of 99 waypoints with every field the tools write, even in
// UTF-16, is a small part of it.
constexpr std::size_t MAX_PLAN_FILE_BYTES = 512 * 1024;

// Reads the plan from text; `label` names the file in messages. Throws PlanError when the text
// is in neither syntax, a waypoint has no position (as in the newest simulator's plans, which
// name navaids without coordinates), a position does not read, there are fewer than two
// waypoints or more than the INS holds (refused at the first one too many, in time linear in
// the text's length).
FlightPlan parse_flight_plan(const std::string& text, const std::string& label);
// The bytes of a plan file: a regular file of at most MAX_PLAN_FILE_BYTES (a link to one is
// followed). Throws PlanError ("FILE: ...", with the system's reason where it gives one) for
// anything else, before reading from a device or a FIFO.
std::string read_plan_file(const std::filesystem::path& path);
FlightPlan read_flight_plan(const std::filesystem::path& path);

// One coordinate as plans write it: a hemisphere letter and degrees, minutes and seconds with
// any separators ("N52° 42' 6.90\"", "W003* 06.02'", "S22° 47.50'"), or signed decimal degrees
// ("-130.444678"). `is_latitude` picks the letters (N/S or E/W) and the range. Returns false
// when the text is not such a coordinate.
bool parse_coordinate(const std::string& text, bool is_latitude, double& degrees);

}  // namespace flight
