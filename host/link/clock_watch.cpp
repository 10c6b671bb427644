#include "host/link/clock_watch.h"

#include <cstdio>

namespace host::link {

namespace {

std::string seconds(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.3f s", value);
  return text;
}

}  // namespace

std::optional<std::string> ClockWatch::check(double sim_time_s, bool paused,
                                             Clock::time_point asked, Clock::time_point answered) {
  const std::optional<double> last = last_time_s_;
  // FlightGear answered the previous batch after it was asked, this one before `answered`.
  const double wall_s = std::chrono::duration<double>(answered - last_asked_).count();
  last_time_s_ = sim_time_s;
  last_asked_ = asked;
  if (last && sim_time_s < *last) {
    return "FlightGear's clock runs backwards (from " + seconds(*last) + " to " +
           seconds(sim_time_s) + ")";
  }
  if (!last || paused || sim_time_s > *last) ran_at_ = answered;
  if (last && sim_time_s - *last > MAX_SPEED_UP * wall_s + LEAP_SLACK_S) {
    return "FlightGear's clock leaps (" + seconds(sim_time_s - *last) + " in " + seconds(wall_s) +
           ")";
  }
  const auto standing = answered - ran_at_;
  if (standing <= MAX_STANDING) return std::nullopt;
  return "FlightGear's clock stands still (at " + seconds(sim_time_s) + " for " +
         seconds(std::chrono::duration<double>(standing).count()) +
         ") while FlightGear is not paused";
}

}  // namespace host::link
