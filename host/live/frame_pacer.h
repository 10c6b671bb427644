// The pacing seam of the live loop: frames paced by another simulator's clock instead of the
// wall clock (`ins-host link`, FlightGear's). The loop asks the pacer between frames how many
// frames are owed, and tells it how many ran and which host events the module raised in them.
// Its calls are made on the simulation thread, so it may touch the session there.
#pragma once

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "host/live/live_session.h"
#include "host/panel/panel.h"

namespace host::live {

class FramePacer {
 public:
  virtual ~FramePacer() = default;
  // Brings the session up to date with the other simulator; the frames owed now.
  virtual int64_t frames_owed(LiveSession& session) = 0;
  // After `count` frames ran (none, too), with the host events raised since the last call (the
  // heading bug the module sent among them): may pass them on to the other simulator.
  virtual void frames_ran(int64_t count, const HostEvents& raised) = 0;
  // Its part of the published state (under "link").
  virtual nlohmann::json state_json() const = 0;
  // How long the loop may sleep before asking again.
  virtual std::chrono::milliseconds poll_interval() const = 0;
};

}  // namespace host::live
