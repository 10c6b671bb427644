// What the module did that a pilot would notice besides the panel itself: the key events it
// sent (and the host events of clicked rows) and the sound files it asked to play. Each record
// goes to two places: the list since the last frame was written to the trace (every record, in
// order; cleared every frame), and the summary of the scenario's current command, which keeps
// each distinct event and sound once with a count, so that a command of any length (a 48-hour
// `wait` with HOLD sending the steering event every frame) holds a bounded record.
#pragma once

#include <cstddef>
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

// One distinct record of a command and how often it came.
template <typename Record>
struct Tally {
  Record record;
  uint64_t count = 0;
};

// Distinct records in the order first seen, each with its count. At most MAX_DISTINCT are kept
// (a module that sent ever new values would otherwise grow the record again); later distinct
// ones are only counted.
template <typename Record>
class Tallies {
 public:
  static constexpr std::size_t MAX_DISTINCT = 1024;

  void add(const Record& record) {
    // From the newest: a long command repeats what it sent last.
    for (auto it = kept_.rbegin(); it != kept_.rend(); ++it) {
      if (it->record == record) {
        ++it->count;
        return;
      }
    }
    if (kept_.size() < MAX_DISTINCT) {
      kept_.push_back({record, 1});
    } else {
      ++not_kept_;
    }
  }
  void clear() {
    kept_.clear();  // keeps the capacity: an ordinary frame allocates nothing
    not_kept_ = 0;
  }
  const std::vector<Tally<Record>>& kept() const { return kept_; }
  // Records beyond the first MAX_DISTINCT distinct ones.
  uint64_t not_kept() const { return not_kept_; }

 private:
  std::vector<Tally<Record>> kept_;
  uint64_t not_kept_ = 0;
};

struct CommandActivity {
  Tallies<KeyEvent> events;
  Tallies<std::string> sounds;

  void clear() {
    events.clear();
    sounds.clear();
  }
};

class ActivityLog {
 public:
  void record_event(const KeyEvent& event) {
    since_command_.events.add(event);
    since_frame_.events.push_back(event);
  }
  void record_sound(const std::string& path) {
    since_command_.sounds.add(path);
    since_frame_.sounds.push_back(path);
  }

  const CommandActivity& since_command() const { return since_command_; }
  const Activity& since_frame() const { return since_frame_; }
  void start_command() { since_command_.clear(); }
  void frame_written() { since_frame_.clear(); }

 private:
  CommandActivity since_command_;
  Activity since_frame_;
};

}  // namespace host
