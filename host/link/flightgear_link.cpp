#include "host/link/flightgear_link.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace host::link {

namespace {

// The heading mode is engaged once the aircraft flies, not while it stands being aligned.
constexpr double ENGAGE_MIN_GS_KT = 40.0;
// FlightGear's time the c172p's start-up takes: its KAP140 powers up (clearing its locks) within
// the first second, its engine starts and, 5 s in, it is set up for an approach.
constexpr double STARTUP_S = 8.0;
// After a take-off, the cruise settings come after that start-up's approach set-up, and the
// heading mode a little after them, once the aircraft has settled.
constexpr double CRUISE_AFTER_TAKEOFF_S = 6.5;
constexpr double ENGAGE_SETTLE_S = 3.0;
// FlightGear's locks read back as set within this much of its time, or the engage failed.
constexpr double ENGAGE_READ_BACK_S = 3.0;
constexpr double TAKEOFF_AHEAD_NM = 1.0;

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
  if (takeoff_unsent_) forget_takeoff();
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
  const bool sent = socket_.send_all(batch, options_.reply_timeout, error);
  if (!sent) return false;  // (and lost() forgets a take-off in it)
  {
    std::lock_guard lock(mutex_);
    if (outgoing_.empty()) takeoff_unsent_ = false;  // (else it may wait for the next batch)
  }
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
  std::string writes;
  std::vector<std::string> said;
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
    writes = after_sample(*sample_, said);
  }
  if (!writes.empty() && !socket_.send_all(writes, options_.reply_timeout, error)) return false;
  for (const std::string& line : said) log_ << "link: " << line << std::endl;
  return true;
}

std::string FlightGearLink::after_sample(const FlightGearSample& sample,
                                         std::vector<std::string>& said) {
  std::string writes;
  if (cruise_due_at_s_ && sample.sim_time_s < takeoff_at_s_) {
    cruise_due_at_s_.reset();  // FlightGear started again: that take-off is gone
    engage_not_before_s_ = STARTUP_S;
  }
  if (cruise_due_at_s_ && !sample.paused() && sample.sim_time_s >= *cruise_due_at_s_) {
    cruise_due_at_s_.reset();
    writes += cruise_commands();
    said.emplace_back("FlightGear's c172p set for cruise: flaps up, throttle 0.85, mixture rich");
  }
  if (engage_sent_at_s_) read_back_engage(sample, said);
  return writes + engage_if_due(sample, said);
}

std::string FlightGearLink::engage_if_due(const FlightGearSample& sample,
                                          std::vector<std::string>& said) {
  // Not before the aircraft's start-up is over: the KAP140 clears its locks when its power
  // comes on, and its pitch servo, engaged on the first unsettled values, leaves the elevator
  // pulled full up when they are cleared under it (the aircraft climbs, stalls and spins).
  const bool powered = sample.bus_volts.value_or(BUS_ALIVE_VOLTS) >= BUS_ALIVE_VOLTS;
  if (!options_.engage_heading || engaged_this_connection_ || sample.paused() ||
      sample.gs_kt < ENGAGE_MIN_GS_KT || sample.sim_time_s < engage_not_before_s_ || !powered ||
      cruise_due_at_s_) {
    return "";
  }
  engaged_this_connection_ = true;
  if (sample.ap_engaged.value_or(false) && sample.ap_heading_mode.value_or(false)) return "";
  const double bug = sample.heading_dg_deg.value_or(sample.heading_mag_deg);
  engage_sent_at_s_ = sample.sim_time_s;
  said.emplace_back("setting FlightGear's KAP140 autopilot to heading mode (and altitude hold)");
  return kap140_heading_mode_commands(std::round(bug), sample.static_pressure_inhg);
}

void FlightGearLink::read_back_engage(const FlightGearSample& sample,
                                      std::vector<std::string>& said) {
  if (sample.ap_engaged.value_or(false) && sample.ap_heading_mode.value_or(false)) {
    engage_sent_at_s_.reset();
    heading_mode_engaged_ = true;
    said.emplace_back(
        "FlightGear's KAP140 autopilot is in heading mode: /autopilot/KAP140/locks/roll-axis "
        "and hdg-hold read back true");
    return;
  }
  if (sample.paused() || sample.sim_time_s < *engage_sent_at_s_ + ENGAGE_READ_BACK_S) return;
  engage_sent_at_s_.reset();
  const bool roll_refused = !sample.ap_engaged.value_or(false);
  const std::optional<bool>& value = roll_refused ? sample.ap_engaged : sample.ap_heading_mode;
  said.push_back(
      std::string("could not engage FlightGear's KAP140 heading mode: ") +
      (roll_refused ? "/autopilot/KAP140/locks/roll-axis" : "/autopilot/KAP140/locks/hdg-hold") +
      (value ? " reads false " : " has no value ") +
      std::to_string(static_cast<int>(ENGAGE_READ_BACK_S)) +
      " s after it was set true (is the autopilot powered?)");
  outgoing_ += elevator_neutral_command();
}

std::string FlightGearLink::live_problem() const {
  if (!connected_) return "FlightGear is not connected";
  if (!sample_ || sample_seq_ == seq_at_connect_) return "no data from FlightGear yet";
  if (sample_->paused()) return "FlightGear is paused";
  return "";
}

std::string FlightGearLink::prepare() {
  std::lock_guard lock(mutex_);
  if (!connected_) return "FlightGear is not connected";
  outgoing_ += prepare_commands();
  // From now on as with --prepare: again on every connection, so that a connection lost before
  // the switches reached FlightGear (a busy FlightGear not answering in time) loses nothing.
  options_.prepare = true;
  return "";
}

void FlightGearLink::forget_takeoff() {
  takeoff_unsent_ = false;
  cruise_due_at_s_.reset();
  engage_not_before_s_ = STARTUP_S;
  log_ << "link: the take-off was not sent: the connection to FlightGear was lost first; "
          "ask again"
       << std::endl;
}

std::string FlightGearLink::take_off(double alt_ft, double tas_kt) {
  std::lock_guard lock(mutex_);
  if (auto problem = live_problem(); !problem.empty()) return "cannot take off: " + problem;
  if (sample_->gs_kt >= ENGAGE_MIN_GS_KT) return "cannot take off: the aircraft flies already";
  const FlightGearSample& s = *sample_;
  outgoing_ += takeoff_commands(takeoff_point(s, TAKEOFF_AHEAD_NM, alt_ft, tas_kt));
  takeoff_at_s_ = s.sim_time_s;
  cruise_due_at_s_ = s.sim_time_s + CRUISE_AFTER_TAKEOFF_S;
  engage_not_before_s_ = *cruise_due_at_s_ + ENGAGE_SETTLE_S;
  engaged_this_connection_ = false;
  takeoff_unsent_ = true;
  log_ << "link: FlightGear asked to put the aircraft in the air " << TAKEOFF_AHEAD_NM
       << " NM ahead at " << alt_ft << " ft, " << tas_kt << " kt" << std::endl;
  return "";
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
        outgoing_ = options_.prepare ? prepare_commands() : "";
        engaged_this_connection_ = false;
        engage_sent_at_s_.reset();
        // (A take-off under way keeps its cruise settings and later engaging: FlightGear may
        // have been slow to answer while it put the aircraft in the air.)
        if (!cruise_due_at_s_) engage_not_before_s_ = STARTUP_S;
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
