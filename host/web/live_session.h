// The live panel of `ins-host serve`: the same pieces a scenario run assembles (the sound
// library, the module loaded through its tables, the aircraft with its flight model, the clock,
// the host variables and the panel), placed once and driven frame by frame for as long as the
// server runs. Only the simulation thread touches a session (the module's routines expect one
// caller at a time); the web server reaches it through SimLoop's command queue.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flight_plan.h"
#include "host/activity_log.h"
#include "host/aircraft.h"
#include "host/aircraft_motion.h"
#include "host/host_variables.h"
#include "host/module_loader.h"
#include "host/panel.h"
#include "host/sim_clock.h"
#include "host/sound_link.h"

namespace host::web {

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
  void run_frame();

  // The mouse button pressed at a gauge pixel (hit-tested against the gauge's mouse list, held
  // for repeating boxes) and released.
  void mouse_down(const PlacedGauge& gauge, MousePoint point);
  void mouse_up();

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
  const AircraftMotion& motion() const { return motion_; }
  const SimClock& clock() const { return clock_; }
  const std::deque<SoundRequest>& recent_sounds() const { return sounds_; }
  const std::optional<LoadedPlan>& plan() const { return plan_; }
  const std::filesystem::path& working_folder() const { return options_.working_folder; }
  bool sound_library_loaded() const { return sound_.loaded(); }

  // How many of the latest sound requests are kept for the page to pick up.
  static constexpr std::size_t KEPT_SOUNDS = 16;

 private:
  void collect_activity();

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
  std::optional<LoadedPlan> plan_;
};

}  // namespace host::web
