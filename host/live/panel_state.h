// The live session's published state as JSON: what changes from frame to frame (window texts,
// visibility, image values, the aircraft, the clock, the sounds asked for, the hints), made on
// the simulation thread after a frame and read by whoever shows the panel.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "host/live/live_session.h"
#include "host/live/panel_hints.h"

namespace host::live {

// A JSON value as it is sent. Bytes that are not UTF-8 (a path or a message repeating what a
// client sent) are replaced rather than thrown over, so a reply or a state is always made.
inline std::string json_text(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The INS text windows by their scenario names, in the order the page lists them.
inline constexpr const char* INS_WINDOWS[] = {"left", "right", "N", "S", "E", "W", "from", "to"};

// The simulation's rate (1x to 64x) and pause, as the commands set them.
struct SimStatus {
  int rate = 1;
  bool paused = false;
};

// The state after a frame. `hints` remembers the pilot's last actions between states (see
// PanelHints); one publisher keeps one.
nlohmann::json state_json(const LiveSession& session, const SimStatus& status, PanelHints& hints);

}  // namespace host::live
