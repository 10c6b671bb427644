#include "host/link/flightgear_link.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace host::link {

namespace {

// The heading mode is engaged once the aircraft flies, not while it stands being aligned.
constexpr double ENGAGE_MIN_GS_KT = 40.0;

}  // namespace

std::string fault_kind(const std::string& fault) {
  std::string kind;
  bool quoted = false;
  int brackets = 0;
  for (char c : fault) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == '(') {
      ++brackets;
    } else if (!quoted && c == ')' && brackets > 0) {
      --brackets;
    } else if (!quoted && brackets == 0) {
      kind += c;
    }
  }
  return kind;
}

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
      return std::string(fault.empty() ? "no data" : "no usable data") + " for " + seconds +
             " s from FlightGear at " + peer + ": " + (fault.empty() ? "no answer yet" : fault) +
             "; the INS keeps its last values";
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
  socket_.interrupt();  // whatever the peer does meanwhile
  if (thread_.joinable()) thread_.join();
}

bool FlightGearLink::stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
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
  } else if (sample_seq_ == seq_at_connect_ || now - last_good_ > options_.stale_after ||
             !fault_.empty()) {
    // (The sample kept from a connection before is no news of this one.)
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
  if (!connected_ || !std::isfinite(bug_mag_deg)) return false;
  outgoing_ += heading_bug_command(bug_mag_deg);
  ++heading_bug_writes_;
  return true;
}

bool FlightGearLink::retrying_quietly(const LinkView& now) const {
  // After a connection was dropped for a fault, and before any good sample since, a new
  // connection is not news: it is said once it brings a good sample, or drops for another
  // reason (a drop for the same reason, said already, is no change of what was reported).
  const bool retrying = !dropped_for_.empty() && now.sample_seq == seq_at_drop_;
  return retrying && now.state == LinkState::no_data && now.fault.empty();
}

void FlightGearLink::report_changes() {
  const LinkView now = view();
  if (retrying_quietly(now)) return;
  const bool state_changed = !reported_state_ || *reported_state_ != now.state;
  // A fault is told once while it lasts, not at every batch that repeats it (with other values).
  const std::string kind = fault_kind(now.fault);
  const bool fault_changed = !now.fault.empty() && kind != reported_fault_;
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
  reported_fault_ = kind;
  reported_missing_ = now.missing;
}

void FlightGearLink::lost(const std::string& reason) {
  socket_.close();
  std::lock_guard lock(mutex_);
  connected_ = false;
  fault_ = reason;
  outgoing_.clear();  // a write is never sent late, on another connection
  dropped_for_ = fault_kind(reason);
  seq_at_drop_ = sample_seq_;
}

bool FlightGearLink::poll_once(std::string& error) {
  std::string batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(outgoing_);
  }
  batch += sample_request();
  const auto asked = LinkClock::now();
  if (!socket_.send_all(batch, options_.reply_timeout, error)) return false;
  std::vector<std::string> lines;
  if (!socket_.read_reply(sample_paths().size(), BATCH_END_REPLY, options_.reply_timeout, lines,
                          error)) {
    return false;
  }
  const SampleReading reading = read_sample(lines);
  const auto clock_fault = reading.sample
                               ? clock_.check(reading.sample->sim_time_s, reading.sample->paused(),
                                              asked, LinkClock::now())
                               : std::nullopt;
  std::string engage;
  {
    std::lock_guard lock(mutex_);
    missing_ = reading.missing;
    // The connection stands through an unusable sample: it is in step, the next may be good.
    if (!reading.sample) {
      fault_ = "unusable reply: " + reading.fault;
      return true;
    }
    if (clock_fault) {
      fault_ = *clock_fault;
      return true;
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
      // (Stopping interrupts the batch: that is no fault of FlightGear's to tell.)
      if (!stopping()) lost(error);
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
    if (stopping()) break;
    std::string error;
    const bool connected =
        socket_.connect(options_.host, options_.port, options_.reply_timeout, error);
    if (stopping()) break;
    if (connected) {
      {
        std::lock_guard lock(mutex_);
        connected_ = true;
        ++connection_;
        seq_at_connect_ = sample_seq_;
        fault_.clear();
        outgoing_.clear();
        engaged_this_connection_ = false;
        last_good_ = LinkClock::now();
      }
      clock_.reset();
      if (!retrying_quietly(view())) {
        log_ << "link: connected to FlightGear at " << peer() << std::endl;
      }
      serve_connection();
      if (stopping()) break;
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
