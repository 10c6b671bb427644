// `ins-host serve`: the INS live in a browser. Loads the module as `run` and `fly` do, places
// the CDU, the navigation computer, the mode selector and the eight icons, runs the frames in
// real time (or up to 64 times faster) and serves the panel, its files and its API from one
// process, on 127.0.0.1 unless told otherwise.
#pragma once

#include <filesystem>
#include <string>

namespace host::web {

struct ServeOptions {
  std::string address = "127.0.0.1";
  int port = 8080;                // 0: any free port
  std::filesystem::path plan;     // loaded at start when given
  std::filesystem::path workdir;  // default: a temporary folder, removed at the end
  std::filesystem::path module;   // default: INS.so beside ins-host
  int fps = 30;
};

// Serves until SIGINT or SIGTERM; 0 then, 2 when the server cannot start.
int serve(const ServeOptions& options);

}  // namespace host::web
