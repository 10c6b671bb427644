// The panel: the gauges placed from one module, driven frame by frame as the simulator drives
// them. Placement sends service code 4, every frame sends code 6 to each gauge in placement
// order and then draws every chain, and the end of the run sends code 12. Mouse presses are
// hit-tested against a gauge's mouse list between frames; the panel also answers the module's
// two panel services (host variables and key events) and acts on the key events it knows.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/aircraft/aircraft.h"
#include "host/aircraft/host_variables.h"
#include "host/aircraft/sim_clock.h"
#include "host/panel/activity_log.h"
#include "host/panel/module_loader.h"
#include "host/panel/panel_services.h"

namespace host {

class UnknownGauge : public std::runtime_error {
 public:
  explicit UnknownGauge(const std::string& name)
      : std::runtime_error("no gauge named \"" + name + "\" in the module"), name_(name) {}
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

struct PlacedGauge {
  std::string name;
  GaugeHeader* header = nullptr;
};

// The key events the host acts on (EVENT_HEADING_BUG_SET, EVENT_PANEL_WINDOW_1 ..) are the
// module's own, in gauge_vocabulary.h. The panel acts on its own (the panel windows); those the
// rest of the simulator acts on it hands out as a value, HostEvents, from run_frame and
// take_raised: the flight model and the FlightGear link take the autopilot's heading bug from
// there.
struct HostEvents {
  // The heading the module last sent to the autopilot's bug (EVENT_HEADING_BUG_SET), in
  // magnetic degrees: a whole number, read signed so that a negative bug stays negative.
  std::optional<double> heading_bug_mag_deg;
  // How many times it sent one.
  uint64_t heading_bug_sets = 0;

  // These events followed by `later`: the bug sent last is the one that holds.
  void add(const HostEvents& later);
};

// The aircraft's autopilot set from what the module sent (its heading bug, when it sent one):
// the flight model steers by it from its next step.
void steer_autopilot(const HostEvents& raised, Aircraft& aircraft);

// A text routine is lent a buffer of exactly its window's characters and the terminator, as
// the simulator lends it; these bytes of a known pattern follow it, and a debug build checks
// after every call that the routine left them alone.
inline constexpr std::size_t TEXT_GUARD_BYTES = 8;
inline constexpr char TEXT_GUARD_BYTE = '\xA5';

// A text routine wrote past the buffer it was lent (found by a debug build's guard check).
class TextOverrun : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// What a held box's repeats follow: the frames run (a scenario's `hold`: one repeat every 0.1 s
// of simulated time), or the pilot's wall clock, on which the holder delivers them
// (`repeat_held`, timed by WallClockRepeats) whatever rate the simulation runs at.
enum class RepeatClock { SIMULATED, WALL };

// The repeats of a box held in the live panel, on the pilot's wall clock: the first FIRST_DELAY
// after the press, so that a quick click or key press acts once, then one every INTERVAL.
class WallClockRepeats {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds FIRST_DELAY{500};
  static constexpr std::chrono::milliseconds INTERVAL{100};

  explicit WallClockRepeats(Clock::time_point pressed) : next_due_(pressed + FIRST_DELAY) {}
  // How many repeats fell due by `now` since the last call (each is counted once).
  int take_due(Clock::time_point now);
  Clock::time_point next_due() const { return next_due_; }

 private:
  Clock::time_point next_due_;
};

class Panel final : public PanelServiceHandler {
 public:
  Panel(ModuleLoader& module, Aircraft& aircraft, SimClock& clock, HostVariables& variables,
        ActivityLog& log);
  ~Panel();
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  // Places the gauges in this order, each receiving service code 4; throws UnknownGauge for a
  // name the module does not list (and places none).
  void place(const std::vector<std::string>& names);
  bool placed() const { return placed_; }
  // Sends code 12 to every placed gauge in placement order; later calls do nothing.
  void remove();

  // One frame: repeats due for a held box, the aircraft's step, code 6 to every gauge, the draw.
  // Returns the host events the module raised since they were last taken (in this frame, and
  // between frames by a click): the caller passes them on (steer_autopilot, the FlightGear link).
  HostEvents run_frame();
  // The host events raised since they were last taken, taken now (after a click, between frames).
  HostEvents take_raised();

  // A left click at `point` (gauge pixels): the routine of the first box that holds it is
  // called with the point and the row's flags, or the row's host event is sent. Returns the
  // row, or null when the point is on no box.
  const MouseRow* click(const PlacedGauge& gauge, MousePoint point);
  // Press and hold: the click, then, for rows that repeat, until `release`: with
  // RepeatClock::SIMULATED one more call every 0.1 s of simulated time (delivered between
  // frames), with RepeatClock::WALL one more call at each `repeat_held`.
  const MouseRow* press(const PlacedGauge& gauge, MousePoint point,
                        RepeatClock repeats = RepeatClock::SIMULATED);
  void release();
  // One more call of the held box's routine (a hold on the wall clock); nothing when none is held.
  void repeat_held();
  bool holding() const { return held_row_ != nullptr; }

  const std::vector<PlacedGauge>& gauges() const { return gauges_; }
  const PlacedGauge* find(std::string_view name) const;

  // The element at `index` of a gauge's elements in drawing order (0 is the first), or null:
  // each list's elements in order, each followed by the elements of its next list.
  static ElementHeader* element_at(const GaugeHeader& gauge, std::size_t index);
  static std::size_t element_count(const GaugeHeader& gauge);
  // A text element's text as its routine last wrote it, as UTF-8; empty before its first draw.
  std::string text_of(const ElementHeader& element) const;
  // The same text as the module's own bytes (Latin-1), without a copy: for a check every frame.
  // Valid until the element is drawn again.
  std::string_view text_bytes(const ElementHeader& element) const;
  static bool visible(const ElementHeader& element) {
    return (element.image_flags & IMAGE_HIDDEN) == 0;
  }
  // The value `expect image` compares: an icon's image index, or a moving image's value along
  // the axis it travels (vertical when its vertical range is not empty).
  static double image_value(const ElementHeader& element);
  // The value the element's routine last returned, as the host keeps it: a text's (its first
  // source variable's value), an icon's image, a moving image's horizontal value; 0 for others.
  static double element_value(const ElementHeader& element);

  bool panel_window_open(int window) const;  // window 1..8

  // Panel services (`lookup_var` answers from the host variables).
  int32_t trigger_key_event(uint32_t event_id, uint32_t value) override;

 private:
  // The elements a frame may draw, every placed chain in order, listed once at placement: the
  // chains, the elements' kinds and routines are fixed at the module's load and only the hidden
  // bit changes, so a frame reads that bit and calls the routine, and walks past no static
  // image. A text element comes with its buffer, kept in `text_buffers_` and sized once here
  // (a window's character count is fixed at the module's load), so its bytes never move.
  struct DrawnElement {
    ElementHeader* element;
    char* text;         // text elements only (null for others): the buffer, `chars` + 1 bytes
    std::size_t chars;  // and the guard after it
    const char* gauge;  // for a message naming the element
    std::size_t index;
  };

  void list_drawn_elements();
  void draw();
  static void check_guard(const DrawnElement& drawn);
  void activate(const MouseRow& row, MousePoint point);
  void act_on(const KeyEvent& event);
  void deliver_due_repeats();

  ModuleLoader& module_;
  Aircraft& aircraft_;
  SimClock& clock_;
  ActivityLog& log_;

  std::vector<PlacedGauge> gauges_;
  bool placed_ = false;
  bool removed_ = false;
  std::unordered_map<const ElementHeader*, std::vector<char>> text_buffers_;
  // The element `text_bytes` last found in `text_buffers_`, and its buffer: a flight's watch
  // reads the same window every frame. (Nodes of the map stay where they are, and none is
  // removed before the panel goes.)
  mutable const ElementHeader* last_text_element_ = nullptr;
  mutable const std::vector<char>* last_text_buffer_ = nullptr;
  std::vector<DrawnElement> drawn_elements_;
  std::array<bool, PANEL_WINDOW_COUNT> panel_windows_{};
  HostEvents raised_;  // since they were last taken

  // The held box, if any: its row, point, the frames run since the press, the next repeat.
  const MouseRow* held_row_ = nullptr;
  MousePoint held_point_{};
  RepeatClock held_repeats_ = RepeatClock::SIMULATED;
  int64_t held_frames_ = 0;
  int64_t next_repeat_ = 1;
};

}  // namespace host
