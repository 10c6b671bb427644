// `ins-host link`: the INS panel served live in a browser exactly as `serve` serves it, with the
// aircraft flown by a running FlightGear: its state read from FlightGear's telnet property
// server each frame, the frames paced by FlightGear's simulated time, and the module's heading
// bug written back to FlightGear's autopilot. The link feeds the live session through its
// pacer; serving the panel is the caller's (main.cpp hands in web/'s `serve`).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "host/live/aircraft_requests.h"
#include "host/live/frame_pacer.h"

namespace host::link {

struct LinkCommandOptions {
  std::string flightgear;  // HOST:PORT of FlightGear's telnet property server
  bool engage_heading = false;
  bool prepare = false;           // the c172p's masters switched on at every connection
  std::filesystem::path workdir;  // held from before FlightGear is reached; empty: none given
};

// Serves the live panel with its frames paced by `pacer` until SIGINT or SIGTERM; 0 then, 2 when
// the server cannot start. The page's take-off and prepare go to `aircraft`; `on_listening` runs
// once the port is taken, and only then.
using ServeLivePanel =
    std::function<int(live::FramePacer& pacer, const live::AircraftRequests& aircraft,
                      const std::function<void()>& on_listening)>;

// HOST:PORT read as a host and a TCP port; nothing when it is not of that form.
std::optional<std::pair<std::string, int>> parse_host_port(const std::string& text);

// What is wrong with --flightgear's HOST:PORT, or nothing.
std::optional<std::string> check_flightgear_address(const std::string& text);

// Links and serves (through `serve_panel`) until SIGINT or SIGTERM; 0 then, 2 when the working
// folder is held by another ins-host or the server cannot start.
int link(const LinkCommandOptions& options, const ServeLivePanel& serve_panel);

}  // namespace host::link
