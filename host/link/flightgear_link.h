// The link to a running FlightGear: a thread of its own asks FlightGear's telnet property server
// (data mode) for one batch of properties after another, keeps the latest good sample and says
// what the link is doing (live, paused, no data, not connected); it reconnects by itself, and
// sends the writes it is given (the heading bug) with the next batch. The simulation thread
// reads it through `view()` and never waits for FlightGear.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/link/clock_watch.h"
#include "host/link/flightgear_properties.h"
#include "host/link/property_socket.h"

namespace host::link {

using LinkClock = std::chrono::steady_clock;

struct LinkOptions {
  std::string host = "127.0.0.1";
  int port = 5401;
  // Put FlightGear's KAP140 in heading mode (holding the altitude) once it flies (40 kt over
  // the ground) and its start-up is over, on every connection where it is not in heading mode
  // already; engaged is said only once FlightGear's own locks read back so.
  bool engage_heading = false;
  // Switch the c172p's masters on (battery, alternator, avionics) on every connection, so the
  // INS has power standing on the ground.
  bool prepare = false;
  std::chrono::milliseconds poll_interval{50};    // from one batch's reply to the next batch
  std::chrono::milliseconds reply_timeout{2000};  // a connect, a batch's whole reply
  std::chrono::milliseconds retry_interval{1000};
  std::chrono::milliseconds stale_after{1000};  // no good sample for this long: no data
};

enum class LinkState { not_connected, no_data, paused, live };

const char* state_name(LinkState state);

// What the link knows now.
struct LinkView {
  LinkState state = LinkState::not_connected;
  std::optional<FlightGearSample> sample;  // the latest good one (kept when the link is lost)
  uint64_t sample_seq = 0;                 // rises with every good sample
  uint64_t connection = 0;                 // rises with every connection made
  double silent_s = 0.0;                   // since the latest good sample (or the connection)
  std::string fault;                       // what went wrong last, while it lasts
  std::vector<std::string> missing;        // optional properties FlightGear has no value for
  uint64_t heading_bug_writes = 0;         // writes queued for FlightGear so far
  bool heading_mode_engaged = false;       // the KAP140's locks read back as the link set them

  // One line for the page and the log: "live", "paused in FlightGear", "no data for 3 s: ...",
  // "no usable data for 3 s: ... is out of range", "not connected (connection refused):
  // reconnecting".
  std::string text(const std::string& peer) const;
};

// What kind of fault a message tells: the message without the values it quotes ("...") or
// gives in brackets, which change from one batch to the next while the fault stays the same.
std::string fault_kind(const std::string& fault);

class FlightGearLink {
 public:
  FlightGearLink(LinkOptions options, std::ostream& log);
  ~FlightGearLink();
  FlightGearLink(const FlightGearLink&) = delete;
  FlightGearLink& operator=(const FlightGearLink&) = delete;

  void start();
  void stop();

  LinkView view() const;
  std::string peer() const { return options_.host + ":" + std::to_string(options_.port); }

  // Sends FlightGear's heading bug (magnetic degrees) with the next batch, if the connection
  // still stands then; false (nothing sent) when it does not stand now.
  bool write_heading_bug(double bug_mag_deg);

  // The page's requests of the aircraft FlightGear flies: an error message, or empty when the
  // writes were queued for the next batch. `prepare` switches the c172p's masters on;
  // `take_off` puts the aircraft, standing, in the air ahead of where it stands, engine running.
  std::string prepare();
  std::string take_off(double alt_ft, double tas_kt);

 private:
  void run();
  void serve_connection();
  bool poll_once(std::string& error);
  std::string after_sample(const FlightGearSample& sample, std::vector<std::string>& said);
  std::string engage_if_due(const FlightGearSample& sample, std::vector<std::string>& said);
  void read_back_engage(const FlightGearSample& sample, std::vector<std::string>& said);
  std::string live_problem() const;
  void forget_takeoff();  // (with mutex_ held)
  void lost(const std::string& reason);
  bool retrying_quietly(const LinkView& now) const;
  void report_changes();
  LinkView view_locked(LinkClock::time_point now) const;
  bool wait_or_stop(std::chrono::milliseconds pause);
  bool stopping() const;

  LinkOptions options_;
  std::ostream& log_;

  mutable std::mutex mutex_;
  std::condition_variable stop_asked_;
  bool stopping_ = false;
  bool connected_ = false;
  std::optional<FlightGearSample> sample_;
  uint64_t sample_seq_ = 0;
  uint64_t connection_ = 0;
  uint64_t seq_at_connect_ = 0;  // sample_seq_ when this connection was made
  LinkClock::time_point last_good_;
  std::string fault_;
  std::string connect_error_;
  std::vector<std::string> missing_;
  std::string outgoing_;  // writes waiting for the next batch
  uint64_t heading_bug_writes_ = 0;
  bool engaged_this_connection_ = false;
  bool heading_mode_engaged_ = false;
  std::optional<double>
      engage_sent_at_s_;                   // FlightGear's time the engage was sent, until read back
  double engage_not_before_s_ = 0.0;       // FlightGear's time: after start-up, after a take-off
  std::optional<double> cruise_due_at_s_;  // a take-off's cruise settings, due at this time
  double takeoff_at_s_ = 0.0;
  bool takeoff_unsent_ = false;  // queued, not yet sent whole to FlightGear

  // Touched by the link's thread only: what was last reported on the log, the kind of fault
  // the last connection was dropped for and the count of good samples then.
  std::optional<LinkState> reported_state_;
  std::string reported_fault_;
  std::vector<std::string> reported_missing_;
  std::string dropped_for_;
  uint64_t seq_at_drop_ = 0;
  ClockWatch clock_;

  PropertySocket socket_;  // the link thread's own (but interrupt(), from stop())
  std::thread thread_;
};

}  // namespace host::link
