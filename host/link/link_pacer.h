// The frames of `ins-host link`, paced by FlightGear's simulated time: before each batch the
// aircraft is set from FlightGear's latest sample, and the frames owed are counted from an epoch
// of FlightGear's time (FrameEpoch). FlightGear paused or gone, its time stands and so do the
// INS's frames. After the frames, a heading bug the module sent in them is written to
// FlightGear, but only while the link is live.
#pragma once

#include <cstdint>
#include <optional>

#include "host/link/flightgear_link.h"
#include "host/live/frame_pacer.h"

namespace host::link {

// The frames owed by FlightGear's time: (its time since the epoch) x the frame rate, less the
// frames run since the epoch. A new epoch starts at the first time seen, on a new connection,
// when the time goes back, and when it jumps more than MAX_CATCH_UP_S past the frames run (a
// reconnection to a FlightGear that ran on, a slow machine), so that such a jump never runs
// all at once. A time that stands (FlightGear paused) owes nothing more.
class FrameEpoch {
 public:
  static constexpr double MAX_CATCH_UP_S = 2.0;

  int64_t frames_owed(double time_s, uint64_t connection, double fps);
  void frames_ran(int64_t count) { frames_since_epoch_ += count; }

 private:
  std::optional<double> epoch_time_s_;
  uint64_t epoch_connection_ = 0;
  double last_time_s_ = 0.0;
  int64_t frames_since_epoch_ = 0;
};

class LinkPacer : public live::FramePacer {
 public:
  explicit LinkPacer(FlightGearLink& link) : link_(link) {}

  int64_t frames_owed(live::LiveSession& session) override;
  void frames_ran(int64_t count, const HostEvents& raised) override;
  nlohmann::json state_json() const override;
  std::chrono::milliseconds poll_interval() const override { return std::chrono::milliseconds(5); }

  // FlightGear's bug this far from the module's is written again.
  static constexpr double BUG_TOLERANCE_DEG = 0.5;

 private:
  FlightGearLink& link_;
  LinkView view_;  // as seen at the latest frames_owed
  FrameEpoch epoch_;
  std::optional<double> bug_written_deg_;
  uint64_t bug_written_seq_ = 0;
};

}  // namespace host::link
