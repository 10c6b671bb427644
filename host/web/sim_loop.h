// The simulation thread of `ins-host serve`: runs the live session's frames in step with the
// wall clock times the chosen rate (1x to 64x) or holds them while paused, applies the web
// server's commands between frames, in the order they came, and publishes the panel's state
// as JSON for the server's handlers and event streams. The session is touched by this thread
// only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/web/live_session.h"
#include "host/web/panel_json.h"

namespace host::web {

// A command run on the simulation thread; returns an error message, or empty when it did its
// work.
using SessionCommand = std::function<std::string(LiveSession&, SimStatus&)>;

struct PublishedState {
  uint64_t seq = 0;  // rises with every publication
  std::shared_ptr<const std::string> json;
};

class SimLoop {
 public:
  explicit SimLoop(LiveSession& session);
  ~SimLoop();
  SimLoop(const SimLoop&) = delete;
  SimLoop& operator=(const SimLoop&) = delete;

  void start();
  void stop();

  // Runs `command` between two frames and returns its result; an error when the loop has
  // stopped or the command waited longer than `timeout`.
  std::string submit(SessionCommand command,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));

  PublishedState state() const;
  // Waits until a state newer than `seq` is published, the loop stops or `timeout` passes.
  PublishedState wait_for_state_after(uint64_t seq, std::chrono::milliseconds timeout) const;
  bool running() const;

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
  SimStatus status_;  // this thread's own copy; commands change it

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // commands queued, results and states published
  std::deque<std::shared_ptr<Pending>> queue_;
  bool stopping_ = false;
  bool running_ = false;
  PublishedState published_;
  std::thread thread_;
};

}  // namespace host::web
