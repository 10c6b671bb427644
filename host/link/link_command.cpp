#include "host/link/link_command.h"

#include <pthread.h>

#include <charconv>
#include <csignal>
#include <iostream>

#include "host/link/flightgear_link.h"
#include "host/link/link_pacer.h"
#include "host/platform/working_folder.h"

namespace host::link {

namespace {

// The page's Take off puts FlightGear's c172p where its in-air start does: 3000 ft, 100 kt.
constexpr double FLIGHTGEAR_TAKEOFF_ALT_FT = 3000.0;
constexpr double FLIGHTGEAR_TAKEOFF_TAS_KT = 100.0;

}  // namespace

std::optional<std::pair<std::string, int>> parse_host_port(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return std::nullopt;
  std::string host = text.substr(0, colon);
  if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  int port = 0;
  const char* first = text.data() + colon + 1;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, port);
  if (error != std::errc() || end != last || port < 1 || port > 65535 || host.empty()) {
    return std::nullopt;
  }
  return std::make_pair(host, port);
}

std::optional<std::string> check_flightgear_address(const std::string& text) {
  if (!parse_host_port(text)) {
    // A port of digits that is no TCP port is named as such, not as a text of another form.
    const std::size_t colon = text.rfind(':');
    const std::string port = text.substr(colon + 1);
    const bool digits = colon != std::string::npos && colon > 0 && !port.empty() &&
                        port.find_first_not_of("0123456789") == std::string::npos;
    if (digits && (port.size() > 5 || std::stoi(port) < 1 || std::stoi(port) > 65535)) {
      return "--flightgear " + text + ": port " + port +
             " is out of range: a TCP port is 1 to 65535 (FlightGear's telnet server, e.g. 5401)";
    }
    return "--flightgear " + text +
           ": expected HOST:PORT of FlightGear's telnet property server, e.g. 127.0.0.1:5401";
  }
  return std::nullopt;
}

int link(const LinkCommandOptions& options, const ServeLivePanel& serve_panel) {
  // The link's thread must not take SIGINT or SIGTERM: they are the server's to wait for, so
  // they are blocked before it starts (the server blocks them the same way).
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  // The working folder is held before FlightGear is reached, so that a second ins-host on it
  // is refused before it touches FlightGear; the panel server then shares this hold.
  std::optional<WorkingFolderLock> folder;
  try {
    if (!options.workdir.empty()) folder.emplace(options.workdir);
  } catch (const std::exception& error) {
    std::cerr << "cannot link: " << error.what() << "\n";
    return 2;  // as when the server cannot start
  }

  const auto peer = parse_host_port(options.flightgear);
  LinkOptions link_options;
  link_options.host = peer->first;
  link_options.port = peer->second;
  link_options.engage_heading = options.engage_heading;
  link_options.prepare = options.prepare;
  FlightGearLink link(link_options, std::cerr);
  LinkPacer pacer(link);
  live::AircraftRequests aircraft;
  aircraft.take_off = [&link] {
    return link.take_off(FLIGHTGEAR_TAKEOFF_ALT_FT, FLIGHTGEAR_TAKEOFF_TAS_KT);
  };
  aircraft.prepare = [&link] { return link.prepare(); };
  // FlightGear is reached only once the panel's port is taken: a link that cannot serve exits
  // without ever saying it is live, nor writing to FlightGear.
  const int status = serve_panel(pacer, aircraft, [&link] { link.start(); });
  link.stop();
  return status;
}

}  // namespace host::link
