// The simulation thread of the live session (`ins-host serve` and `ins-host link`): runs its
// frames in step with the wall clock times the chosen rate (1x to 64x), or with a FramePacer's
// clock, or holds them while paused; applies the commands it is handed between frames, in the
// order they came; and publishes the panel's state as JSON for whoever shows it (the web
// server's handlers and event streams). The session is touched by this thread only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "host/live/frame_pacer.h"
#include "host/live/live_session.h"
#include "host/live/panel_state.h"

namespace host::live {

// A command run on the simulation thread; returns an error message, or empty when it did its
// work. It owns what it works on (captured by value or by shared ownership, never by reference
// to the caller's locals): a caller that stopped waiting has gone on when the command runs.
using SessionCommand = std::function<std::string(LiveSession&, SimStatus&)>;

struct PublishedState {
  uint64_t seq = 0;  // rises with every publication
  std::shared_ptr<const std::string> json;
};

class SimLoop {
 public:
  // Without a pacer the frames follow the wall clock times the chosen rate.
  explicit SimLoop(LiveSession& session, FramePacer* pacer = nullptr);
  ~SimLoop();
  SimLoop(const SimLoop&) = delete;
  SimLoop& operator=(const SimLoop&) = delete;

  void start();
  void stop();

  // Runs `command` between two frames and returns its result; an error when the loop has
  // stopped or the command did not finish within `timeout`. Never waits longer than `timeout`: a
  // command still queued then is withdrawn (it never runs); one the simulation thread has taken
  // runs to its end, its result dropped.
  std::string submit(SessionCommand command,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));

  PublishedState state() const;
  // Waits until a state newer than `seq` is published, the loop stops or `timeout` passes.
  PublishedState wait_for_state_after(uint64_t seq, std::chrono::milliseconds timeout) const;
  bool running() const;
  // Commands handed in and not yet taken by the simulation thread.
  std::size_t commands_waiting() const;

  // States are published at most this often (the page's frame rate).
  static constexpr std::chrono::milliseconds PUBLISH_INTERVAL{33};

 private:
  struct Pending {
    SessionCommand command;
    std::string result;
    bool done = false;
  };

  void run();
  bool stop_asked() const;
  bool apply_commands();
  void publish();

  LiveSession& session_;
  FramePacer* pacer_;
  SimStatus status_;  // this thread's own copy; commands change it
  PanelHints hints_;  // the pilot's actions seen from one published state to the next

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // commands queued, results and states published
  std::deque<std::shared_ptr<Pending>> queue_;
  bool stopping_ = false;
  bool running_ = false;
  PublishedState published_;
  std::thread thread_;
};

}  // namespace host::live
