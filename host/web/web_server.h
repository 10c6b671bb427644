// The HTTP side of `ins-host serve`: the page and its files from the static folder, the bitmaps
// and sounds from beside the program, and the API (docs/web-api.md). Handlers check every
// request completely before they hand it to the simulation thread, so a bad request gets a 4xx
// with a clear message and changes nothing; a request from anyone but the panel's own page is
// refused before it reaches them (request_guard.h), and no client can hold the server's threads
// (limited_server.h).
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "host/live/aircraft_requests.h"
#include "host/live/sim_loop.h"
#include "host/web/web_requests.h"

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

namespace host::web {

class LimitedServer;
class RequestGuard;

// The folders the server reads from. The module's working folder (WAYPOINTS.DAT, PLAN.PLN) is
// the current folder: the server reads and writes its files there by name, as the store does.
struct ServerFolders {
  std::filesystem::path static_folder;      // index.html, app.js, the font, the map data
  std::filesystem::path bitmaps_folder;     // <id>.png, rendered beside the module
  std::filesystem::path bitmaps_2x_folder;  // the same at twice the size, for sharp screens
  std::filesystem::path assets_folder;      // the bundled sounds
  std::filesystem::path examples_folder;    // plans a user can load by name
  std::filesystem::path module;             // imports a plan before it is loaded (check-plan)
  int fps = 30;
};

class WebServer {
 public:
  WebServer(live::SimLoop& loop, const std::vector<GaugeExtent>& gauges, nlohmann::json layout,
            const ServerFolders& folders);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds the address and port (0: any free port); returns the port, or -1 when it cannot (with
  // errno saying why: EADDRINUSE when another server listens on it). The requests answered are
  // those that name this address and port (request_guard.h).
  int bind(const std::string& address, int port);
  // Take-off and prepare go to another simulator flying the aircraft (set before `listen`).
  void set_aircraft_requests(live::AircraftRequests requests) { aircraft_ = std::move(requests); }
  // Serves until `stop`; returns false when the server could not listen (or was never bound).
  bool listen();
  // True once `listen` accepts connections (a `stop` before then would not reach it).
  bool listening() const;
  void stop();

  // Event streams open at once; more are refused (each holds one of the server's threads).
  static constexpr int MAX_STREAMS = 8;
  // The server's other threads: for ordinary requests, and for connections whose requests are
  // still arriving.
  static constexpr int REQUEST_THREADS = 24;

 private:
  void add_routes();
  void add_panel_routes();
  void add_command_routes();
  void add_aircraft_routes();
  void add_plan_routes();
  void open_stream(const httplib::Request& req, httplib::Response& res);
  void load_plan(const httplib::Request& req, httplib::Response& res);
  void add_static_files();

  live::SimLoop& loop_;
  std::vector<GaugeExtent> gauges_;
  std::string layout_text_;
  ServerFolders folders_;
  live::AircraftRequests aircraft_;
  std::unique_ptr<LimitedServer> server_;
  std::unique_ptr<RequestGuard> guard_;  // made when the port is known
  std::atomic<int> open_streams_{0};
  std::atomic<bool> stopping_{false};
};

}  // namespace host::web
