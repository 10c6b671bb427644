#include "host/live/live_session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "store/durable_file.h"

namespace host::live {

namespace {

// Writes `text` as the file `name` of the current folder (the working folder) the way the store
// replaces the waypoint file: a temporary created exclusively (a file or link planted under its
// name is removed, never written through), flushed to the disk, then renamed over `name` (which
// replaces a link there rather than the file it points to). The module never reads half a plan,
// and a failed write leaves the old file.
// The message names the system's reason: a full disk, or a file-size limit (EFBIG, with SIGXFSZ
// ignored) that the plan went past.
void write_whole(const char* name, const std::string& text) {
  const std::string temporary = std::string(name) + ".new";
  StoreFile file;
  bool written = create_exclusively(file, temporary.c_str()) &&
                 write_bytes(file, text.data(), text.size()) && flush_to_disk(file);
  int reason = written ? 0 : errno;
  if (!close_file(file) && written) written = false, reason = errno;
  if (written && !replace_file(temporary.c_str(), name)) written = false, reason = errno;
  if (!written) {
    remove_file(temporary.c_str());
    throw std::runtime_error(std::string("cannot write ") + name + ": " + std::strerror(reason));
  }
}

}  // namespace

std::string sound_url(const std::string& module_path, const std::filesystem::path& assets_folder) {
  std::string relative = module_path;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  if (relative.empty() || relative.front() == '/' || relative.find("..") != std::string::npos) {
    return "";
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(assets_folder / relative, error)) return "";
  return "/assets/" + relative;
}

LiveSession::LiveSession(const SessionOptions& options)
    : options_(options),
      sound_(options.sound_library, log_),
      module_(std::make_unique<ModuleLoader>(options.module_path)),
      panel_(std::make_unique<Panel>(*module_, aircraft_, clock_, variables_, log_)) {
  sound_.set_search_folders(options.working_folder, options.assets_folder);
  clock_.set_fps(options.fps);
  panel_->place(options.gauges);
  collect_activity_and_reset_log();
}

LiveSession::~LiveSession() {
  held_.reset();
  panel_->remove();
  panel_.reset();
  module_.reset();  // the module goes before the sound library it may hold
}

void LiveSession::pass_on(const HostEvents& raised) {
  steer_autopilot(raised, aircraft_);
  raised_.add(raised);
}

HostEvents LiveSession::take_raised() {
  return std::exchange(raised_, HostEvents{});
}

void LiveSession::collect_activity_and_reset_log() {
  pass_on(panel_->take_raised());
  for (const std::string& path : log_.since_frame().sounds) {
    sounds_.push_back({next_sound_seq_++, path, sound_url(path, options_.assets_folder)});
    if (sounds_.size() > KEPT_SOUNDS) sounds_.pop_front();
  }
  log_.frame_written();
  log_.start_command();
}

void LiveSession::run_frame() {
  pass_on(panel_->run_frame());
  collect_activity_and_reset_log();
}

void LiveSession::mouse_down(const PlacedGauge& gauge, MousePoint point, const PressOwner& owner,
                             Clock::time_point now) {
  held_.reset();
  panel_->press(gauge, point, RepeatClock::WALL);
  if (panel_->holding()) held_ = HeldPress{gauge.name, owner, now, WallClockRepeats(now)};
  collect_activity_and_reset_log();
}

void LiveSession::mouse_up(const std::string& client, Clock::time_point now) {
  if (!held_ || (!client.empty() && client != held_->owner.client)) return;
  // Repeats that fell due while the button was down count, even if no frame ran since.
  run_held_press(now);
  release_held();
}

void LiveSession::still_holding(const std::string& client, Clock::time_point now) {
  if (held_ && held_->owner.client == client) held_->last_heard = now;
}

void LiveSession::stream_ended(const std::string& stream) {
  if (held_ && !stream.empty() && held_->owner.stream == stream) release_held();
}

bool LiveSession::run_held_press(Clock::time_point now) {
  if (!held_) return false;
  if (now - held_->last_heard > HOLD_SILENCE) {
    release_held();
    return true;
  }
  const int due = held_->repeats.take_due(now);
  for (int i = 0; i < due; ++i) panel_->repeat_held();
  if (due > 0) collect_activity_and_reset_log();
  return due > 0;
}

std::optional<Clock::time_point> LiveSession::next_hold_deadline() const {
  if (!held_) return std::nullopt;
  return std::min(held_->repeats.next_due(), held_->last_heard + HOLD_SILENCE);
}

void LiveSession::release_held() {
  held_.reset();
  panel_->release();
  collect_activity_and_reset_log();
}

bool LiveSession::set_condition(const std::string& name, double value) {
  return variables_.set_condition(name, value);
}

void LiveSession::set_motion(bool on) {
  if (on == motion_.on()) return;
  if (on) {
    motion_.motion_on();
  } else {
    motion_.motion_off();
    aircraft_.gs_kt = 0.0;  // standing still where it is, as an alignment needs
  }
}

void LiveSession::take_off(double cruise_alt_ft, double cruise_tas_kt) {
  motion_.take_off(cruise_alt_ft, cruise_tas_kt);
}

void LiveSession::install_plan(const std::string& name, const flight::FlightPlan& plan,
                               const std::string& text) {
  write_whole(PLAN_FILE_NAME, text);
  plan_ = LoadedPlan{name, plan};
  const flight::PlanWaypoint& departure = plan.waypoints.front();
  set_motion(false);
  aircraft_.lat_deg = departure.lat_deg;
  aircraft_.lon_east_deg = departure.lon_east_deg;
  aircraft_.gs_kt = 0.0;
  aircraft_.alt_ft = 0.0;
  aircraft_.tas_kt = 0.0;
  update_air_data(aircraft_);
  if (plan.waypoints.size() > 1) {
    const double course_true_deg = flight::initial_course_true_deg(departure, plan.waypoints[1]);
    aircraft_.heading_mag_deg = flight::wrap_360_deg(course_true_deg - aircraft_.magvar_east_deg);
  }
}

}  // namespace host::live
