#include "host/live/sim_loop.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace host::live {

namespace {

// A loop that falls behind (a slow machine at 64x) runs at most this much simulated time in one
// go, then starts counting afresh: the simulation slows down rather than stalling the commands.
constexpr std::chrono::milliseconds MAX_CATCH_UP{250};
// Frames run between two looks at the command queue, so a click waits at most this many frames.
constexpr int64_t FRAMES_PER_BATCH = 8;

// Frames owed are counted from an epoch: (wall time since it) x rate x fps, less the frames run
// since it. A change of rate or a pause starts a new epoch.
struct Pace {
  Clock::time_point epoch;
  int64_t frames_since_epoch;
  int rate;
  bool paused;
};

// Takes the rate and pause the commands have set; true when either changed (a new epoch).
bool follow_status(Pace& pace, const SimStatus& status) {
  if (status.rate == pace.rate && status.paused == pace.paused) return false;
  pace.rate = status.rate;
  pace.paused = status.paused;
  pace.epoch = Clock::now();
  pace.frames_since_epoch = 0;
  return true;
}

// Runs the frames owed by `now`, a batch at most; returns how many ran (none when paused).
int64_t run_owed_frames(Pace& pace, LiveSession& session, Clock::time_point now,
                        double frames_per_s) {
  if (pace.paused) return 0;
  const double elapsed_s = std::chrono::duration<double>(now - pace.epoch).count();
  int64_t owed = static_cast<int64_t>(elapsed_s * frames_per_s) - pace.frames_since_epoch;
  const auto catch_up_frames =
      static_cast<int64_t>(std::chrono::duration<double>(MAX_CATCH_UP).count() * frames_per_s);
  if (owed > catch_up_frames) {
    pace.epoch = now;
    pace.frames_since_epoch = 0;
    owed = std::min<int64_t>(owed, FRAMES_PER_BATCH);
  }
  const int64_t batch = std::min(owed, FRAMES_PER_BATCH);
  for (int64_t i = 0; i < batch; ++i) session.run_frame();
  pace.frames_since_epoch += std::max<int64_t>(batch, 0);
  return batch;
}

// When the next frame is due, or `later` when that is sooner (or the simulation is paused).
Clock::time_point next_frame_or(Clock::time_point later, const Pace& pace, double frames_per_s) {
  if (pace.paused) return later;
  const auto next_frame =
      pace.epoch + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                       static_cast<double>(pace.frames_since_epoch + 1) / frames_per_s));
  return std::min(later, next_frame);
}

// Runs the frames the pacer says are owed, a batch at most; returns how many ran.
int64_t run_paced_frames(FramePacer& pacer, LiveSession& session) {
  const int64_t batch = std::min(pacer.frames_owed(session), FRAMES_PER_BATCH);
  for (int64_t i = 0; i < batch; ++i) session.run_frame();
  const int64_t ran = std::max<int64_t>(batch, 0);
  pacer.frames_ran(ran, session.take_raised());
  return ran;
}

}  // namespace

SimLoop::SimLoop(LiveSession& session, FramePacer* pacer) : session_(session), pacer_(pacer) {
  published_.json = std::make_shared<const std::string>("{}");
}

SimLoop::~SimLoop() {
  stop();
}

void SimLoop::start() {
  {
    std::lock_guard lock(mutex_);
    if (running_) return;
  }
  // The first state is there before any client can ask for it: a reader never sees an empty one.
  publish();
  std::lock_guard lock(mutex_);
  running_ = true;
  stopping_ = false;
  thread_ = std::thread([this] { run(); });
}

void SimLoop::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  running_ = false;
  for (auto& pending : queue_) {
    pending->result = "the simulation has stopped";
    pending->done = true;
  }
  queue_.clear();
  changed_.notify_all();
}

bool SimLoop::running() const {
  std::lock_guard lock(mutex_);
  return running_ && !stopping_;
}

std::string SimLoop::submit(SessionCommand command, std::chrono::milliseconds timeout) {
  // The hand-off is shared: whichever of the two threads is last to let go of it frees it, so a
  // command the caller gave up on may still run, and write its result, with nothing left dangling.
  auto pending = std::make_shared<Pending>();
  pending->command = std::move(command);
  std::unique_lock lock(mutex_);
  if (!running_ || stopping_) return "the simulation has stopped";
  queue_.push_back(pending);
  changed_.notify_all();
  if (changed_.wait_for(lock, timeout, [&] { return pending->done; })) return pending->result;
  // Still queued: taken back, so it never runs after the caller gave up.
  if (auto it = std::find(queue_.begin(), queue_.end(), pending); it != queue_.end()) {
    queue_.erase(it);
    return "the simulation did not answer in time; nothing changed";
  }
  // Taken by the simulation thread, which has not finished it (a stalled disk, a long batch of
  // commands): this request is answered now, and the command still takes effect when it ends.
  return "the simulation did not finish the command in " + std::to_string(timeout.count()) +
         " ms; it may still take effect";
}

std::size_t SimLoop::commands_waiting() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

PublishedState SimLoop::state() const {
  std::lock_guard lock(mutex_);
  return published_;
}

PublishedState SimLoop::wait_for_state_after(uint64_t seq,
                                             std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [&] { return published_.seq > seq || stopping_; });
  return published_;
}

bool SimLoop::apply_commands() {
  std::deque<std::shared_ptr<Pending>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(queue_);
  }
  if (batch.empty()) return false;
  std::vector<std::string> results;
  for (auto& pending : batch) {
    try {
      results.push_back(pending->command(session_, status_));
    } catch (const std::exception& error) {
      results.push_back(error.what());
    }
  }
  // The state is published before the requests are answered, so a client that reads the panel
  // after its request came back sees what the request changed (texts follow at the next frame).
  publish();
  {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < batch.size(); ++i) {
      batch[i]->result = std::move(results[i]);
      batch[i]->done = true;
    }
  }
  changed_.notify_all();
  return true;
}

void SimLoop::publish() {
  // The state's texts are UTF-8 by the time they get here (the module's 8-bit texts converted,
  // a plan's name checked); should one not be, it is replaced rather than end this thread.
  nlohmann::json state = state_json(session_, status_, hints_);
  if (pacer_ != nullptr) state["link"] = pacer_->state_json();
  auto text = std::make_shared<const std::string>(json_text(state));
  {
    std::lock_guard lock(mutex_);
    published_.json = std::move(text);
    ++published_.seq;
  }
  changed_.notify_all();
}

bool SimLoop::stop_asked() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void SimLoop::run() {
  Pace pace{Clock::now(), 0, status_.rate, status_.paused};
  auto last_publish = Clock::now() - PUBLISH_INTERVAL;
  bool dirty = true;
  // A pilot's action shows as soon as a frame has drawn it, not at the next regular state.
  bool acted = false;
  publish();
  while (!stop_asked()) {
    if (apply_commands()) dirty = acted = true;
    // A held box repeats on the pilot's wall clock, paused or not, whatever the rate.
    if (session_.run_held_press(Clock::now())) dirty = acted = true;
    if (follow_status(pace, status_)) dirty = true;
    const auto now = Clock::now();
    const double frames_per_s = static_cast<double>(pace.rate) * session_.clock().fps();
    const bool frames_ran = pacer_ != nullptr
                                ? run_paced_frames(*pacer_, session_) > 0
                                : run_owed_frames(pace, session_, now, frames_per_s) > 0;
    // (A pacer's own status changes with no frame: FlightGear paused or gone.)
    if (frames_ran || pacer_ != nullptr) dirty = true;
    // Paused, an action shows at once (no frame will draw it); running, after the next frame.
    const bool action_shown = acted && (pace.paused || frames_ran);
    if (dirty && (now - last_publish >= PUBLISH_INTERVAL || action_shown)) {
      publish();
      last_publish = now;
      dirty = acted = false;
    }
    // Sleep until the next frame is due, a state is due, or a command arrives.
    auto wake = pacer_ != nullptr ? now + pacer_->poll_interval()
                                  : next_frame_or(now + PUBLISH_INTERVAL, pace, frames_per_s);
    if (dirty) wake = std::min(wake, last_publish + PUBLISH_INTERVAL);
    if (auto hold_deadline = session_.next_hold_deadline()) wake = std::min(wake, *hold_deadline);
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, wake, [&] { return stopping_ || !queue_.empty(); });
  }
}

}  // namespace host::live
