// Fuzz target: the host's own flight-plan reader (`ins-host fly PLAN.PLN`) on arbitrary plan
// text, in either syntax.
//
// A plan that cannot be flown is refused with a PlanError saying "FILE:LINE: message"; any other
// exception escapes and stops the run, as do the sanitizers' findings. A plan that is accepted
// must be one the aircraft can fly and the INS can hold: 2 to 99 waypoints, each named, with a
// finite latitude within 90 degrees and longitude within 180 on a line of the text, in the order
// of the text, and a finite, non-negative cruise altitude.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/flight/flight_plan.h"

namespace {

const std::string LABEL = "FUZZ.PLN";

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "flight plan reader broke a promise: %s\n", what);
    std::abort();
  }
}

// The number of lines a position or a refusal may name: every line feed starts one more.
int line_count(const std::string& text) {
  int lines = 1;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  return lines;
}

void check_refusal(const std::string& message, int lines) {
  const std::string prefix = LABEL + ":";
  check(message.compare(0, prefix.size(), prefix) == 0, "refusal does not name the file");
  std::size_t i = prefix.size();
  long line = 0;
  while (i < message.size() && message[i] >= '0' && message[i] <= '9' && line <= lines)
    line = line * 10 + (message[i++] - '0');
  check(i > prefix.size() && i < message.size() && message[i] == ':', "refusal without a line");
  check(line >= 1 && line <= lines, "refusal names a line outside the text");
  check(message.size() > i + 2, "refusal without a message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int lines = line_count(text);

  flight::FlightPlan plan;
  try {
    plan = flight::parse_flight_plan(text, LABEL);
  } catch (const flight::PlanError& refusal) {
    check_refusal(refusal.what(), lines);
    return 0;
  }

  check(plan.waypoints.size() >= 2, "accepted a plan of fewer than two waypoints");
  check(plan.waypoints.size() <= flight::MAX_PLAN_WAYPOINTS,
        "accepted more waypoints than the INS holds");
  check(std::isfinite(plan.cruise_alt_ft) && plan.cruise_alt_ft >= 0.0,
        "cruise altitude that is not a finite height");
  int previous = 0;
  for (const flight::PlanWaypoint& wp : plan.waypoints) {
    check(!wp.ident.empty(), "waypoint without a name");
    check(std::isfinite(wp.lat_deg) && std::abs(wp.lat_deg) <= 90.0,
          "latitude that is not a finite number within 90 degrees");
    check(std::isfinite(wp.lon_east_deg) && std::abs(wp.lon_east_deg) <= 180.0,
          "longitude that is not a finite number within 180 degrees");
    check(wp.line >= 1 && wp.line <= lines, "waypoint on a line outside the text");
    check(wp.line >= previous, "waypoints out of the text's order");
    previous = wp.line;
  }
  return 0;
}
