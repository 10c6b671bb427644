// A scenario as read from its file: one command per line, each with the line it came from.
// The parser builds these; the runner plays them. Durations are in simulated seconds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace host::scenario {

// A control: a name from the control table, or a point in the gauge's pixels.
struct Control {
  std::string name;  // as written ("HOLD", or "120,44" for a point)
  bool is_point = false;
  int32_t x = 0;
  int32_t y = 0;
};

// --- Setting up.
struct Gauges {
  std::vector<std::string> names;
};
struct Fps {
  int fps = 30;
};
struct WriteFile {
  std::string name;
  std::vector<std::string> lines;
  bool crlf = false;
};
struct CopyFile {
  std::string source;  // relative to the scenario file's folder
  std::string name;    // in the working folder
};
struct RemoveFile {
  std::string name;
};
struct SetCondition {
  std::string name;
  double value = 0.0;
};
struct SetVar {
  uint32_t token_id = 0;
  double value = 0.0;
};

// --- Flying.
struct Motion {
  bool on = false;
};
struct Takeoff {
  double cruise_alt_ft = 0.0;
  double cruise_tas_kt = 0.0;
};
struct WindLayer {
  double alt_ft = 0.0;
  double from_true_deg = 0.0;
  double speed_kt = 0.0;
};
struct Snapshot {
  std::string name;
};  // a .png or .svg in the output folder

// --- Acting.
struct Click {
  std::string gauge;
  Control control;
};
struct Hold {
  std::string gauge;
  Control control;
  double duration_s = 0.0;
};
struct Keys {
  std::string digits;
};
struct Frames {
  int64_t count = 0;
};
struct Wait {
  double duration_s = 0.0;
};

// --- Expecting.
struct ExpectText {
  std::string gauge, window, text;
};
struct ExpectVisible {
  std::string gauge, element;
  bool visible = true;
};
struct ExpectImage {
  std::string gauge, element;
  double value = 0.0;
};
struct ExpectEvent {
  uint32_t event_id = 0;
  std::optional<uint32_t> value;  // empty: `expect no event ID`
};
struct ExpectSound {
  std::optional<std::string> path;
};  // empty: `expect no sound`
struct ExpectFileLine {
  std::string name;
  int64_t line = 0;  // counting from 0
  std::string text;
};
struct ExpectFileLines {
  std::string name;
  int64_t count = 0;
};
struct ExpectNoFile {
  std::string name;
};
// The aircraft within `within_nm` nautical miles of a position (an expectation of the host's
// own aircraft rather than of the panel).
struct ExpectNear {
  double lat_deg = 0.0;
  double lon_east_deg = 0.0;
  double within_nm = 0.0;
};

using Expectation = std::variant<ExpectText, ExpectVisible, ExpectImage, ExpectEvent, ExpectSound,
                                 ExpectFileLine, ExpectFileLines, ExpectNoFile, ExpectNear>;

inline constexpr double DEFAULT_WAIT_UNTIL_MAX_S = 10.0 * 3600.0;
// The longest stretch of simulated time one command may run (`wait`, `hold`, the `max` of
// `wait until`), and the most frames one `frames` may run: a scenario is a test or a bug
// report, and a typing slip of a few more digits must not keep the host busy for days.
inline constexpr double MAX_WAIT_S = 100.0 * 3600.0;
inline constexpr int64_t MAX_FRAMES = 10'000'000;

struct WaitUntil {
  Expectation expectation;
  double max_s = DEFAULT_WAIT_UNTIL_MAX_S;
};

using Action =
    std::variant<Gauges, Fps, WriteFile, CopyFile, RemoveFile, SetCondition, SetVar, Click, Hold,
                 Keys, Frames, Wait, WaitUntil, Expectation, Motion, Takeoff, WindLayer, Snapshot>;

struct Command {
  int line = 0;  // 1-based line of the scenario file
  Action action;
};

}  // namespace host::scenario
