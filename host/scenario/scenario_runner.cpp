#include "host/scenario/scenario_runner.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "host/panel/control_names.h"
#include "host/panel/mouse_list.h"
#include "host/picture/panel_picture.h"
#include "host/picture/panel_snapshot.h"
#include "host/platform/checked_files.h"
#include "host/platform/stop_signals.h"
#include "host/platform/working_folder.h"
#include "host/scenario/nearest_name.h"
#include "host/scenario/scenario_errors.h"

namespace host {

namespace {

std::string in_quotes(const std::string& text) {
  return "\"" + text + "\"";
}

// A pilot's pause after each digit of `keys`: long enough for the key's 5-tick latch to release.
constexpr double KEY_PAUSE_S = 0.5;

bool is_acting(const scenario::Action& action) {
  return std::holds_alternative<scenario::Click>(action) ||
         std::holds_alternative<scenario::Hold>(action) ||
         std::holds_alternative<scenario::Keys>(action) ||
         std::holds_alternative<scenario::Frames>(action) ||
         std::holds_alternative<scenario::Wait>(action) ||
         std::holds_alternative<scenario::WaitUntil>(action);
}

}  // namespace

ScenarioRunner::ScenarioRunner(const RunOptions& options)
    : options_(options),
      sound_(options.sound_library, log_),
      module_(std::make_unique<ModuleLoader>(options.module_path)),
      panel_(std::make_unique<Panel>(*module_, aircraft_, clock_, variables_, log_)),
      checker_(*panel_, log_, aircraft_, options.working_folder) {
  sound_.set_search_folders(options.working_folder, options.assets_folder);
  sound_.set_muted(options.sounds_muted);
  if (options.trace_path) trace_.emplace(*options.trace_path);
}

ScenarioRunner::~ScenarioRunner() {
  finish();
  panel_.reset();
  module_.reset();  // the module goes before the sound library it may hold
}

void ScenarioRunner::finish() {
  if (finished_) return;
  finished_ = true;
  if (!panel_->placed()) return;
  log_.start_command();
  panel_->remove();
  if (trace_) trace_->write_end(clock_, log_.since_frame());
  log_.frame_written();
}

void ScenarioRunner::ensure_placed(int line) {
  if (panel_->placed()) return;
  std::set<std::string> seen;
  for (const std::string& name : gauge_names_) {
    if (!seen.insert(name).second)
      throw ScenarioError(line, "gauge " + in_quotes(name) + " is placed twice");
  }
  try {
    panel_->place(gauge_names_);
  } catch (const UnknownGauge& unknown) {
    std::vector<std::string_view> names;
    for (const GaugeHeader* gauge : module_->gauges()) names.push_back(gauge->name);
    throw ScenarioError(
        line, "the module has no gauge " + unknown.name() + did_you_mean(unknown.name(), names));
  }
}

void ScenarioRunner::run_frame() {
  if (const int signal_number = stop_signal()) throw StopRequested(signal_number);
  // A heading bug a click sent between frames steers this frame's step already, as the one the
  // frame before sent does.
  steer_autopilot(panel_->take_raised(), aircraft_);
  steer_autopilot(panel_->run_frame(), aircraft_);
  click_without_frame_line_ = 0;
  set_without_frame_line_ = 0;
  if (trace_) trace_->write_frame(*panel_, clock_, log_.since_frame());
  log_.frame_written();
  if (frame_observer_) frame_observer_();
}

void ScenarioRunner::run_frames(int64_t count) {
  for (int64_t i = 0; i < count; ++i) run_frame();
}

void ScenarioRunner::check_key_after_set(int line, const std::string& gauge_name,
                                         const scenario::Control& control) {
  if (gauge_name != "INS" || control.is_point) return;
  const bool digit = control.name.size() == 1 && control.name[0] >= '0' && control.name[0] <= '9';
  if (digit && set_without_frame_line_ != 0) {
    throw ScenarioError(line, "key " + control.name + " pressed in the frame of SET (line " +
                                  std::to_string(set_without_frame_line_) +
                                  "): the INS loads the waypoint's digits into the entry on the "
                                  "next frame, over this key; let a frame run first (wait 0.5s)");
  }
  if (control.name == "SET") set_without_frame_line_ = line;
}

void ScenarioRunner::press(int line, const std::string& gauge_name,
                           const scenario::Control& control, bool hold) {
  ensure_placed(line);
  const PlacedGauge* gauge = panel_->find(gauge_name);
  if (gauge == nullptr)
    throw ScenarioError(line, "gauge " + in_quotes(gauge_name) + " is not placed");
  MousePoint point{control.x, control.y};
  if (control.is_point) {
    // A point beyond the gauge would silently hit nothing.
    const auto size = gauge_size(*gauge->header, panel_art_.of(*panel_));
    if (size &&
        (point.x < 0 || point.y < 0 || point.x >= size->width_px || point.y >= size->height_px)) {
      throw ScenarioError(line, "point " + std::to_string(point.x) + "," + std::to_string(point.y) +
                                    " is outside gauge " + gauge_name + " (" +
                                    std::to_string(size->width_px) + " x " +
                                    std::to_string(size->height_px) + " pixels)");
    }
  } else {
    const auto index = control_box_index(gauge_name, control.name);
    const MouseRow* row = index ? clickable_box(gauge->header->mouse_list, *index) : nullptr;
    if (row == nullptr) {
      throw ScenarioError(
          line, "gauge " + in_quotes(gauge_name) + " has no box for " + in_quotes(control.name));
    }
    point = box_centre(*row);
  }
  check_key_after_set(line, gauge_name, control);
  click_without_frame_line_ = line;
  if (hold) {
    panel_->press(*gauge, point);
  } else {
    panel_->click(*gauge, point);
  }
}

// Plays one command; a visitor so each command's work reads as one small function.
struct ScenarioRunner::Executor {
  ScenarioRunner& r;
  int line;

  std::filesystem::path in_workdir(const std::string& name) const {
    return r.options_.working_folder / name;
  }

  void operator()(const scenario::Gauges& c) {
    if (r.panel_->placed()) {
      throw ScenarioError(line,
                          "\"gauges\" must come before the first command that uses the panel");
    }
    r.gauge_names_ = c.names;
  }
  void operator()(const scenario::Fps& c) { r.clock_.set_fps(c.fps); }
  void operator()(const scenario::WriteFile& c) {
    const std::filesystem::path path = writable_target(c.name);
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary);
    for (const std::string& text : c.lines) out << text << (c.crlf ? "\r\n" : "\n");
    if (!out) throw ScenarioError(line, "cannot write " + in_quotes(c.name));
  }
  // Where `file` and `copy` write `name`: in the working folder even with every link followed. A
  // folder on the way that is a link out of it is refused; a link standing in the file's own place
  // is removed, never written through (as the store treats the files it writes).
  std::filesystem::path writable_target(const std::string& name) const {
    namespace fs = std::filesystem;
    const fs::path path = in_workdir(name);
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(path.parent_path(), error);
    if (error || !lies_within(folder / path.filename(), r.options_.working_folder)) {
      throw ScenarioError(line, "cannot write " + in_quotes(name) +
                                    ": a link on the way leads out of the working folder");
    }
    if (fs::is_symlink(fs::symlink_status(path, error))) fs::remove(path, error);
    return path;
  }
  void operator()(const scenario::CopyFile& c) {
    const std::filesystem::path source = readable_source(c.source);
    const std::filesystem::path target = writable_target(c.name);
    // Read as a plain file of a bounded size (checked on the open file: a FIFO swapped in after
    // the look above is refused, not waited on), then written whole over what was there.
    try {
      write_output_file(target, read_input_file(source, {"the file", "a file a scenario copies",
                                                         MAX_SCENARIO_FILE_BYTES}));
    } catch (const FileError& error) {
      throw ScenarioError(line, "cannot copy " + in_quotes(c.source) + ": " + error.what());
    }
  }
  // The file `copy` names, with every link and ".." resolved, when it lies beside the scenario
  // (its folder or below) or in the working folder and is a plain file. A scenario travels in
  // bug reports, so what it may read is limited to what travels with it.
  std::filesystem::path readable_source(const std::string& name) const {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path source = fs::canonical(r.options_.scenario_folder / name, error);
    if (error) throw ScenarioError(line, "cannot copy " + in_quotes(name) + ": " + error.message());
    if (!lies_within(source, r.options_.scenario_folder) &&
        !lies_within(source, r.options_.working_folder)) {
      throw ScenarioError(line,
                          "copy reads only files beside the scenario (its folder and below) "
                          "or in the working folder, not " +
                              in_quotes(name));
    }
    if (!fs::is_regular_file(source, error))
      throw ScenarioError(line, "cannot copy " + in_quotes(name) + ": not a plain file");
    return source;
  }
  void operator()(const scenario::RemoveFile& c) {
    std::error_code error;
    if (!std::filesystem::remove(in_workdir(c.name), error)) {
      throw ScenarioError(line, "cannot remove " + in_quotes(c.name) + ": " +
                                    (error ? error.message() : "no such file"));
    }
  }
  void operator()(const scenario::SetCondition& c) { r.variables_.set_condition(c.name, c.value); }
  void operator()(const scenario::SetVar& c) { r.variables_.pin_raw(c.token_id, c.value); }
  void operator()(const scenario::Click& c) { r.press(line, c.gauge, c.control, false); }
  void operator()(const scenario::Hold& c) {
    r.press(line, c.gauge, c.control, true);
    r.run_frames(r.clock_.frames_for(c.duration_s));
    r.panel_->release();
  }
  void operator()(const scenario::Keys& c) {
    for (char digit : c.digits) {
      r.press(line, "INS", scenario::Control{std::string(1, digit)}, false);
      r.run_frames(r.clock_.frames_for(KEY_PAUSE_S));
    }
  }
  void operator()(const scenario::Frames& c) {
    r.ensure_placed(line);
    r.run_frames(c.count);
  }
  void operator()(const scenario::Wait& c) {
    r.ensure_placed(line);
    r.run_frames(r.clock_.frames_for(c.duration_s));
  }
  void operator()(const scenario::WaitUntil& c) {
    r.ensure_placed(line);
    const int64_t max_frames = r.clock_.frames_for(c.max_s);
    const ExpectationChecker::Condition condition = r.checker_.condition(c.expectation, line);
    bool held = condition.holds();
    for (int64_t i = 0; !held && i < max_frames; ++i) {
      r.run_frame();
      held = condition.holds();
    }
    // The outcome and its message come from check() itself, which the condition answers alike.
    const std::optional<std::string> failure = r.checker_.check(c.expectation, line);
    if (failure) {
      throw ExpectationFailed(
          line, *failure + " (still after waiting " + std::to_string(max_frames) + " frames)");
    }
    ++r.expectations_held_;
  }
  void operator()(const scenario::Snapshot& c) {
    r.ensure_placed(line);
    const std::filesystem::path folder =
        r.options_.output_folder.empty() ? r.options_.working_folder : r.options_.output_folder;
    try {
      write_panel_snapshot(folder / c.name, *r.panel_, r.panel_art_.of(*r.panel_),
                           r.clock_.time_s());
    } catch (const std::exception& error) {
      throw ScenarioError(line, error.what());
    }
    ++r.snapshots_written_;
  }
#if INS_HOST_FLIGHT_MODEL
  void operator()(const scenario::Motion& c) {
    if (c.on) {
      r.motion_.motion_on();
    } else {
      r.motion_.motion_off();
    }
  }
  void operator()(const scenario::Takeoff& c) {
    r.motion_.take_off(c.cruise_alt_ft, c.cruise_tas_kt);
  }
  void operator()(const scenario::WindLayer& c) {
    r.motion_.add_wind_layer(c.alt_ft, flight::Wind{c.from_true_deg, c.speed_kt});
  }
#else
  // This ins-host is built without the flight model (see host/CMakeLists.txt).
  [[noreturn]] void no_flight_model(const char* command) const {
    throw ScenarioError(line,
                        std::string("\"") + command +
                            "\" needs the flight model, which this ins-host is built without");
  }
  void operator()(const scenario::Motion&) {
    no_flight_model("motion");
  }
  void operator()(const scenario::Takeoff&) {
    no_flight_model("takeoff");
  }
  void operator()(const scenario::WindLayer&) {
    no_flight_model("wind");
  }
#endif
  void operator()(const scenario::Expectation& c) {
    const bool needs_panel = std::holds_alternative<scenario::ExpectText>(c) ||
                             std::holds_alternative<scenario::ExpectVisible>(c) ||
                             std::holds_alternative<scenario::ExpectImage>(c);
    if (needs_panel) r.ensure_placed(line);
    if (auto failure = r.checker_.check(c, line)) {
      // The trap of a check right after a click: the module has seen the click, but the panel
      // shows what it did only once a frame has run.
      if (needs_panel && r.click_without_frame_line_ != 0) {
        *failure += "; no frame has run since the click on line " +
                    std::to_string(r.click_without_frame_line_) +
                    ", and the panel shows a click's effect from the next frame on (frames 1)";
      }
      throw ExpectationFailed(line, *failure);
    }
    ++r.expectations_held_;
  }
};

RunOutcome ScenarioRunner::run(const std::vector<scenario::Command>& commands) {
  RunOutcome outcome;
  int line = 0;
  try {
    for (const scenario::Command& command : commands) {
      line = command.line;
      if (command_observer_) command_observer_(command.line);
      // Expectations of events and sounds look back over the last command that acted.
      if (is_acting(command.action)) log_.start_command();
      std::visit(Executor{*this, command.line}, command.action);
    }
  } catch (const ExpectationFailed& failed) {
    outcome = {RunStatus::expectation_failed, failed.line(), failed.what()};
  } catch (const ScenarioError& error) {
    outcome = {RunStatus::scenario_error, error.line(), error.what()};
  } catch (const TraceWriteError& error) {
    outcome = {RunStatus::scenario_error, line, error.what()};
  } catch (const StopRequested& stop) {
    char at[64];
    std::snprintf(at, sizeof at, "%.1f", clock_.time_s());
    outcome = {RunStatus::stopped, line,
               std::string("stopped by ") + stop.what() + " at " + at + " s of simulated time"};
  }
  outcome.expectations_held = expectations_held_;
  outcome.snapshots_written = snapshots_written_;
  outcome.simulated_s = clock_.time_s();
  finish();
  if (outcome.status == RunStatus::passed && trace_ && trace_->failure()) {
    outcome.status = RunStatus::scenario_error;
    outcome.line = line;
    outcome.message = *trace_->failure();
  }
  return outcome;
}

}  // namespace host
