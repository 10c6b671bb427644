#include "host/link/flightgear_link.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace host::link {

namespace {

// The heading mode is engaged once the aircraft flies, not while it stands being aligned.
constexpr double ENGAGE_MIN_GS_KT = 40.0;

}  // namespace

const char* state_name(LinkState state) {
  switch (state) {
    case LinkState::live:
      return "live";
    case LinkState::paused:
      return "paused";
    case LinkState::no_data:
      return "no data";
    case LinkState::not_connected:
      break;
  }
  return "not connected";
}

std::string LinkView::text(const std::string& peer) const {
  switch (state) {
    case LinkState::live:
      return "live: FlightGear at " + peer + " flies the aircraft";
    case LinkState::paused:
      return "paused: FlightGear at " + peer + " is paused, and so is the INS";
    case LinkState::no_data: {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.0f", std::floor(silent_s));
      return "no data for " + std::string(seconds) + " s from FlightGear at " + peer + ": " +
             (fault.empty() ? "no answer yet" : fault) + "; the INS keeps its last values";
    }
    case LinkState::not_connected:
      break;
  }
  return "not connected to FlightGear at " + peer + " (" + (fault.empty() ? "not yet" : fault) +
         "): reconnecting; the INS keeps its last values";
}

FlightGearLink::FlightGearLink(LinkOptions options, std::ostream& log)
    : options_(std::move(options)), log_(log) {}

FlightGearLink::~FlightGearLink() {
  stop();
}

void FlightGearLink::start() {
  if (thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  thread_ = std::thread([this] { run(); });
}

void FlightGearLink::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_asked_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool FlightGearLink::wait_or_stop(std::chrono::milliseconds pause) {
  std::unique_lock lock(mutex_);
  return !stop_asked_.wait_for(lock, pause, [this] { return stopping_; });
}

LinkView FlightGearLink::view_locked(LinkClock::time_point now) const {
  LinkView view;
  view.sample = sample_;
  view.sample_seq = sample_seq_;
  view.connection = connection_;
  view.fault = fault_;
  view.missing = missing_;
  view.heading_bug_writes = heading_bug_writes_;
  view.heading_mode_engaged = heading_mode_engaged_;
  view.silent_s = std::chrono::duration<double>(now - last_good_).count();
  if (!connected_) {
    view.state = LinkState::not_connected;
  } else if (sample_seq_ == 0 || now - last_good_ > options_.stale_after || !fault_.empty()) {
    view.state = LinkState::no_data;
  } else {
    view.state = sample_->paused() ? LinkState::paused : LinkState::live;
  }
  return view;
}

LinkView FlightGearLink::view() const {
  const auto now = LinkClock::now();
  std::lock_guard lock(mutex_);
  return view_locked(now);
}

bool FlightGearLink::write_heading_bug(double bug_mag_deg) {
  std::lock_guard lock(mutex_);
  if (!connected_) return false;
  outgoing_ += heading_bug_command(bug_mag_deg);
  ++heading_bug_writes_;
  return true;
}

void FlightGearLink::report_changes() {
  const LinkView now = view();
  const bool state_changed = !reported_state_ || *reported_state_ != now.state;
  // A fault is told once while it lasts, not at every batch that repeats it.
  const bool fault_changed = !now.fault.empty() && now.fault != reported_fault_;
  if (state_changed || fault_changed) {
    log_ << "link: " << now.text(peer()) << std::endl;
  }
  for (const std::string& path : now.missing) {
    bool told = false;
    for (const std::string& before : reported_missing_) told = told || before == path;
    if (!told) {
      log_ << "link: FlightGear has no value for " << path
           << "; what it stands for keeps its last value" << std::endl;
    }
  }
  reported_state_ = now.state;
  reported_fault_ = now.fault;
  reported_missing_ = now.missing;
}

void FlightGearLink::lost(const std::string& reason) {
  socket_.close();
  std::lock_guard lock(mutex_);
  connected_ = false;
  fault_ = reason;
  outgoing_.clear();  // a write is never sent late, on another connection
}

bool FlightGearLink::poll_once(std::string& error) {
  std::string batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(outgoing_);
  }
  batch += sample_request();
  if (!socket_.send_all(batch, options_.reply_timeout, error)) return false;
  std::vector<std::string> lines;
  if (!socket_.read_lines(sample_paths().size(), options_.reply_timeout, lines, error)) {
    return false;
  }
  const SampleReading reading = read_sample(lines);
  std::string engage;
  {
    std::lock_guard lock(mutex_);
    missing_ = reading.missing;
    if (!reading.sample) {
      fault_ = "unusable reply: " + reading.fault;
      return true;  // the connection stands; the next batch may be good
    }
    fault_.clear();
    sample_ = reading.sample;
    ++sample_seq_;
    last_good_ = LinkClock::now();
    const FlightGearSample& s = *sample_;
    if (options_.engage_heading && !engaged_this_connection_ && !s.paused() &&
        s.gs_kt >= ENGAGE_MIN_GS_KT) {
      engaged_this_connection_ = true;
      if (!s.ap_heading_mode.value_or(false)) {
        const double bug = s.heading_dg_deg.value_or(s.heading_mag_deg);
        engage = kap140_heading_mode_commands(std::round(bug), s.static_pressure_inhg);
        heading_mode_engaged_ = true;
      }
    }
  }
  if (!engage.empty()) {
    if (!socket_.send_all(engage, options_.reply_timeout, error)) return false;
    log_ << "link: FlightGear's KAP140 autopilot set to heading mode (and altitude hold)"
         << std::endl;
  }
  return true;
}

void FlightGearLink::serve_connection() {
  std::string error;
  if (!socket_.send_all("data\r\n", options_.reply_timeout, error)) {
    lost(error);
    return;
  }
  for (;;) {
    const auto asked = LinkClock::now();
    if (!poll_once(error)) {
      lost(error);
      return;
    }
    report_changes();
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(LinkClock::now() - asked);
    const auto pause = options_.poll_interval > took ? options_.poll_interval - took
                                                     : std::chrono::milliseconds(0);
    if (!wait_or_stop(pause)) return;
  }
}

void FlightGearLink::run() {
  {
    std::lock_guard lock(mutex_);
    last_good_ = LinkClock::now();
  }
  report_changes();
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
    }
    std::string error;
    if (socket_.connect(options_.host, options_.port, options_.reply_timeout, error)) {
      {
        std::lock_guard lock(mutex_);
        connected_ = true;
        ++connection_;
        fault_.clear();
        outgoing_.clear();
        engaged_this_connection_ = false;
        last_good_ = LinkClock::now();
      }
      log_ << "link: connected to FlightGear at " << peer() << std::endl;
      serve_connection();
    } else {
      std::lock_guard lock(mutex_);
      connected_ = false;
      fault_ = error;
    }
    report_changes();
    if (!wait_or_stop(options_.retry_interval)) break;
  }
  socket_.close();
}

}  // namespace host::link
