// ins-host: the substitute host. `ins-host run FILE.scn` plays a scenario against the gauge
// module and exits 0 when every expectation held, 1 when one failed, 2 when the scenario
// cannot be played, printing FILE:LINE: and what happened.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#if INS_HOST_FLIGHT_MODEL
#include "host/fly/fly_command.h"
#include "host/link/link_command.h"
#include "host/web/serve_command.h"
#endif
#include "host/lesson/lesson_check.h"
#include "host/lesson/lesson_reader.h"
#include "host/panel/sound_link.h"
#include "host/platform/checked_files.h"
#include "host/platform/stop_signals.h"
#include "host/platform/working_folder.h"
#include "host/scenario/nearest_name.h"
#include "host/scenario/scenario_parser.h"
#include "host/scenario/scenario_runner.h"

namespace {

constexpr int EXIT_SCENARIO_ERROR = 2;

struct RunArguments {
  std::string scenario;
  std::string trace;
  std::string workdir;
  std::string module;
  std::string output;  // where `snapshot` writes (default: the working folder)
  bool keep = false;
};

std::string plural(int count, const std::string& word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// "FILE: 12 expectations held over 10m00s of simulated time; 1 snapshot in DIR". The run's
// folders are given as they were resolved before the run entered its working folder: a
// relative --output is the starting folder's.
std::string run_summary(const std::string& label, const host::RunOutcome& outcome,
                        const RunArguments& args, const host::RunOptions& options) {
  const long whole_s = std::lround(outcome.simulated_s);
  char simulated[48];
  std::snprintf(simulated, sizeof simulated, "%ldh%02ldm%02lds", whole_s / 3600, whole_s / 60 % 60,
                whole_s % 60);
  std::string line = label + ": " + plural(outcome.expectations_held, "expectation") +
                     " held over " + simulated + " of simulated time";
  if (outcome.snapshots_written == 0) return line;
  line += "; " + plural(outcome.snapshots_written, "snapshot") + " in ";
  if (!options.output_folder.empty()) return line + options.output_folder.string();
  if (args.keep || !args.workdir.empty()) return line + options.working_folder.string();
  return line + "the working folder, removed with it (keep them with --output DIR)";
}

// Plays a scenario's commands, or a lesson's model answer, with the runner of a fresh working
// folder; the exit status and messages are a scenario's.
using Play = std::function<host::RunOutcome(host::ScenarioRunner&)>;
int play(const Play& play_on, const RunArguments& args);

int run_scenario(const RunArguments& args) {
  namespace fs = std::filesystem;
  const std::string& label = args.scenario;
  std::string text;
  try {
    text = host::read_input_file(
        args.scenario, {"the scenario file", "a scenario", host::MAX_SCENARIO_FILE_BYTES});
  } catch (const host::FileError& refused) {
    std::cerr << refused.what() << "\n";
    return EXIT_SCENARIO_ERROR;
  }
  const host::scenario::ParseResult parsed = host::scenario::parse_scenario(text);
  if (parsed.error) {
    std::cerr << label << ":" << parsed.error->line << ": " << parsed.error->message << "\n";
    return EXIT_SCENARIO_ERROR;
  }
  return play([&parsed](host::ScenarioRunner& runner) { return runner.run(parsed.commands); },
              args);
}

int play(const Play& play_on, const RunArguments& args) {
  namespace fs = std::filesystem;
  const std::string& label = args.scenario;
  const fs::path program = host::program_folder();
  host::RunOptions options;
  options.module_path =
      args.module.empty() ? program / host::MODULE_FILE_NAME : fs::absolute(args.module);
  options.sound_library = program / host::SOUND_LIBRARY_FILE_NAME;
  options.assets_folder = program / "assets";
  options.scenario_folder = fs::absolute(args.scenario).parent_path();
  if (!args.trace.empty()) options.trace_path = fs::absolute(args.trace);
  if (!args.output.empty()) options.output_folder = fs::absolute(args.output);

  try {
    std::optional<fs::path> chosen;
    if (!args.workdir.empty()) chosen = fs::path(args.workdir);
    host::WorkingFolder folder(chosen, args.keep);
    options.working_folder = folder.path();
    if (args.keep && args.workdir.empty()) {
      std::cerr << "working folder kept: " << folder.path().string() << "\n";
    }
    host::RunOutcome outcome;
    {
      host::ScenarioRunner runner(options);
      outcome = play_on(runner);
    }
    if (outcome.status != host::RunStatus::passed) {
      std::cerr << label << ":" << outcome.line << ": " << outcome.message << "\n";
    } else {
      std::cout << run_summary(label, outcome, args, options) << "\n";
    }
    return static_cast<int>(outcome.status);
  } catch (const std::exception& error) {
    std::cerr << label << ": " << error.what() << "\n";
    return EXIT_SCENARIO_ERROR;
  }
}

// `check-lesson FILE...`: each lesson read whole, then its model answer played step by step
// against a fresh module; the worst status of them all.
struct LessonArguments {
  std::vector<std::string> files;
  std::string module;
};

int check_lesson(const std::string& file, const std::string& module) {
  std::string text;
  try {
    text =
        host::read_input_file(file, {"the lesson file", "a lesson", host::MAX_SCENARIO_FILE_BYTES});
  } catch (const host::FileError& refused) {
    std::cerr << refused.what() << "\n";
    return EXIT_SCENARIO_ERROR;
  }
  const host::lesson::ReadResult read = host::lesson::read_lesson(text);
  if (read.error) {
    std::cerr << file << ":" << read.error->line << ": " << read.error->message << "\n";
    return EXIT_SCENARIO_ERROR;
  }
  const host::lesson::Lesson& lesson = read.lesson;
  const Play play_lesson = [&lesson](host::ScenarioRunner& runner) {
    return host::lesson::play_lesson(runner, lesson);
  };
  const int status = play(play_lesson, {file, "", "", module, "", false});
  if (status == 0) {
    std::cout << file << ": lesson \"" << read.lesson.title
              << "\": " << plural(static_cast<int>(read.lesson.steps.size()), "step")
              << " completed by its model answer\n";
  }
  return status;
}

int check_lessons(const LessonArguments& args) {
  int worst = 0;
  for (const std::string& file : args.files)
    worst = std::max(worst, check_lesson(file, args.module));
  return worst;
}

}  // namespace

namespace {

CLI::App* add_check_lesson_command(CLI::App& app, LessonArguments& args) {
  CLI::App* command = app.add_subcommand(
      "check-lesson", "Complete each lesson headless by its model answer, step by step");
  command->add_option("FILE", args.files, "Lesson files (.lesson)")->required();
  command->add_option(
      "--module", args.module,
      "Gauge module to load (default: INS.so, or INS.gau on Windows, beside ins-host)");
  return command;
}

void add_run_command(CLI::App& app, RunArguments& args) {
  CLI::App* run = app.add_subcommand("run", "Play a scenario file against the module");
  run->add_option("FILE", args.scenario, "Scenario file (.scn)")->required();
  run->add_option("--trace", args.trace, "Write one JSON object per frame to this file");
  run->add_flag("--keep", args.keep, "Keep the temporary working folder");
  run->add_option("--output", args.output, "Folder for snapshots (default: the working folder)");
  run->add_option("--workdir", args.workdir, "Working folder to use (created if missing, kept)");
  run->add_option("--module", args.module,
                  "Gauge module to load (default: INS.so, or INS.gau on Windows, beside ins-host)");
}

#if INS_HOST_FLIGHT_MODEL
// `fly` as typed: the winds are text until the command line has been read whole.
struct FlyArguments {
  host::FlyOptions options;
  std::string plan, output, module, wind = "0/0";
  std::vector<std::string> wind_aloft;
};

struct ServeArguments {
  host::web::ServeOptions options;
  std::string plan, workdir, module;
};

CLI::App* add_fly_command(CLI::App& app, FlyArguments& fly) {
  CLI::App* command =
      app.add_subcommand("fly", "Fly a flight plan (.PLN) with the INS, start to finish");
  command->add_option("PLAN", fly.plan, "Flight plan file, XML or key=value form")->required();
  command->add_option("--wind", fly.wind,
                      "Wind DIR/KT: from DIR degrees true at KT knots (default 0/0)");
  command->add_option(
      "--wind-aloft", fly.wind_aloft,
      "Wind at an altitude, ALT_FT:DIR/KT (repeat: the wind changes with altitude)");
  command->add_option("--cruise-alt", fly.options.cruise_alt_ft,
                      "Cruise level, feet (default: the plan's, or 35000)");
  // (The ranges of fly's numbers are checked in one place, with the flight's other options.)
  command->add_option("--tas", fly.options.cruise_tas_kt,
                      "Cruise true airspeed, knots (default 480)");
  command->add_option("--magvar", fly.options.magvar_east_deg,
                      "Magnetic variation, degrees east positive (default 0)");
  command->add_option("--fps", fly.options.fps,
                      "Frames a simulated second (default 30; 18 or more)");
  command->add_option("--output", fly.output, "Output folder (default fly-output/<plan name>)");
  command->add_option(
      "--module", fly.module,
      "Gauge module to load (default: INS.so, or INS.gau on Windows, beside ins-host)");
  command->add_flag("--quiet", fly.options.quiet, "Print only the final leg table");
  return command;
}

CLI::App* add_serve_command(CLI::App& app, ServeArguments& serve) {
  CLI::App* command =
      app.add_subcommand("serve", "Operate the panel live in a browser, with a moving map");
  command->add_option("--port", serve.options.port, "TCP port (default 8080; 0: any free port)");
  command->add_option("--address", serve.options.address,
                      "Address to listen on (default 127.0.0.1; others warn)");
  command->add_option("--plan", serve.plan, "Flight plan (.PLN) to load at start");
  command->add_option("--workdir", serve.workdir,
                      "Working folder (created if missing, kept; default: temporary)");
  command->add_option("--module", serve.module,
                      "Gauge module to load (default: INS.so beside ins-host)");
  command->add_option("--fps", serve.options.fps, "Frames a simulated second (default 30)");
  return command;
}

CLI::App* add_check_plan_command(CLI::App& app, host::CheckPlanOptions& check) {
  CLI::App* command = app.add_subcommand(
      "check-plan", "Import a flight plan (.PLN) into the INS as fly does, and check it");
  command->add_option("PLAN", check.plan, "Flight plan file, XML or key=value form")->required();
  command->add_option("--label", check.label, "The plan's name in messages (default: PLAN)");
  command->add_option("--module", check.module,
                      "Gauge module to load (default: INS.so beside ins-host)");
  command->add_option("--fps", check.fps, "Frames a simulated second (default 30)")
      ->check(CLI::Range(18, 240));
  return command;
}

struct LinkArguments {
  host::link::LinkCommandOptions options;
  host::web::ServeOptions serve;
  std::string plan, workdir, module;
};

CLI::App* add_link_command(CLI::App& app, LinkArguments& link) {
  CLI::App* command = app.add_subcommand(
      "link", "Fly the INS with a running FlightGear, the panel live in a browser");
  command
      ->add_option("--flightgear", link.options.flightgear,
                   "FlightGear's telnet property server, HOST:PORT (fgfs "
                   "--telnet=socket,bi,30,127.0.0.1,PORT,tcp)")
      ->required();
  command->add_flag("--engage-heading", link.options.engage_heading,
                    "Put FlightGear's KAP140 autopilot in heading mode (c172p)");
  command->add_flag("--prepare", link.options.prepare,
                    "Switch the c172p's masters on (battery, alternator, avionics): the INS's "
                    "power standing on the ground");
  command->add_option("--port", link.serve.port,
                      "TCP port of the panel (default 8080; 0: any free port)");
  command->add_option("--address", link.serve.address,
                      "Address to listen on (default 127.0.0.1; others warn)");
  command->add_option("--plan", link.plan, "Flight plan (.PLN) to load at start");
  command->add_option("--workdir", link.workdir,
                      "Working folder (created if missing, kept; default: temporary)");
  command->add_option("--module", link.module,
                      "Gauge module to load (default: INS.so beside ins-host)");
  command->add_option("--fps", link.serve.fps, "Frames a simulated second (default 30)");
  return command;
}

// "DIR/KT" as a wind: the direction it blows from (degrees true) and its speed. Only the form
// is checked here; `fly` checks the values with every other option before anything runs.
std::optional<flight::Wind> parse_wind(const std::string& text) {
  double from_deg = 0.0, speed_kt = 0.0;
  char slash = 0, extra = 0;
  if (std::sscanf(text.c_str(), "%lf %c %lf %c", &from_deg, &slash, &speed_kt, &extra) != 3 ||
      slash != '/' || !std::isfinite(from_deg) || !std::isfinite(speed_kt)) {
    return std::nullopt;
  }
  return flight::Wind{from_deg, speed_kt};
}

// "ALT_FT:DIR/KT" as the wind at an altitude; nothing when it is not of that form.
std::optional<host::FlyWindLayer> parse_wind_layer(const std::string& layer) {
  const std::size_t colon = layer.find(':');
  double alt_ft = 0.0;
  const auto layer_wind =
      colon == std::string::npos ? std::nullopt : parse_wind(layer.substr(colon + 1));
  char extra = 0;
  if (!layer_wind || std::sscanf(layer.substr(0, colon).c_str(), "%lf %c", &alt_ft, &extra) != 1 ||
      !std::isfinite(alt_ft)) {
    return std::nullopt;
  }
  return host::FlyWindLayer{alt_ft, *layer_wind};
}

int serve_as_asked(ServeArguments& serve) {
  if (const auto wrong = host::web::check_serve_options(serve.options)) {
    std::cerr << *wrong << "\n";
    return EXIT_SCENARIO_ERROR;
  }
  serve.options.plan = serve.plan;
  serve.options.workdir = serve.workdir;
  serve.options.module = serve.module;
  return host::web::serve(serve.options);
}

int link_as_asked(LinkArguments& link) {
  auto wrong = host::web::check_serve_options(link.serve);
  if (!wrong) wrong = host::link::check_flightgear_address(link.options.flightgear);
  if (wrong) {
    std::cerr << *wrong << "\n";
    return EXIT_SCENARIO_ERROR;
  }
  link.serve.plan = link.plan;
  link.serve.workdir = link.workdir;
  link.serve.module = link.module;
  link.options.workdir = link.workdir;
  // The panel served as `serve` serves it, its frames paced by the link.
  return host::link::link(link.options, [&link](host::live::FramePacer& pacer,
                                                const host::live::AircraftRequests& aircraft,
                                                const std::function<void()>& on_listening) {
    host::web::ServeOptions serve = link.serve;
    serve.aircraft = aircraft;
    return host::web::serve(serve, &pacer, on_listening);
  });
}

int fly_as_asked(FlyArguments& fly) {
  fly.options.plan = fly.plan;
  fly.options.output = fly.output;
  fly.options.module = fly.module;
  const auto wind = parse_wind(fly.wind);
  if (!wind) {
    std::cerr << "--wind " << fly.wind << ": expected DIR/KT, e.g. 270/40\n";
    return EXIT_SCENARIO_ERROR;
  }
  fly.options.wind = *wind;
  for (const std::string& layer : fly.wind_aloft) {
    const auto layer_wind = parse_wind_layer(layer);
    if (!layer_wind) {
      std::cerr << "--wind-aloft " << layer << ": expected ALT_FT:DIR/KT, e.g. 30000:270/80\n";
      return EXIT_SCENARIO_ERROR;
    }
    fly.options.wind_layers.push_back(*layer_wind);
  }
  return host::fly(fly.options);
}
#endif

// The long names of a command's options, "--port", ...
std::vector<std::string> option_names(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  }
  return names;
}

std::string did_you_mean_one_of(const std::string& word, const std::vector<std::string>& names) {
  return host::did_you_mean(word, std::vector<std::string_view>(names.begin(), names.end()));
}

std::string command_list(const CLI::App& app) {
  std::string list;
  const auto commands = app.get_subcommands({});
  for (std::size_t i = 0; i < commands.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == commands.size() ? " or " : ", ") + commands[i]->get_name();
  }
  return list;
}

// What is wrong with a command line CLI11 refused, when it is a word no command or option has:
// "unknown command \"serv\"; did you mean serve?", "serve: unknown option --prot; did you mean
// --port?". CLI11 itself would say only that a command is required, or that some arguments were
// not expected. Nothing when the fault is of another kind (a missing file name, a bad value),
// which CLI11's own message says well.
std::optional<std::string> wrong_word(const CLI::App& app, int argc, char** argv) {
  const std::string commands = command_list(app);
  if (argc < 2) return "a command is required: " + commands + " (ins-host --help says more)";
  const std::string first = argv[1];
  const CLI::App* command = nullptr;
  for (const CLI::App* candidate : app.get_subcommands({})) {
    if (candidate->check_name(first)) command = candidate;
  }
  if (command == nullptr) {
    std::vector<std::string> names;
    for (const CLI::App* candidate : app.get_subcommands({}))
      names.push_back(candidate->get_name());
    if (first.starts_with("-")) {
      return "unknown option " + first + did_you_mean_one_of(first, option_names(app)) +
             " (ins-host takes a command first: " + commands + "; ins-host --help says more)";
    }
    return "unknown command \"" + first + "\"" + did_you_mean_one_of(first, names) +
           " (the commands: " + commands + ")";
  }
  const std::vector<std::string> known = option_names(*command);
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") break;  // what follows is a value, whatever it looks like
    if (!word.starts_with("--") || word.size() == 2) continue;
    const std::string name = word.substr(0, word.find('='));
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    return command->get_name() + ": unknown option " + name + did_you_mean_one_of(name, known) +
           " (ins-host " + command->get_name() + " --help lists its options)";
  }
  return std::nullopt;
}

}  // namespace

int run_command(int argc, char** argv) {
  CLI::App app{"Substitute host for the INS gauge module"};
  // Options are spelled --name on every platform: on Windows, CLI11 would otherwise take a path
  // such as /tmp/a.scn (as Wine passes it) for an option "/tmp".
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("ins-host ") + INS_VERSION);
  app.require_subcommand(1);
  RunArguments args;
  add_run_command(app, args);
#if INS_HOST_FLIGHT_MODEL
  FlyArguments fly;
  CLI::App* fly_command = add_fly_command(app, fly);
  ServeArguments serve;
  CLI::App* serve_command = add_serve_command(app, serve);
  LinkArguments link;
  CLI::App* link_command = add_link_command(app, link);
  host::CheckPlanOptions check;
  CLI::App* check_plan_command = add_check_plan_command(app, check);
#else
  CLI::App* fly_command =
      app.add_subcommand("fly", "Not in this build: the flight model needs GeographicLib");
  fly_command->allow_extras();
#endif
  LessonArguments lessons;
  CLI::App* lesson_command = add_check_lesson_command(app, lessons);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help and the version exit 0; a command line that cannot be used is a scenario that
    // cannot run.
    if (const auto wrong = wrong_word(app, argc, argv); wrong && error.get_exit_code() != 0) {
      std::cerr << *wrong << "\n";
      return EXIT_SCENARIO_ERROR;
    }
    return app.exit(error) == 0 ? 0 : EXIT_SCENARIO_ERROR;
  }
#if INS_HOST_FLIGHT_MODEL
  if (app.got_subcommand(serve_command)) return serve_as_asked(serve);
  if (app.got_subcommand(link_command)) return link_as_asked(link);
  if (app.got_subcommand(fly_command)) return fly_as_asked(fly);
  if (app.got_subcommand(check_plan_command)) return host::check_plan(check);
#else
  if (app.got_subcommand(fly_command)) {
    std::cerr << "fly: this ins-host is built without the flight model (it needs GeographicLib, "
                 "which has no build for this platform); the Linux ins-host flies plans\n";
    return EXIT_SCENARIO_ERROR;
  }
#endif
  if (app.got_subcommand(lesson_command)) return check_lessons(lessons);
  return run_scenario(args);
}

int main(int argc, char** argv) {
  host::install_stop_signal_handlers();
#if defined(SIGXFSZ)
  // Past a file-size limit (ulimit -f) a write fails with EFBIG, which every writer reports as a
  // write error and survives, instead of the signal ending the program unannounced.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  const int status = run_command(argc, argv);
  host::end_by_stop_signal();  // cleaned up; now end as the signal asked
  return status;
}
