#include "host/web/serve_command.h"

#include <malloc.h>
#include <pthread.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <thread>

#include "host/live/live_session.h"
#include "host/live/sim_loop.h"
#include "host/panel/sound_link.h"
#include "host/picture/panel_snapshot.h"
#include "host/platform/plain_text.h"
#include "host/platform/stop_signals.h"
#include "host/platform/working_folder.h"
#include "host/web/panel_layout.h"
#include "host/web/plan_import_check.h"
#include "host/web/web_server.h"

namespace host::web {

namespace {

namespace fs = std::filesystem;
using live::LiveSession;
using live::SessionOptions;
using live::SimLoop;
using live::SimStatus;

constexpr int EXIT_CANNOT_SERVE = 2;

// The CDU, the navigation computer, the mode selector and the eight panel-window icons.
std::vector<std::string> served_gauges() {
  std::vector<std::string> names = {"INS", "INS_UPDATE", "ALIGN"};
  for (int i = 1; i <= 8; ++i) names.push_back("INSicon1024_0" + std::to_string(i));
  return names;
}

bool is_loopback(const std::string& address) {
  return address == "127.0.0.1" || address == "localhost" || address == "::1" ||
         address.rfind("127.", 0) == 0;
}

// The plan named on the command line, read and checked as the page's own plan loading checks
// it, before anything is made: a plan that cannot be used leaves no working folder behind.
struct StartPlan {
  fs::path path;
  std::string name;
  std::string text;
  flight::FlightPlan plan;
};

std::optional<StartPlan> read_start_plan(const fs::path& path, const fs::path& module, int fps) {
  StartPlan start{path, path.filename().string(), {}, {}};
  try {
    start.text = flight::read_plan_file(path);
    start.plan = flight::parse_flight_plan(start.text, path.string());
  } catch (const flight::PlanError& error) {
    std::cerr << "plan refused: " << flight::printable(error.what()) << "\n";
    return std::nullopt;
  }
  if (auto refused = check_plan_name(start.name)) {
    std::cerr << "plan refused: " << flight::printable(refused->message) << "\n";
    return std::nullopt;
  }
  if (auto refused = refuse_unless_imported(path.string(), start.text, module, fps)) {
    std::cerr << flight::printable(refused->message) << "\n";
    return std::nullopt;
  }
  return start;
}

// Installs the plan as the page's own plan loading does.
bool install_start_plan(SimLoop& loop, const StartPlan& start) {
  const std::string error = loop.submit([start](LiveSession& session, SimStatus&) {
    session.install_plan(start.name, start.plan, start.text);
    return std::string();
  });
  if (!error.empty()) {
    std::cerr << flight::printable(start.path.string()) << ": " << error << "\n";
    return false;
  }
  return true;
}

void prepare_libraries_for_serving() {
  // The page plays the sounds; the sound library stays quiet here unless told otherwise.
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  // Ctrl+C and SIGTERM are this program's to take (below), not the audio library's.
  setenv("SDL_NO_SIGNAL_HANDLERS", "1", 0);
  // The server's 32 threads mostly wait. With an allocation arena each (the C library's
  // default), each would keep its own high-water mark of what a burst of requests took; two
  // arenas shared by all are plenty for a few requests at a time.
  mallopt(M_ARENA_MAX, 2);
}

// SIGINT and SIGTERM are taken by this thread alone (sigwait in serve_until_stopped), so every
// thread the server starts inherits the block. Returns the signals blocked.
sigset_t block_stop_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

SessionOptions session_options_for(const ServeOptions& options, const fs::path& program,
                                   const fs::path& module, const fs::path& working_folder) {
  SessionOptions session_options;
  session_options.module_path = module;
  session_options.sound_library = program / "GaugeSound.so";
  session_options.assets_folder = program / "assets";
  session_options.working_folder = working_folder;
  session_options.gauges = served_gauges();
  session_options.fps = options.fps;
  return session_options;
}

ServerFolders server_folders(const fs::path& program, const fs::path& module, int fps) {
  return {program / "web",
          program / "bitmaps",
          program / "bitmaps-2x",
          program / "assets",
          program / "web" / "examples",
          module,
          fps};
}

void explain_cannot_listen(const ServeOptions& options) {
  const bool in_use = errno == EADDRINUSE;
  std::cerr << "cannot listen on " << options.address << " port " << options.port
            << (in_use ? ": the port is in use (another ins-host serve, or another program); "
                         "stop it or choose another with --port\n"
                       : " (in use, or not an address of this machine)\n");
}

void warn_unless_loopback(const std::string& address) {
  if (!is_loopback(address)) {
    std::cerr << "warning: serving on " << address
              << ": anyone who can reach this address can operate the panel and write files "
                 "in its working folder\n";
  }
}

// Listens on a thread of its own until SIGINT or SIGTERM, then stops the server.
void serve_until_stopped(WebServer& server, const std::string& address, int port,
                         const fs::path& working_folder, const sigset_t& signals) {
  std::thread listener([&server] { server.listen(); });
  // The URL is printed once the server accepts, and only then may a signal stop it: a stop
  // that came before the listening loop started would not end it.
  for (int i = 0; i < 5000 && !server.listening(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::string shown_host =
      address.find(':') != std::string::npos ? "[" + address + "]" : address;
  std::cout << "INS panel at http://" << shown_host << ":" << port << "/\n"
            << "working folder " << working_folder.string() << "\n"
            << "Ctrl+C stops the server" << std::endl;
  int signal_number = 0;
  sigwait(&signals, &signal_number);
  std::cout << "stopping" << std::endl;
  server.stop();
  listener.join();
}

// The session, its simulation thread and the server, each made on the one before and ended
// before it.
int serve_panel(const ServeOptions& options, const fs::path& program, const fs::path& module,
                const std::optional<StartPlan>& start_plan, const sigset_t& signals,
                live::FramePacer* pacer, const std::function<void()>& on_listening) {
  std::optional<fs::path> chosen;
  if (!options.workdir.empty()) chosen = options.workdir;
  WorkingFolder folder(chosen, false);
  const SessionOptions session_options =
      session_options_for(options, program, module, folder.path());
  LiveSession session(session_options);
  // The elements' sizes come from the module's bitmaps, as the simulator takes them.
  PanelArt art;
  BitmapSource& bitmaps = art.of(session.panel());
  const auto extents = gauge_extents(session.panel(), bitmaps);
  const nlohmann::json layout = layout_json(session.panel(), bitmaps);

  SimLoop loop(session, pacer);
  loop.start();
  if (start_plan && !install_start_plan(loop, *start_plan)) return EXIT_CANNOT_SERVE;

  WebServer server(loop, extents, layout, server_folders(program, module, options.fps));
  server.set_aircraft_requests(options.aircraft);
  const int port = server.bind(options.address, options.port);
  if (port < 0) {
    explain_cannot_listen(options);
    return EXIT_CANNOT_SERVE;
  }
  warn_unless_loopback(options.address);
  if (on_listening) on_listening();
  serve_until_stopped(server, options.address, port, folder.path(), signals);
  loop.stop();
  return 0;
}

}  // namespace

std::optional<std::string> check_serve_options(const ServeOptions& options) {
  if (options.port < 0 || options.port > 65535) {
    return "--port " + std::to_string(options.port) +
           ": a TCP port is 0 to 65535 (0: any free one)";
  }
  if (options.fps < MIN_SERVE_FPS || options.fps > MAX_SERVE_FPS) {
    return "--fps " + std::to_string(options.fps) + ": " + std::to_string(MIN_SERVE_FPS) + " to " +
           std::to_string(MAX_SERVE_FPS) + " frames a second";
  }
  return std::nullopt;
}

int serve(const ServeOptions& options, live::FramePacer* pacer,
          const std::function<void()>& on_listening) {
  prepare_libraries_for_serving();
  const sigset_t signals = block_stop_signals();
  if (stop_signal() != 0) return 0;  // asked to stop before the block: the caller ends by it

  const fs::path program = program_folder();
  // Every path given is the starting folder's, read before the working folder is entered.
  const fs::path module =
      options.module.empty() ? program / "INS.so" : fs::absolute(options.module);
  std::optional<StartPlan> start_plan;
  if (!options.plan.empty()) {
    start_plan = read_start_plan(fs::absolute(options.plan), module, options.fps);
    if (!start_plan) return EXIT_CANNOT_SERVE;
  }
  try {
    return serve_panel(options, program, module, start_plan, signals, pacer, on_listening);
  } catch (const std::exception& error) {
    std::cerr << "cannot serve the panel: " << error.what() << "\n";
    return EXIT_CANNOT_SERVE;
  }
}

}  // namespace host::web
