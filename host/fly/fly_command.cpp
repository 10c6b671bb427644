#include "host/fly/fly_command.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "host/flight/flight_log.h"
#include "host/flight/flight_outputs.h"
#include "host/flight/flight_plan.h"
#include "host/panel/control_names.h"
#include "host/panel/sound_link.h"
#include "host/panel/stored_waypoints.h"
#include "host/platform/checked_files.h"
#include "host/platform/plain_text.h"
#include "host/platform/working_folder.h"
#include "host/scenario/scenario_parser.h"
#include "host/scenario/scenario_runner.h"

namespace host {

namespace {

namespace fs = std::filesystem;

constexpr double DEFAULT_CRUISE_ALT_FT = 35000.0;
constexpr double LAST_WAYPOINT_NM = 0.5;  // where HOLD releases in MAN
constexpr double TRACK_SAMPLE_S = 1.0;
constexpr double CDU_PRINT_DELAY_S = 1.0;
// How far the INS's stored position may lie from the plan's: the waypoint file holds single
// precision radians (half a unit in the last place is 1.2e-7 near pi), written with 8 decimals.
constexpr double IMPORT_TOLERANCE_RAD = 3e-7;
// The flight model's levels and speeds, and the frame rates at which the INS's keys keep up.
constexpr double MIN_CRUISE_ALT_FT = 1000.0;
constexpr double MAX_CRUISE_ALT_FT = 65000.0;
constexpr double MIN_WIND_LAYER_ALT_FT = -2000.0;
constexpr double MIN_TAS_KT = 100.0;
constexpr double MAX_TAS_KT = 700.0;
constexpr double MAX_WIND_KT = 500.0;
constexpr double MAX_MAGVAR_DEG = 60.0;
constexpr int MIN_FPS = 18;
constexpr int MAX_FPS = 240;
// 100 lines of at most 99 characters as the INS writes them, with room for a hand-edited file.
constexpr std::size_t MAX_WAYPOINT_FILE_BYTES = 64 * 1024;

// A flight that has to stop, with the reason; `refused` when it never left the ground because
// the INS could not take the plan.
struct FlightStopped : std::runtime_error {
  FlightStopped(const std::string& reason, bool refused_before_flight)
      : std::runtime_error(reason), refused(refused_before_flight) {}
  bool refused;
};

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string two_digits(std::size_t number) {
  char text[8];
  std::snprintf(text, sizeof text, "%02zu", number);
  return text;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// Text from a plan as it may stand in a comment or a message: control characters (a line end
// in an ident would start a new scenario line, an escape sequence would drive the terminal)
// shown as '?'.
using flight::printable;

// A scenario text in double quotes: quotes and backslashes escaped, so any file name reads back
// as itself (one with a line end in it is refused before this).
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A word as a POSIX shell reads it back: as it is when it holds only characters no shell
// treats specially, else in single quotes (a quote inside closed, escaped and reopened).
std::string shell_word(const std::string& text) {
  const bool plain = !text.empty() && text.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789_-./+,:=@%") == std::string::npos;
  if (plain) return text;
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The command that plays the flight's scenario again, runnable as printed from any folder:
// this very program by its full path, and the scenario by its absolute one.
std::string replay_command(const fs::path& scenario) {
  return shell_word((program_folder() / "ins-host").string()) + " run " +
         shell_word(scenario.string());
}

bool has_control_character(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

// "52.701917 -8.924639": a position as `expect near` and the messages write it.
std::string position_text(double lat_deg, double lon_east_deg) {
  return fixed(lat_deg + 0.0, 6) + " " + fixed(lon_east_deg + 0.0, 6);  // no "-0.000000"
}

std::optional<std::string> check_wind(const std::string& option, const flight::Wind& wind,
                                      double tas_kt) {
  if (!(wind.from_true_deg >= 0.0 && wind.from_true_deg <= 360.0)) {
    return option + ": the direction the wind blows from is 0 to 360 degrees, not " +
           number(wind.from_true_deg);
  }
  if (!(wind.speed_kt >= 0.0 && wind.speed_kt <= MAX_WIND_KT)) {
    return option + ": a wind speed is 0 to " + number(MAX_WIND_KT) + " kt, not " +
           number(wind.speed_kt);
  }
  if (wind.speed_kt >= tas_kt) {
    return option + ": a wind of " + number(wind.speed_kt) +
           " kt is not below the cruise speed (--tas " + number(tas_kt) +
           "): the aircraft would make no headway";
  }
  return std::nullopt;
}

double route_nm(const flight::FlightPlan& plan) {
  double total_nm = 0.0;
  for (std::size_t i = 0; i + 1 < plan.waypoints.size(); ++i) {
    const auto& a = plan.waypoints[i];
    const auto& b = plan.waypoints[i + 1];
    total_nm += flight::distance_nm(a.lat_deg, a.lon_east_deg, b.lat_deg, b.lon_east_deg);
  }
  return total_nm;
}

// The slowest ground speed the strongest wind of the flight allows, and no less than 60 kt.
double slowest_ground_speed_kt(const FlyOptions& o) {
  double worst_wind_kt = o.wind.speed_kt;
  for (const FlyWindLayer& layer : o.wind_layers)
    worst_wind_kt = std::max(worst_wind_kt, layer.wind.speed_kt);
  return std::max(60.0, o.cruise_tas_kt - worst_wind_kt);
}

// Generous: `distance_nm` at the slowest ground speed, twice over, and an hour, in whole hours
// (no more than a scenario's longest wait).
double hours_allowed(double distance_nm, double slowest_kt) {
  return std::min(std::ceil(2.0 * distance_nm / slowest_kt + 1.0), scenario::MAX_WAIT_S / 3600.0);
}

// How long the scenario waits for the final leg, and then for the last waypoint.
struct FlightWaits {
  double to_final_leg_h;
  double final_leg_h;
};

FlightWaits flight_waits(const FlyOptions& o, const flight::FlightPlan& plan) {
  const double slowest_kt = slowest_ground_speed_kt(o);
  // The final leg has its own wait, however long it is.
  const flight::PlanWaypoint& before_last = plan.waypoints[plan.waypoints.size() - 2];
  const flight::PlanWaypoint& last = plan.waypoints.back();
  const double final_leg_nm = flight::distance_nm(before_last.lat_deg, before_last.lon_east_deg,
                                                  last.lat_deg, last.lon_east_deg);
  return {hours_allowed(route_nm(plan), slowest_kt), hours_allowed(final_leg_nm, slowest_kt)};
}

// Nothing from the plan becomes a command: its file name is a quoted text, its idents stand in
// comments only, with no character that could end the comment's line.
void write_departure(std::ostringstream& s, const FlyOptions& o, const flight::FlightPlan& plan,
                     const std::string& plan_copy) {
  const flight::PlanWaypoint& departure = plan.waypoints.front();
  const double runway_true_deg = flight::initial_course_true_deg(departure, plan.waypoints[1]);
  s << "# The flight of " << printable(plan_copy) << " as `ins-host fly` flew it; `ins-host run`"
    << " on this\n# file flies it again, frame for frame.\n"
    << "fps " << o.fps << "\n"
    << "copy " << quoted(plan_copy) << " " << PLAN_FILE_NAME << "\n"
    << "\n# On the ground at the departure, " << printable(departure.ident)
    << ", facing the first leg.\n"
    << "set lat " << fixed(departure.lat_deg, 9) << "\n"
    << "set lon " << fixed(departure.lon_east_deg, 9) << "\n"
    << "set magvar " << fixed(o.magvar_east_deg, 3) << "\n"
    << "set heading " << fixed(flight::wrap_360_deg(runway_true_deg - o.magvar_east_deg), 6) << "\n"
    << "set wind_dir " << fixed(o.wind.from_true_deg, 3) << "\n"
    << "set wind_speed " << fixed(o.wind.speed_kt, 3) << "\n";
  for (const FlyWindLayer& layer : o.wind_layers) {
    s << "wind " << fixed(layer.alt_ft, 0) << " " << fixed(layer.wind.from_true_deg, 3) << " "
      << fixed(layer.wind.speed_kt, 3) << "\n";
  }
}

void write_alignment(std::ostringstream& s) {
  s << "\n# Power on, import the plan through the hidden spot, align.\n"
    << "set battery 1\nset main_power 1\n"
    << "wait 2s  # the INS takes the present position before the import writes it as waypoint 0\n"
    << "click INS PLAN\nwait 1s\n"
    << "expect file " << WAYPOINT_FILE_NAME << " lines " << WAYPOINT_TABLE_SIZE << "\n"
    << "click ALIGN CW\nwait 0.5s\nclick ALIGN CW\n"
    << "wait until visible ALIGN ready_nav yes max 5m\n"
    << "click ALIGN CW\nwait 0.5s\n"
    << "\n# Distance and time on the CDU; the first leg: TO 01, the departure.\n"
    << "click INS SEL_CW\nwait 0.5s\nclick INS SEL_CW\nwait 0.5s\n"
    << "click INS WYPT_CHG\nwait 1s\n"
    << "expect text INS to \"01\"\n";
}

void write_takeoff(std::ostringstream& s, const FlyOptions& o, double cruise_alt_ft) {
  s << "\n# Take-off, autopilot heading mode, HOLD in AUTO once airborne.\n"
    << "takeoff " << fixed(cruise_alt_ft, 0) << " " << fixed(o.cruise_tas_kt, 1) << "\n"
    << "wait 55s\n"
    << "set ap_master 1\nset ap_heading 1\n"
    << "click INS AUTO\nwait 0.5s\n"
    << "click INS HOLD\nwait 1s\n"
    << "expect visible INS hold_lit yes\n";
}

void write_legs_to_the_end(std::ostringstream& s, const flight::FlightPlan& plan,
                           const FlightWaits& waits) {
  const flight::PlanWaypoint& last = plan.waypoints.back();
  s << "\n# On through every leg; on the final leg, MAN, so HOLD releases at the last waypoint.\n"
    << "wait until text INS to \"" << two_digits(plan.waypoints.size()) << "\" max "
    << fixed(waits.to_final_leg_h, 0) << "h\n"
    << "click INS MAN\n"
    << "wait until visible INS hold_lit no max " << fixed(waits.final_leg_h, 0) << "h\n"
    << "expect near " << fixed(last.lat_deg, 9) << " " << fixed(last.lon_east_deg, 9) << " "
    << fixed(LAST_WAYPOINT_NM, 1) << "\n"
    << "snapshot panel-at-end.png\n"
    << "snapshot panel-at-end.svg\n"
    << "\n# The crew flies on by hand over the waypoint.\n"
    << "wait 10s\n";
}

// The scenario that flies the plan, as a crew would: every step a line a reader can follow.
std::string flight_scenario(const FlyOptions& o, const flight::FlightPlan& plan,
                            const std::string& plan_copy, double cruise_alt_ft) {
  std::ostringstream s;
  write_departure(s, o, plan, plan_copy);
  write_alignment(s);
  write_takeoff(s, o, cruise_alt_ft);
  write_legs_to_the_end(s, plan, flight_waits(o, plan));
  return s.str();
}

// Checks the waypoint file the import wrote against the plan: line n (1..N) must hold plan
// waypoint n - 1 (radians, longitude west-positive, single precision). A refusal names the
// plan's line, the waypoint, where the plan puts it and what the waypoint file holds.
void check_import(const fs::path& waypoint_file, const flight::FlightPlan& plan,
                  const std::string& plan_label) {
  std::error_code absent;
  if (!fs::exists(fs::symlink_status(waypoint_file, absent))) {
    throw FlightStopped("the INS wrote no waypoint file when importing the plan", true);
  }
  const std::string text = read_input_file(
      waypoint_file, {"the INS's waypoint file", "a waypoint file", MAX_WAYPOINT_FILE_BYTES});
  const std::vector<StoredWaypoint> stored = stored_waypoints(text);
  for (std::size_t i = 0; i < plan.waypoints.size(); ++i) {
    const flight::PlanWaypoint& wp = plan.waypoints[i];
    const int number = static_cast<int>(i) + 1;
    bool found = false;
    double lat_rad = 0.0, lon_west_rad = 0.0;
    for (const StoredWaypoint& w : stored) {  // the last line of a number is the one the INS takes
      if (w.number == number) found = true, lat_rad = w.lat_rad, lon_west_rad = w.lon_west_rad;
    }
    const double dlon = std::remainder(-lon_west_rad - wp.lon_east_deg * RAD_PER_DEGREE, TWO_PI);
    if (found && std::abs(lat_rad - wp.lat_deg * RAD_PER_DEGREE) <= IMPORT_TOLERANCE_RAD &&
        std::abs(dlon) <= IMPORT_TOLERANCE_RAD) {
      continue;
    }
    const std::string where = plan_label + ":" + std::to_string(wp.line) + ": ";
    const std::string expected =
        "; the plan puts it at " + position_text(wp.lat_deg, wp.lon_east_deg);
    if (!found) {
      throw FlightStopped(where + "the INS's waypoint file has no waypoint " + two_digits(number) +
                              " for " + printable(wp.ident) + expected,
                          true);
    }
    throw FlightStopped(
        where + "the INS imported waypoint " + two_digits(number) + ", " + printable(wp.ident) +
            ", at " + position_text(lat_rad / RAD_PER_DEGREE, -lon_west_rad / RAD_PER_DEGREE) +
            " (" + fixed(lat_rad, WAYPOINT_LINE_DECIMALS) + " " +
            fixed(lon_west_rad, WAYPOINT_LINE_DECIMALS) + " in " + WAYPOINT_FILE_NAME + ")" +
            expected,
        true);
  }
}

// Watches the panel every frame: the track, the legs, the CDU at each leg change, and HOLD.
// It runs beside every frame of a whole flight, so it reads the few elements it needs through
// pointers found once and reads the TO window's number again only when its text changed.
class FlightWatch {
 public:
  FlightWatch(ScenarioRunner& runner, const flight::FlightPlan& plan, bool quiet)
      : runner_(runner), plan_(plan), quiet_(quiet), log_(plan, TRACK_SAMPLE_S) {}

  // One frame: where the aircraft is and what the INS shows, then, from the take-off on, the
  // log, the CDU line due after a change of leg, and the check that HOLD still steers.
  void operator()() {
    if (!find_elements()) return;
    const Panel& panel = runner_.panel();
    sample_point(to_number(panel), shown(hold_lit_));
    if (!runner_.motion().on()) return;  // the track starts at the take-off
    print_table_header_once();
    record_point();
    print_cdu_when_due(panel);
    check_hold_kept(shown(man_));
  }

  flight::FlightLog& log() { return log_; }
  const flight::TrackPoint& last() const { return last_; }
  bool started() const { return started_; }
  int final_to() const { return last_to_; }

 private:
  // The point of this frame, written afresh into last_ (kept for the final figures even before
  // the take-off).
  void sample_point(int to, bool hold) {
    const Aircraft& aircraft = runner_.aircraft();
    flight::TrackPoint& p = last_;
    p.time_s = runner_.clock().time_s();
    p.lat_deg = aircraft.lat_deg;
    p.lon_east_deg = aircraft.lon_east_deg;
    p.alt_ft = aircraft.alt_ft;
    p.gs_kt = aircraft.gs_kt;
    p.tas_kt = aircraft.tas_kt;
    p.heading_true_deg = flight::wrap_360_deg(aircraft.heading_mag_deg + aircraft.magvar_east_deg);
    p.track_true_deg = runner_.motion().model().state().track_true_deg;
    p.to_waypoint = to;
    p.hold = hold;
  }

  void print_table_header_once() {
    if (started_) return;
    started_ = true;
    if (quiet_) return;
    std::cout << "\n"
              << flight::FlightLog::table_header() << "\n"
              << " (a row as its leg ends; the aircraft may still close on the waypoint in "
                 "the turn: final figures at the end)\n";
  }

  // Adds the point to the log. When it starts a new leg, the row of the leg just finished is
  // printed and the CDU's line falls due a moment later.
  void record_point() {
    const flight::TrackPoint& p = last_;
    const int previous_to = last_to_;
    const bool changed = log_.record(p);
    last_to_ = p.to_waypoint;
    if (p.hold) engaged_ = true;
    if (!changed || quiet_) return;
    const int finished = log_.leg_index_for(previous_to);
    if (finished >= 0) {
      std::cout << flight::FlightLog::table_row(log_.legs()[static_cast<std::size_t>(finished)])
                << "\n";
    }
    cdu_due_s_ = p.time_s + CDU_PRINT_DELAY_S;
  }

  // The new leg shows a frame or two after the change (the INS loads it in its next cycle).
  void print_cdu_when_due(const Panel& panel) {
    if (cdu_due_s_ < 0.0 || last_.time_s < cdu_due_s_) return;
    cdu_due_s_ = -1.0;
    std::cout << "        CDU  " << windows(panel, *ins_) << "\n";
  }

  // Once engaged, HOLD stays lit to the end: it may be released only in MAN at the last
  // waypoint.
  void check_hold_kept(bool man) const {
    const flight::TrackPoint& p = last_;
    if (!engaged_ || p.hold) return;
    if (!man) {
      throw FlightStopped("HOLD dropped at " + fixed(p.time_s / 60.0, 1) + " min, TO " +
                              two_digits(static_cast<std::size_t>(p.to_waypoint)) + ", " +
                              fixed(p.lat_deg, 4) + " " + fixed(p.lon_east_deg, 4) +
                              ", before the final leg",
                          false);
    }
    if (p.to_waypoint != static_cast<int>(plan_.waypoints.size())) {
      throw FlightStopped("HOLD released in MAN before the last waypoint (TO " +
                              two_digits(static_cast<std::size_t>(p.to_waypoint)) + ")",
                          false);
    }
  }

  static const ElementHeader* element(const PlacedGauge& gauge, std::string_view name) {
    const auto index = element_index(gauge.name, name);
    return index ? Panel::element_at(*gauge.header, *index) : nullptr;
  }
  // The INS gauge and its elements, found once the panel is placed (the chains never change).
  bool find_elements() {
    if (ins_ != nullptr) return true;
    ins_ = runner_.panel().find("INS");
    if (ins_ == nullptr) return false;
    to_ = element(*ins_, "to");
    hold_lit_ = element(*ins_, "hold_lit");
    man_ = element(*ins_, "man");
    return true;
  }
  static bool shown(const ElementHeader* e) { return e != nullptr && Panel::visible(*e); }
  int to_number(const Panel& panel) {
    if (to_ == nullptr) return -1;
    const std::string_view bytes = panel.text_bytes(*to_);
    if (bytes == to_text_) return to_value_;
    to_text_.assign(bytes);
    to_value_ = -1;
    if (std::sscanf(to_text_.c_str(), "%3d", &to_value_) != 1) to_value_ = -1;
    return to_value_;
  }
  static std::string windows(const Panel& panel, const PlacedGauge& gauge) {
    std::string line;
    for (const char* name : {"from", "to", "left", "N", "S", "right", "E", "W"}) {
      const ElementHeader* e = element(gauge, name);
      line += std::string(name) + " [" + (e != nullptr ? panel.text_of(*e) : "?") + "]  ";
    }
    return line;
  }

  ScenarioRunner& runner_;
  const flight::FlightPlan& plan_;
  bool quiet_;
  flight::FlightLog log_;
  flight::TrackPoint last_;
  const PlacedGauge* ins_ = nullptr;
  const ElementHeader* to_ = nullptr;
  const ElementHeader* hold_lit_ = nullptr;
  const ElementHeader* man_ = nullptr;
  std::string to_text_ = "?";  // the TO window's bytes when last read, and their number
  int to_value_ = -1;
  bool started_ = false;
  bool engaged_ = false;
  int last_to_ = -1;
  double cdu_due_s_ = -1.0;
};

// The INS's own import of the plan (see ins_import_refusal): throws FlightStopped with the
// refusal. The INS is given the very bytes the host read, so what it stores and what the host
// checks it against come from one reading of the file.
void check_ins_import(const PlanToCheck& plan, int fps, RunOptions options) {
  WorkingFolder folder(std::nullopt, false);
  options.working_folder = folder.path();
  options.scenario_folder = folder.path();
  options.output_folder = folder.path();
  write_output_file(folder.path() / PLAN_FILE_NAME, plan.text);
  const flight::PlanWaypoint& departure = plan.plan.waypoints.front();
  const std::string import_steps = "fps " + std::to_string(fps) + "\nset lat " +
                                   fixed(departure.lat_deg, 9) + "\nset lon " +
                                   fixed(departure.lon_east_deg, 9) +
                                   "\nset battery 1\nset main_power 1\nwait 2s\n"
                                   "click INS PLAN\nwait 1s\n";
  const scenario::ParseResult parsed = scenario::parse_scenario(import_steps);
  RunOutcome outcome;
  {
    ScenarioRunner runner(options);
    outcome = runner.run(parsed.commands);
  }
  if (outcome.status == RunStatus::stopped) throw FlightStopped(outcome.message, true);
  if (outcome.status != RunStatus::passed) {
    throw FlightStopped("the INS could not import the plan: " + outcome.message, true);
  }
  check_import(folder.path() / WAYPOINT_FILE_NAME, plan.plan, plan.label);
}

void print_leg_table(const flight::FlightLog& log, std::size_t waypoints) {
  std::cout << "\n" << flight::FlightLog::table_header() << "   (whole flight)\n";
  for (const flight::LegRecord& leg : log.legs()) {
    if (leg.flown || leg.to_number == static_cast<int>(waypoints))
      std::cout << flight::FlightLog::table_row(leg) << "\n";
  }
}

// --- The steps of `fly`, in the order it takes them.

// Ends the command before its last step: `message` goes to the error stream and `status` is the
// exit status. Not a std::exception, so a step's own catch of those lets it through.
struct EarlyEnd {
  int status;
  std::string message;
};

// The options checked and the plan read; an option or a plan that cannot be flown ends here.
PlanToCheck plan_to_fly(const FlyOptions& o) {
  if (const std::optional<std::string> wrong = check_fly_options(o)) throw EarlyEnd{2, *wrong};
  PlanToCheck plan{o.plan.string(), {}, {}};
  try {
    plan.text = flight::read_plan_file(o.plan);
    plan.plan = flight::parse_flight_plan(plan.text, plan.label);
  } catch (const flight::PlanError& error) {
    throw EarlyEnd{2, "plan refused, nothing flown: " + printable(error.what())};
  }
  const std::string plan_copy = o.plan.filename().string();
  if (has_control_character(plan_copy)) {
    throw EarlyEnd{2, "plan refused, nothing flown: the file name " + quoted(printable(plan_copy)) +
                          " holds a control character (a line end, a tab); rename the file"};
  }
  // The outputs' folder is named after the plan: a name of dots ("...PLN" has the stem "..")
  // would put them over the folder above it.
  const std::string stem = o.plan.stem().string();
  if (o.output.empty() && (stem.empty() || stem == "." || stem == "..")) {
    throw EarlyEnd{2, "plan refused, nothing flown: the file name " + quoted(printable(plan_copy)) +
                          " gives the output folder no name; rename the file or give --output"};
  }
  return plan;
}

// The level to cruise at: the option's, else the plan's when the flight model can fly it, else
// the default.
double cruise_level_ft(const FlyOptions& o, const flight::FlightPlan& plan) {
  if (o.cruise_alt_ft > 0.0) return o.cruise_alt_ft;
  const bool plan_level_flyable =
      plan.cruise_alt_ft >= MIN_CRUISE_ALT_FT && plan.cruise_alt_ft <= MAX_CRUISE_ALT_FT;
  return plan_level_flyable ? plan.cruise_alt_ft : DEFAULT_CRUISE_ALT_FT;
}

// The module, the sound library and the art: beside this program unless a module is named.
RunOptions module_run_options(const fs::path& module) {
  const fs::path program = program_folder();
  RunOptions options;
  options.module_path = module.empty() ? program / MODULE_FILE_NAME : fs::absolute(module);
  options.sound_library = program / SOUND_LIBRARY_FILE_NAME;
  options.assets_folder = program / "assets";
  // Hours flown in a second: the cues would be a burst of clicks, and closing the audio device
  // at the end would wait longer than the whole cruise takes. They are still logged.
  options.sounds_muted = true;
  return options;
}

// The INS's import tried before anything of the flight is made (see check_ins_import).
void refuse_unless_imported(const FlyOptions& o, const PlanToCheck& plan) {
  std::optional<std::string> refusal;
  try {
    refusal = ins_import_refusal(plan, o.module, o.fps);
  } catch (const std::exception& error) {
    throw EarlyEnd{2, std::string("the flight could not start: ") + error.what()};
  }
  if (refusal) throw EarlyEnd{2, "plan refused, nothing flown: " + *refusal};
}

// The output folder as the flight starts: the plan copied in beside the scenario that flies it.
struct FlightFiles {
  fs::path output;            // absolute
  std::string plan_copy;      // the plan's file name in the output folder
  std::string scenario_name;  // the scenario's file name there
  std::vector<scenario::Command> commands;
  std::vector<std::string> scenario_lines;  // its text, line by line, for saying what failed
};

// What a failed step of the flight's scenario means, in a pilot's words: the steps a flight can
// fail at, by the start of their line.
std::optional<std::string> pilot_reason(const std::string& step, int final_to,
                                        std::size_t waypoint_count) {
  const auto starts = [&](std::string_view head) { return step.rfind(head, 0) == 0; };
  if (starts(std::string("expect file ") + WAYPOINT_FILE_NAME))
    return "the plan import wrote no waypoint file";
  if (starts("wait until visible ALIGN ready_nav")) {
    return "the INS did not align: READY NAV did not light";
  }
  if (starts("expect text INS to")) return "the first leg did not start after WYPT CHG";
  if (starts("expect visible INS hold_lit yes")) return "HOLD did not engage after take-off";
  if (starts("wait until text INS to")) {
    return "the INS did not reach the final leg (TO " + two_digits(waypoint_count) +
           ") in the time the whole route allows; it was on the leg to waypoint " +
           two_digits(static_cast<std::size_t>(std::max(final_to, 0)));
  }
  if (starts("wait until visible INS hold_lit no")) {
    return "HOLD did not release on the final leg in MAN: the aircraft did not reach the last "
           "waypoint in the time the leg allows";
  }
  if (starts("expect near")) return "the aircraft did not pass near the last waypoint";
  return std::nullopt;
}

// Whether a file of a folder is one a flight writes there: its outputs, its scenario and its
// copy of the plan.
bool written_by_a_flight(const fs::path& file) {
  static const std::set<std::string> OUTPUTS = {
      "track.csv", "track.gpx", "plan.gpx", "map.svg", "panel-at-end.png", "panel-at-end.svg"};
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return OUTPUTS.contains(file.filename().string()) || extension == ".scn" || extension == ".pln";
}

// A flight writes into a folder that is new, empty, or an earlier flight's (whose outputs it
// replaces, and says so); a folder that holds anything else is refused, so no file of the
// user's is written over.
void check_output_folder(const fs::path& folder, bool quiet) {
  std::error_code error;
  if (!fs::exists(folder, error)) return;
  if (!fs::is_directory(folder, error)) {
    throw EarlyEnd{2, "--output " + printable(folder.string()) + ": not a folder"};
  }
  bool earlier_flight = false;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    // A link is named, not followed: the outputs replace what is in the folder, and a link
    // planted under an output's name would have them land on the file it points to.
    if (entry.is_symlink(error)) {
      throw EarlyEnd{2, "--output " + printable(folder.string()) + ": the folder holds " +
                            printable(entry.path().filename().string()) +
                            ", a link; a flight writes only its own plain files there"};
    }
    if (!entry.is_regular_file(error) || !written_by_a_flight(entry.path())) {
      throw EarlyEnd{2, "--output " + printable(folder.string()) + ": the folder holds " +
                            printable(entry.path().filename().string()) +
                            ", which no flight wrote; name a new folder, or an earlier flight's"};
    }
    earlier_flight = true;
  }
  if (earlier_flight && !quiet) {
    std::cout << "replacing the earlier flight's outputs in " << printable(folder.string()) << "\n";
  }
}

FlightFiles prepare_output_folder(const FlyOptions& o, const PlanToCheck& plan,
                                  double cruise_alt_ft) {
  FlightFiles files;
  files.output = fs::absolute(o.output.empty() ? fs::path("fly-output") / o.plan.stem() : o.output);
  files.plan_copy = o.plan.filename().string();
  files.scenario_name = o.plan.stem().string() + ".scn";
  check_output_folder(files.output, o.quiet);
  std::string scenario_text;
  try {
    fs::create_directories(files.output);
    // The bytes the INS imported in the check, not the file read again.
    write_output_file(files.output / files.plan_copy, plan.text);
    scenario_text = flight_scenario(o, plan.plan, files.plan_copy, cruise_alt_ft);
    std::istringstream lines(scenario_text);
    for (std::string line; std::getline(lines, line);) files.scenario_lines.push_back(line);
    write_output_file(files.output / files.scenario_name, scenario_text);
  } catch (const std::exception& error) {
    throw EarlyEnd{
        2, "cannot prepare the output folder " + files.output.string() + ": " + error.what()};
  }
  scenario::ParseResult parsed = scenario::parse_scenario(scenario_text);
  if (parsed.error) {  // a fault of this program, never of the plan: say where
    throw EarlyEnd{2, (files.output / files.scenario_name).string() + ":" +
                          std::to_string(parsed.error->line) + ": " + parsed.error->message};
  }
  files.commands = std::move(parsed.commands);
  return files;
}

void print_flight_start(const FlyOptions& o, const flight::FlightPlan& plan, double cruise_alt_ft) {
  std::cout << "flying " << printable(o.plan.string()) << " (" << plan.waypoints.size()
            << " waypoints, " << (plan.syntax == flight::PlanSyntax::Xml ? "XML" : "key=value")
            << " form), FL" << fixed(cruise_alt_ft / 100.0, 0) << " at "
            << fixed(o.cruise_tas_kt, 0) << " kt TAS, wind " << fixed(o.wind.from_true_deg, 0)
            << "/" << fixed(o.wind.speed_kt, 0) << " kt"
            << (o.wind_layers.empty() ? "" : " with layers") << ", " << o.fps
            << " frames a second\n";
  if (!o.quiet) {
    std::cout << "plan imported: waypoints 01 to " << two_digits(plan.waypoints.size())
              << " hold the plan's positions\n";
  }
}

// What the flight came to: the exit status, why it is not 0, and the record of the flight.
struct FlightResult {
  int status = 0;
  std::string reason;
  flight::FlightLog log;

  // The first failure is the one reported: what follows from it says less.
  void fail(int failed_status, const std::string& why) {
    if (status != 0) return;
    status = failed_status;
    reason = why;
  }
};

// Plays the flight's scenario against the module while a FlightWatch follows every frame.
FlightResult fly_scenario(const FlyOptions& o, const flight::FlightPlan& plan,
                          const FlightFiles& files, RunOptions options) {
  options.scenario_folder = files.output;
  options.output_folder = files.output;
  try {
    WorkingFolder folder(std::nullopt, false);
    options.working_folder = folder.path();
    ScenarioRunner runner(options);
    FlightWatch watch(runner, plan, o.quiet);
    runner.set_frame_observer([&watch] { watch(); });
    int stopped_status = 0;
    std::string stopped_reason;
    RunOutcome outcome;
    try {
      outcome = runner.run(files.commands);
    } catch (const FlightStopped& stopped) {
      stopped_status = stopped.refused ? 2 : 1;
      stopped_reason = stopped.what();
    }
    runner.set_frame_observer(nullptr);  // the watch goes before the runner
    if (outcome.status == RunStatus::stopped)
      throw EarlyEnd{1, "flight " + outcome.message + "; nothing more written"};
    watch.log().finish(watch.last());
    FlightResult result{stopped_status, stopped_reason, std::move(watch.log())};
    if (outcome.status != RunStatus::passed) {
      const std::string where = (files.output / files.scenario_name).string() + ":" +
                                std::to_string(outcome.line) + ": " + outcome.message;
      const std::size_t index = static_cast<std::size_t>(std::max(outcome.line, 1) - 1);
      const auto reason =
          index < files.scenario_lines.size()
              ? pilot_reason(files.scenario_lines[index], watch.final_to(), plan.waypoints.size())
              : std::nullopt;
      result.fail(outcome.status == RunStatus::scenario_error ? 2 : 1,
                  reason ? *reason + " (" + where + ")" : where);
    }
    if (watch.final_to() != static_cast<int>(plan.waypoints.size()))
      result.fail(1, "the INS never made the last waypoint the TO waypoint");
    return result;
  } catch (const std::exception& error) {
    throw EarlyEnd{2, std::string("the flight could not start: ") + error.what()};
  }
}

double last_waypoint_nm(const flight::FlightPlan& plan, const FlightResult& result) {
  return result.log.closest_nm(plan.waypoints.size() - 1);
}

void check_last_waypoint(const flight::FlightPlan& plan, FlightResult& result) {
  const double last_nm = last_waypoint_nm(plan, result);
  if (last_nm > LAST_WAYPOINT_NM) {
    result.fail(1, "the last waypoint was passed at " + fixed(last_nm, 2) + " NM, not within " +
                       fixed(LAST_WAYPOINT_NM, 1));
  }
}

// The track (CSV, GPX), the plan (GPX) and the map; a file that cannot be written fails the
// flight but keeps the others.
void write_flight_outputs(const FlightFiles& files, const flight::FlightPlan& plan,
                          FlightResult& result) {
  const std::vector<flight::TrackPoint>& track = result.log.track();
  try {
    flight::write_track_csv(files.output / "track.csv", track);
    flight::write_track_gpx(files.output / "track.gpx", track,
                            plan.title.empty() ? files.plan_copy : plan.title);
    flight::write_plan_gpx(files.output / "plan.gpx", plan);
    // Natural Earth's coastlines, packed by the build beside the web panel's copy of them.
    const auto coast =
        flight::read_packed_coastlines(program_folder() / "web" / "maps" / "land-50m.coastlines");
    flight::write_map_svg(files.output / "map.svg", plan, track,
                          coast.value_or(flight::Coastlines{}));
  } catch (const std::exception& error) {
    std::cerr << printable(error.what()) << "\n";
    result.fail(1, "the outputs could not be written");
  }
}

void print_flight_end(const FlightFiles& files, const flight::FlightPlan& plan,
                      const FlightResult& result) {
  const std::vector<flight::TrackPoint>& track = result.log.track();
  const double flown_s = track.empty() ? 0.0 : track.back().time_s;
  std::cout << "\nsimulated time " << fixed(flown_s / 3600.0, 2) << " h; outputs in "
            << printable(files.output.string()) << ":\n"
            << "  track.csv, track.gpx (flown track), plan.gpx (plan waypoints), map.svg (map),\n"
            << "  panel-at-end.png and .svg (the panel), " << files.scenario_name << "\n"
            << "replay with: " << replay_command(files.output / files.scenario_name) << "\n";
  if (result.status == 0) {
    std::cout << "reached the last waypoint, " << printable(plan.waypoints.back().ident) << ", at "
              << fixed(last_waypoint_nm(plan, result), 2) << " NM; HOLD released there in MAN\n";
  } else {
    std::cerr << "flight failed: " << printable(result.reason) << "\n";
  }
}

}  // namespace

std::optional<std::string> check_fly_options(const FlyOptions& o) {
  auto outside = [](double value, double min, double max) {
    return !(value >= min && value <= max);
  };
  if (o.cruise_alt_ft != 0.0 && outside(o.cruise_alt_ft, MIN_CRUISE_ALT_FT, MAX_CRUISE_ALT_FT)) {
    return "--cruise-alt " + number(o.cruise_alt_ft) + ": a cruise level is " +
           number(MIN_CRUISE_ALT_FT) + " to " + number(MAX_CRUISE_ALT_FT) + " ft";
  }
  if (outside(o.cruise_tas_kt, MIN_TAS_KT, MAX_TAS_KT)) {
    return "--tas " + number(o.cruise_tas_kt) + ": a cruise speed is " + number(MIN_TAS_KT) +
           " to " + number(MAX_TAS_KT) + " kt";
  }
  if (outside(o.magvar_east_deg, -MAX_MAGVAR_DEG, MAX_MAGVAR_DEG)) {
    return "--magvar " + number(o.magvar_east_deg) + ": a magnetic variation is -" +
           number(MAX_MAGVAR_DEG) + " to " + number(MAX_MAGVAR_DEG) + " degrees";
  }
  if (o.fps < MIN_FPS || o.fps > MAX_FPS) {
    return "--fps " + std::to_string(o.fps) + ": " + std::to_string(MIN_FPS) + " to " +
           std::to_string(MAX_FPS) + " frames a second";
  }
  const std::string wind_option =
      "--wind " + number(o.wind.from_true_deg) + "/" + number(o.wind.speed_kt);
  if (auto wrong = check_wind(wind_option, o.wind, o.cruise_tas_kt)) return wrong;
  for (const FlyWindLayer& layer : o.wind_layers) {
    const std::string option = "--wind-aloft " + number(layer.alt_ft) + ":" +
                               number(layer.wind.from_true_deg) + "/" + number(layer.wind.speed_kt);
    if (outside(layer.alt_ft, MIN_WIND_LAYER_ALT_FT, MAX_CRUISE_ALT_FT)) {
      return option + ": a wind layer's altitude is " + number(MIN_WIND_LAYER_ALT_FT) + " to " +
             number(MAX_CRUISE_ALT_FT) + " ft";
    }
    if (auto wrong = check_wind(option, layer.wind, o.cruise_tas_kt)) return wrong;
  }
  return std::nullopt;
}

std::optional<std::string> ins_import_refusal(const PlanToCheck& plan, const fs::path& module,
                                              int fps) {
  try {
    check_ins_import(plan, fps, module_run_options(module));
  } catch (const FlightStopped& refused) {
    return refused.what();
  }
  return std::nullopt;
}

int check_plan(const CheckPlanOptions& o) {
  PlanToCheck plan{o.label.empty() ? o.plan.string() : o.label, {}, {}};
  try {
    plan.text = flight::read_plan_file(o.plan);
    plan.plan = flight::parse_flight_plan(plan.text, plan.label);
  } catch (const flight::PlanError& error) {
    std::cerr << "plan refused: " << printable(error.what()) << "\n";
    return 2;
  }
  try {
    if (auto refusal = ins_import_refusal(plan, o.module, o.fps)) {
      std::cerr << "plan refused: " << printable(*refusal) << "\n";
      return 2;
    }
  } catch (const std::exception& error) {
    std::cerr << "the import could not be tried: " << printable(error.what()) << "\n";
    return 1;
  }
  std::cout << printable(plan.label) << ": the INS imports its " << plan.plan.waypoints.size()
            << " waypoints where the plan puts them\n";
  return 0;
}

int fly(const FlyOptions& o) {
  try {
    const PlanToCheck checked = plan_to_fly(o);
    const flight::FlightPlan& plan = checked.plan;
    const double cruise_alt_ft = cruise_level_ft(o, plan);
    const RunOptions options = module_run_options(o.module);
    refuse_unless_imported(o, checked);
    const FlightFiles files = prepare_output_folder(o, checked, cruise_alt_ft);
    print_flight_start(o, plan, cruise_alt_ft);
    FlightResult result = fly_scenario(o, plan, files, options);
    check_last_waypoint(plan, result);
    print_leg_table(result.log, plan.waypoints.size());
    write_flight_outputs(files, plan, result);
    print_flight_end(files, plan, result);
    return result.status;
  } catch (const EarlyEnd& end) {
    std::cerr << printable(end.message) << "\n";
    return end.status;
  }
}

}  // namespace host
