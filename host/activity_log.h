// What the module did that a pilot would notice besides the panel itself: the key events it
// sent (and the host events of clicked rows) and the sound files it asked to play. Each record
// goes to two lists: one since the scenario's current command began, one since the last frame
// was written to the trace.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct KeyEvent {
  uint32_t event_id = 0;
  uint32_t value = 0;
  bool from_mouse_row = false;  // sent by the host for a clicked row that names a host event

  bool operator==(const KeyEvent&) const = default;
};

struct Activity {
  std::vector<KeyEvent> events;
  std::vector<std::string> sounds;

  void clear() {
    events.clear();
    sounds.clear();
  }
};

class ActivityLog {
 public:
  void record_event(const KeyEvent& event) {
    since_command_.events.push_back(event);
    since_frame_.events.push_back(event);
  }
  void record_sound(const std::string& path) {
    since_command_.sounds.push_back(path);
    since_frame_.sounds.push_back(path);
  }

  const Activity& since_command() const { return since_command_; }
  const Activity& since_frame() const { return since_frame_; }
  void start_command() { since_command_.clear(); }
  void frame_written() { since_frame_.clear(); }

 private:
  Activity since_command_;
  Activity since_frame_;
};

}  // namespace host
