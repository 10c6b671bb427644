// FlightGear's clock (/sim/time/elapsed-sec) as the link sees it over one connection. A
// FlightGear that runs moves it on from one sample to the next, no faster than its greatest
// speed-up allows in the wall time between them; paused, it stands. A clock that goes back,
// stands while FlightGear says it is not paused, or leaps is no FlightGear's: the INS's frames
// follow that clock, so such a sample is not used.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace host::link {

class ClockWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // FlightGear runs at most this many times faster than real time (its speed-up).
  static constexpr double MAX_SPEED_UP = 64.0;
  // What its clock may gain beyond that (a batch answered late in a long frame).
  static constexpr double LEAP_SLACK_S = 2.0;
  // Standing this long while not paused is a fault (FlightGear answers between its frames, and
  // every frame moves the clock on: standing for a second is no frame rate).
  static constexpr std::chrono::milliseconds MAX_STANDING{1000};

  // Checks the time of a sample whose batch was sent at `asked` and answered at `answered`:
  // nothing when it is a time FlightGear can give after the previous sample, what is wrong
  // with it otherwise. Every sample counts as the previous one for the next, the wrong ones
  // too: a clock that went back once and runs on from there is taken from its next sample.
  std::optional<std::string> check(double sim_time_s, bool paused, Clock::time_point asked,
                                   Clock::time_point answered);
  // A new connection: its first time is taken as it comes.
  void reset() { last_time_s_.reset(); }

 private:
  std::optional<double> last_time_s_;
  Clock::time_point last_asked_;
  Clock::time_point ran_at_;  // when the clock last moved on, or FlightGear was last paused
};

}  // namespace host::link
