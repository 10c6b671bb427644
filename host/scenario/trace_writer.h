// The JSON-lines trace of a run: one object per frame with the time, the tick, every placed
// gauge's texts, visible elements and image values, the key events and sound cues since the
// previous frame, and the panel windows open. Nothing in it depends on the machine or the
// working folder, so two runs of a scenario write the same bytes.
#pragma once

#include <filesystem>
#include <fstream>

#include "host/aircraft/sim_clock.h"
#include "host/panel/activity_log.h"
#include "host/panel/panel.h"

namespace host {

class TraceWriter {
 public:
  // Throws std::runtime_error when the file cannot be created.
  explicit TraceWriter(const std::filesystem::path& path);

  void write_frame(const Panel& panel, const SimClock& clock, const Activity& activity);
  // The record of the panel's removal (service code 12): what it sent and played.
  void write_end(const SimClock& clock, const Activity& activity);

 private:
  std::ofstream out_;
};

}  // namespace host
