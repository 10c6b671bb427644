// Simulated time, counted in whole frames so that every run of a scenario sees exactly the same
// times and ticks whatever the machine. The tick counter advances 18 per simulated second,
// truncated, whatever the frame rate: below 18 frames a second some ticks are never seen.
#pragma once

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace host {

class SimClock {
 public:
  static constexpr int64_t TICKS_PER_SECOND = 18;

  explicit SimClock(int fps = 30) { set_fps(fps); }

  int fps() const { return fps_; }
  int64_t frame_count() const { return frame_count_; }

  // Changing the rate keeps the time and the tick reached so far; later frames use the new rate.
  void set_fps(int fps) {
    if (fps <= 0) throw std::invalid_argument("frames per second must be positive");
    rebase();
    fps_ = fps;
  }

  // Sets the tick counter's value now; it advances from there.
  void set_tick(int64_t tick) {
    rebase();
    base_tick_ = tick;
  }

  void advance_frame() {
    ++frame_count_;
    ++frames_since_base_;
  }

  double dt_s() const { return 1.0 / fps_; }
  double time_s() const { return base_time_s_ + static_cast<double>(frames_since_base_) / fps_; }
  int64_t tick() const { return base_tick_ + frames_since_base_ * TICKS_PER_SECOND / fps_; }

  // Whole frames that `seconds` of simulated time take at the current rate (nearest frame).
  int64_t frames_for(double seconds) const { return std::llround(seconds * fps_); }

 private:
  void rebase() {
    base_tick_ = tick();
    base_time_s_ = time_s();
    frames_since_base_ = 0;
  }

  int fps_ = 30;
  int64_t frame_count_ = 0;
  int64_t frames_since_base_ = 0;
  int64_t base_tick_ = 0;
  double base_time_s_ = 0.0;
};

}  // namespace host
