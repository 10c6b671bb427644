// Plays a parsed scenario against a freshly loaded module: sets up files and conditions, places
// the gauges (before the first command that needs the panel), acts, runs frames, and checks
// expectations, stopping at the first one that fails.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/aircraft/aircraft.h"
#include "host/panel/activity_log.h"
#if INS_HOST_FLIGHT_MODEL
#include "host/aircraft/aircraft_motion.h"
#endif
#include "host/aircraft/host_variables.h"
#include "host/aircraft/sim_clock.h"
#include "host/panel/module_loader.h"
#include "host/panel/panel.h"
#include "host/panel/sound_link.h"
#include "host/picture/panel_snapshot.h"
#include "host/scenario/expectation_checker.h"
#include "host/scenario/scenario.h"
#include "host/scenario/trace_writer.h"

namespace host {

struct RunOptions {
  std::filesystem::path module_path;
  std::filesystem::path sound_library;    // GaugeSound.so; missing: cues are silent
  std::filesystem::path assets_folder;    // where the sound library finds the bundled sounds
  bool sounds_muted = false;              // cues logged but not played (faster than real time)
  std::filesystem::path scenario_folder;  // `copy` paths are relative to it
  std::filesystem::path working_folder;   // the module's current folder, already made current
  std::optional<std::filesystem::path> trace_path;
  std::filesystem::path output_folder;  // where `snapshot` writes; empty: the working folder
};

enum class RunStatus { passed = 0, expectation_failed = 1, scenario_error = 2, stopped = 3 };

struct RunOutcome {
  RunStatus status = RunStatus::passed;
  int line = 0;         // the command's line when not passed
  std::string message;  // "expected ... got ...", what is wrong with the scenario, or the stop
  // What the run did up to its end, for its summary line.
  int expectations_held = 0;  // `expect` and `wait until` alike
  int snapshots_written = 0;
  double simulated_s = 0.0;
};

class ScenarioRunner {
 public:
  // Loads the sound library, then the module; throws ModuleLoadError or std::runtime_error
  // (trace not writable).
  explicit ScenarioRunner(const RunOptions& options);
  ~ScenarioRunner();
  ScenarioRunner(const ScenarioRunner&) = delete;
  ScenarioRunner& operator=(const ScenarioRunner&) = delete;

  RunOutcome run(const std::vector<scenario::Command>& commands);

  // For the tests and a later flight model.
  Aircraft& aircraft() { return aircraft_; }
  const Panel& panel() const { return *panel_; }
#if INS_HOST_FLIGHT_MODEL
  const AircraftMotion& motion() const {
    return motion_;
  }
#endif
  const SimClock& clock() const {
    return clock_;
  }
  // Called after every frame (a whole flight's log watches the panel this way); an exception it
  // throws ends the run and leaves `run`.
  void set_frame_observer(std::function<void()> observer) {
    frame_observer_ = std::move(observer);
  }
  // Called before each command with its line; an exception it throws (ScenarioError for a
  // fault of the file) ends the run at that line. A lesson checks each step's start this way.
  void set_command_observer(std::function<void(int line)> observer) {
    command_observer_ = std::move(observer);
  }
  // Asks about the panel as an `expect` would, without failing the run.
  const ExpectationChecker& checker() const {
    return checker_;
  }
  bool sound_library_loaded() const {
    return sound_.loaded();
  }

 private:
  struct Executor;

  void ensure_placed(int line);
  void finish();
  // Refuses a digit key of the INS pressed before a frame has followed SET: the next frame loads
  // the waypoint's digits into the entry, over that key.
  void check_key_after_set(int line, const std::string& gauge_name,
                           const scenario::Control& control);
  void run_frames(int64_t count);
  void run_frame();
  void press(int line, const std::string& gauge, const scenario::Control& control, bool hold);

  RunOptions options_;
  ActivityLog log_;
  SoundLink sound_;  // loaded before the module, released after it
  std::unique_ptr<ModuleLoader> module_;
  Aircraft aircraft_;
#if INS_HOST_FLIGHT_MODEL
  AircraftMotion motion_{aircraft_};
#endif
  SimClock clock_;
  HostVariables variables_{aircraft_, clock_};
  std::unique_ptr<Panel> panel_;
  PanelArt panel_art_;                // the bitmaps the run's snapshots are drawn with
  int click_without_frame_line_ = 0;  // the line of a click no frame has followed yet, or 0
  int set_without_frame_line_ = 0;    // the same for a click on the INS's SET key
  std::optional<TraceWriter> trace_;
  ExpectationChecker checker_;
  std::vector<std::string> gauge_names_ = {"INS", "INS_UPDATE", "ALIGN"};
  bool finished_ = false;
  int expectations_held_ = 0;
  int snapshots_written_ = 0;
  std::function<void()> frame_observer_;
  std::function<void(int)> command_observer_;
};

}  // namespace host
