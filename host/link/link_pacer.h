// The frames of `ins-host link`, paced by FlightGear's simulated time: before each batch the
// aircraft is set from FlightGear's latest sample, and the frames owed are the FlightGear time
// since the link's epoch times the frame rate, less the frames run since it. FlightGear paused
// or gone, its time stands and so do the INS's frames. After the frames, a heading bug the
// module sent is written to FlightGear, but only while the link is live.
#pragma once

#include <cstdint>
#include <optional>

#include "host/link/flightgear_link.h"
#include "host/web/sim_loop.h"

namespace host::link {

class LinkPacer : public web::FramePacer {
 public:
  explicit LinkPacer(FlightGearLink& link) : link_(link) {}

  int64_t frames_owed(web::LiveSession& session) override;
  void frames_ran(web::LiveSession& session, int64_t count) override;
  nlohmann::json state_json() const override;
  std::chrono::milliseconds poll_interval() const override { return std::chrono::milliseconds(5); }

  // A jump of FlightGear's time larger than this (a reconnection to a FlightGear that ran on, a
  // slow machine) starts a new epoch rather than running the frames all at once.
  static constexpr double MAX_CATCH_UP_S = 2.0;
  // FlightGear's bug this far from the module's is written again.
  static constexpr double BUG_TOLERANCE_DEG = 0.5;

 private:
  FlightGearLink& link_;
  LinkView view_;  // as seen at the latest frames_owed
  std::optional<double> epoch_time_s_;
  uint64_t epoch_connection_ = 0;
  double last_time_s_ = 0.0;
  int64_t frames_since_epoch_ = 0;
  uint64_t seen_bug_sets_ = 0;
  std::optional<double> bug_written_deg_;
  uint64_t bug_written_seq_ = 0;
};

}  // namespace host::link
