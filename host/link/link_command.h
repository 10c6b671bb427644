// `ins-host link`: the INS panel served live in a browser exactly as `serve` serves it, with the
// aircraft flown by a running FlightGear: its state read from FlightGear's telnet property
// server each frame, the frames paced by FlightGear's simulated time, and the module's heading
// bug written back to FlightGear's autopilot.
#pragma once

#include <optional>
#include <string>

#include "host/web/serve_command.h"

namespace host::link {

struct LinkCommandOptions {
  web::ServeOptions serve;
  std::string flightgear;  // HOST:PORT of FlightGear's telnet property server
  bool engage_heading = false;
  bool prepare = false;
};

// HOST:PORT read as a host and a TCP port; nothing when it is not of that form.
std::optional<std::pair<std::string, int>> parse_host_port(const std::string& text);

// What is wrong with the options (serve's checks, and --flightgear's), or nothing.
std::optional<std::string> check_link_options(const LinkCommandOptions& options);

// Links and serves until SIGINT or SIGTERM; 0 then, 2 when the server cannot start.
int link(const LinkCommandOptions& options);

}  // namespace host::link
