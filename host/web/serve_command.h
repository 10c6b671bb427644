// `ins-host serve`: the INS live in a browser. Loads the module as `run` and `fly` do, places
// the CDU, the navigation computer, the mode selector and the eight icons, runs the frames in
// real time (or up to 64 times faster) and serves the panel, its files and its API from one
// process, on 127.0.0.1 unless told otherwise.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "host/live/aircraft_requests.h"

namespace host::live {
class FramePacer;
}

namespace host::web {

struct ServeOptions {
  std::string address = "127.0.0.1";
  int port = 8080;                // 0: any free port
  std::filesystem::path plan;     // loaded at start when given
  std::filesystem::path workdir;  // default: a temporary folder, removed at the end
  std::filesystem::path module;   // default: INS.so beside ins-host
  int fps = 30;
  live::AircraftRequests aircraft;  // empty: the host's own flight model takes off
};

inline constexpr int MIN_SERVE_FPS = 18;
inline constexpr int MAX_SERVE_FPS = 120;

// What is wrong with the options, in the words of the host's other option errors
// ("--port 99999: a TCP port is 0 to 65535"), or nothing.
std::optional<std::string> check_serve_options(const ServeOptions& options);

// Serves until SIGINT or SIGTERM; 0 then, 2 when the server cannot start. With a pacer, the
// frames follow it rather than the wall clock (`ins-host link`). `on_listening` runs once the
// port is taken, before the URL is printed: what starts there never starts for a server that
// could not listen.
int serve(const ServeOptions& options, live::FramePacer* pacer = nullptr,
          const std::function<void()>& on_listening = {});

}  // namespace host::web
