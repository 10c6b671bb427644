// The live panel of `ins-host serve` and `ins-host link`: the same pieces a scenario run
// assembles (the sound library, the module loaded through its tables, the aircraft with its
// flight model, the clock, the host variables and the panel), placed once and driven frame by
// frame for as long as the program runs. Only the simulation thread touches a session (the
// module's routines expect one caller at a time): the web server reaches it through SimLoop's
// command queue, the FlightGear link through the loop's FramePacer.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/aircraft/aircraft.h"
#include "host/aircraft/aircraft_motion.h"
#include "host/aircraft/host_variables.h"
#include "host/aircraft/sim_clock.h"
#include "host/flight/flight_plan.h"
#include "host/panel/activity_log.h"
#include "host/panel/module_loader.h"
#include "host/panel/panel.h"
#include "host/panel/sound_link.h"

namespace host::live {

struct SessionOptions {
  std::filesystem::path module_path;
  std::filesystem::path sound_library;   // GaugeSound.so; missing: the cues are silent
  std::filesystem::path assets_folder;   // where the bundled sounds are
  std::filesystem::path working_folder;  // the module's current folder, already made current
  std::vector<std::string> gauges;       // placed in this order
  int fps = 30;
};

// A file the module asked the sound library to play, numbered in the order of the requests.
struct SoundRequest {
  uint64_t seq = 0;
  std::string path;  // as the module wrote it ("sound\tavren\ins_tog.wav")
  std::string url;   // where the page fetches it ("/assets/sound/tavren/ins_tog.wav"), or empty
};

// The URL path of a bundled sound the module asked for, or empty when the assets folder does not
// hold it (the page then has nothing to play).
std::string sound_url(const std::string& module_path, const std::filesystem::path& assets_folder);

// The plan last loaded through the web panel, as the host read it.
struct LoadedPlan {
  std::string name;
  flight::FlightPlan plan;
};

// Who holds a press: the client (the page's tab) and the event stream it is served by; either
// may be empty (a program that named none).
struct PressOwner {
  std::string client;
  std::string stream;
};

using Clock = std::chrono::steady_clock;

// A repeating box held down in the live panel.
struct HeldPress {
  std::string gauge;
  PressOwner owner;
  Clock::time_point last_heard;
  WallClockRepeats repeats;
};

class LiveSession {
 public:
  // Loads the sound library and the module and places the gauges; throws ModuleLoadError,
  // UnknownGauge or std::runtime_error.
  explicit LiveSession(const SessionOptions& options);
  ~LiveSession();
  LiveSession(const LiveSession&) = delete;
  LiveSession& operator=(const LiveSession&) = delete;

  // One frame; afterwards the frame's sound requests are kept (the last few) and the activity
  // log is emptied, so a session that runs for days holds no more than one frame's activity.
  // The host events the module raised steer the aircraft's autopilot at once and are kept for
  // `take_raised`.
  void run_frame();
  // The host events the module raised since they were last taken: in the frames run since, and
  // between them (a click, a held box's repeat).
  HostEvents take_raised();

  // The mouse button pressed at a gauge pixel by a client of the page (hit-tested against the
  // gauge's mouse list; a repeating box is held, its repeats on the pilot's wall clock), and
  // released. A press belongs to its client: only that client's `up` releases it (an `up` that
  // names no client releases any), and it is released when its client has said nothing for
  // HOLD_SILENCE (`still_holding` renews it) or the event stream it named ends. A press replaces
  // the one held before it, whoever held that.
  void mouse_down(const PlacedGauge& gauge, MousePoint point, const PressOwner& owner,
                  Clock::time_point now);
  void mouse_up(const std::string& client, Clock::time_point now);
  void still_holding(const std::string& client, Clock::time_point now);
  void stream_ended(const std::string& stream);
  // Delivers the held box's repeats due by `now`, or releases it when its client fell silent;
  // true when it did either. The next time this has work: `next_hold_deadline`.
  bool run_held_press(Clock::time_point now);
  std::optional<Clock::time_point> next_hold_deadline() const;
  // The gauge and client of the press held now, if any.
  const std::optional<HeldPress>& held_press() const { return held_; }

  // A condition by its scenario name and unit (`set NAME VALUE`); false for an unknown name.
  bool set_condition(const std::string& name, double value);
  void set_motion(bool on);
  void take_off(double cruise_alt_ft, double cruise_tas_kt);

  // Writes the plan's text as the simulator's PLAN.PLN in the working folder (the current
  // folder, as for the module), whole or not at all, and stands the aircraft still at its
  // departure, facing the first leg. Throws std::runtime_error when the
  // file cannot be written; the aircraft and the old PLAN.PLN are then as they were.
  void install_plan(const std::string& name, const flight::FlightPlan& plan,
                    const std::string& text);

  const Panel& panel() const { return *panel_; }
  const Aircraft& aircraft() const { return aircraft_; }
  // For a session whose aircraft another simulator flies (`ins-host link`), between frames.
  Aircraft& aircraft() { return aircraft_; }
  const AircraftMotion& motion() const { return motion_; }
  const SimClock& clock() const { return clock_; }
  const std::deque<SoundRequest>& recent_sounds() const { return sounds_; }
  const std::optional<LoadedPlan>& plan() const { return plan_; }
  const std::filesystem::path& working_folder() const { return options_.working_folder; }
  bool sound_library_loaded() const { return sound_.loaded(); }

  // How many of the latest sound requests are kept for the page to pick up.
  static constexpr std::size_t KEPT_SOUNDS = 16;
  // A held press whose client says nothing for this long is released (a page that was closed
  // or reloaded while a button was down; the page renews its press every quarter second).
  static constexpr std::chrono::milliseconds HOLD_SILENCE{1500};

 private:
  // Takes what the module did since the last call (host events, sounds) and starts the activity
  // log afresh, so that each thing is seen once.
  void collect_activity_and_reset_log();
  void pass_on(const HostEvents& raised);
  void release_held();

  SessionOptions options_;
  ActivityLog log_;
  SoundLink sound_;  // loaded before the module, released after it
  std::unique_ptr<ModuleLoader> module_;
  Aircraft aircraft_;
  AircraftMotion motion_{aircraft_};
  SimClock clock_;
  HostVariables variables_{aircraft_, clock_};
  std::unique_ptr<Panel> panel_;
  std::deque<SoundRequest> sounds_;
  uint64_t next_sound_seq_ = 1;
  HostEvents raised_;  // since they were last taken
  std::optional<LoadedPlan> plan_;
  std::optional<HeldPress> held_;
};

}  // namespace host::live
