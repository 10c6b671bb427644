// FlightGear's clock as the link checks it: running, paused, and the clocks no FlightGear has.
#include "host/link/clock_watch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace host::link {
namespace {

using std::chrono::milliseconds;

struct Step {
  double sim_time_s;
  bool paused;
  int answered_ms;    // wall time the batch was answered (asked 10 ms before)
  const char* fault;  // "" when the time is good
  bool new_connection = false;
};

struct Case {
  const char* name;
  std::vector<Step> steps;
};

TEST(ClockWatch, OnlyAClockFlightGearCanHaveIsTaken) {
  const Case cases[] = {
      {"running", {{10.0, false, 0, ""}, {10.1, false, 100, ""}, {10.2, false, 200, ""}}},
      {"backwards, then running on from there",
       {{10.0, false, 0, ""},
        {9.9, false, 100, "runs backwards (from 10.000 s to 9.900 s)"},
        {10.0, false, 200, ""}}},
      {"backwards while paused", {{10.0, true, 0, ""}, {9.0, true, 100, "runs backwards"}}},
      {"standing while not paused",
       {{10.0, false, 0, ""},
        {10.0, false, 600, ""},
        {10.0, false, 1000, ""},
        {10.0, false, 1200,
         "stands still (at 10.000 s for 1.200 s) while FlightGear is not paused"},
        {10.1, false, 1300, ""}}},
      {"standing while paused, and just after",
       {{10.0, true, 0, ""},
        {10.0, true, 5000, ""},
        {10.0, false, 5500, ""},
        {10.0, false, 6100, "stands still"}}},
      {"leaping",
       {{10.0, false, 0, ""},
        {1e9, false, 100, "leaps (999999990.000 s in 0.110 s)"},
        {1e9 + 0.1, false, 200, ""}}},
      // 64 times as fast as real time, and what a long frame adds, is no leap; a little more is.
      {"sped up",
       {{10.0, false, 0, ""},
        {10.0 + 64 * 0.11 + 2.0 - 0.01, false, 100, ""},
        {10.0 + 64 * 0.11 + 2.0 - 0.01 + 64 * 0.11 + 2.0 + 0.05, false, 200, "leaps"}}},
      {"leaping while paused", {{10.0, true, 0, ""}, {500.0, true, 100, "leaps"}}},
      {"a new connection takes any time",
       {{10.0, false, 0, ""}, {5.0, false, 100, "", true}, {5000.0, false, 200, "", true}}},
  };
  const auto zero = ClockWatch::Clock::time_point{} + std::chrono::hours(1);
  for (const Case& c : cases) {
    ClockWatch watch;
    for (const Step& step : c.steps) {
      if (step.new_connection) watch.reset();
      const auto answered = zero + milliseconds(step.answered_ms);
      const auto fault =
          watch.check(step.sim_time_s, step.paused, answered - milliseconds(10), answered);
      const std::string where = std::string(c.name) + ", at " + std::to_string(step.answered_ms) +
                                " ms: " + fault.value_or("good");
      if (*step.fault == '\0') {
        EXPECT_FALSE(fault) << where;
      } else {
        ASSERT_TRUE(fault) << where;
        EXPECT_NE(fault->find(step.fault), std::string::npos) << where;
      }
    }
  }
}

}  // namespace
}  // namespace host::link
