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
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "host/web/live_session.h"
#include "host/web/panel_json.h"

namespace host::web {

// A command run on the simulation thread; returns an error message, or empty when it did its
// work. It owns what it works on (captured by value or by shared ownership, never by reference
// to the caller's locals): a caller that stopped waiting has gone on when the command runs.
using SessionCommand = std::function<std::string(LiveSession&, SimStatus&)>;

// Frames paced by another simulator's clock instead of the wall clock (`ins-host link`): the
// loop asks it between frames how many frames are owed and tells it how many ran. Its calls are
// made on the simulation thread, so it may touch the session there.
class FramePacer {
 public:
  virtual ~FramePacer() = default;
  // Brings the session up to date with the other simulator; the frames owed now.
  virtual int64_t frames_owed(LiveSession& session) = 0;
  // After `count` frames ran (none, too): may act on what the module did in them.
  virtual void frames_ran(LiveSession& session, int64_t count) = 0;
  // Its part of the published state (under "link").
  virtual nlohmann::json state_json() const = 0;
  // How long the loop may sleep before asking again.
  virtual std::chrono::milliseconds poll_interval() const = 0;
};

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

}  // namespace host::web
