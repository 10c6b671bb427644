// ins-host: the substitute host. `ins-host run FILE.scn` plays a scenario against the gauge
// module and exits 0 when every expectation held, 1 when one failed, 2 when the scenario
// cannot be played, printing FILE:LINE: and what happened.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "host/scenario_parser.h"
#include "host/scenario_runner.h"
#include "host/sound_link.h"
#include "host/working_folder.h"

namespace {

constexpr int EXIT_SCENARIO_ERROR = 2;

struct RunArguments {
  std::string scenario;
  std::string trace;
  std::string workdir;
  std::string module;
  bool keep = false;
};

int run_scenario(const RunArguments& args) {
  namespace fs = std::filesystem;
  const std::string& label = args.scenario;
  std::ifstream in(args.scenario, std::ios::binary);
  if (!in) {
    std::cerr << label << ":0: cannot read the scenario file\n";
    return EXIT_SCENARIO_ERROR;
  }
  std::stringstream text;
  text << in.rdbuf();
  const host::scenario::ParseResult parsed = host::scenario::parse_scenario(text.str());
  if (parsed.error) {
    std::cerr << label << ":" << parsed.error->line << ": " << parsed.error->message << "\n";
    return EXIT_SCENARIO_ERROR;
  }

  const fs::path program = host::program_folder();
  host::RunOptions options;
  options.module_path = args.module.empty() ? program / "INS.so" : fs::absolute(args.module);
  options.sound_library = program / "GaugeSound.so";
  options.assets_folder = program / "assets";
  options.scenario_folder = fs::absolute(args.scenario).parent_path();
  if (!args.trace.empty()) options.trace_path = fs::absolute(args.trace);

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
      outcome = runner.run(parsed.commands);
    }
    if (outcome.status != host::RunStatus::passed) {
      std::cerr << label << ":" << outcome.line << ": " << outcome.message << "\n";
    }
    return static_cast<int>(outcome.status);
  } catch (const std::exception& error) {
    std::cerr << label << ":0: " << error.what() << "\n";
    return EXIT_SCENARIO_ERROR;
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Substitute host for the INS gauge module"};
  app.require_subcommand(1);
  RunArguments args;
  CLI::App* run = app.add_subcommand("run", "Play a scenario file against the module");
  run->add_option("FILE", args.scenario, "Scenario file (.scn)")->required();
  run->add_option("--trace", args.trace, "Write one JSON object per frame to this file");
  run->add_flag("--keep", args.keep, "Keep the temporary working folder");
  run->add_option("--workdir", args.workdir, "Working folder to use (created if missing, kept)");
  run->add_option("--module", args.module,
                  "Gauge module to load (default: INS.so beside ins-host)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help exits 0; a command line that cannot be used is a scenario that cannot run.
    return app.exit(error) == 0 ? 0 : EXIT_SCENARIO_ERROR;
  }
  return run_scenario(args);
}
