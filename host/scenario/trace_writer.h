// The JSON-lines trace of a run: one object per frame with the time, the tick, every placed
// gauge's texts, visible elements and image values, the key events and sound cues since the
// previous frame, and the panel windows open. Nothing in it depends on the machine or the
// working folder, so two runs of a scenario write the same bytes.
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/aircraft/sim_clock.h"
#include "host/panel/activity_log.h"
#include "host/panel/panel.h"

namespace host {

// The trace could not be written (a full disk, a file-size limit): "cannot write the trace
// PATH: REASON".
class TraceWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TraceWriter {
 public:
  // Throws std::runtime_error when the file cannot be created, or is not a plain file.
  explicit TraceWriter(const std::filesystem::path& path);

  // Throws TraceWriteError when the record could not be written.
  void write_frame(const Panel& panel, const SimClock& clock, const Activity& activity);
  // The record of the panel's removal (service code 12): what it sent and played. It is written
  // as the runner ends (from its destructor too), so it throws nothing: `failure` tells.
  void write_end(const SimClock& clock, const Activity& activity);
  // Why the trace is not whole, once a write failed.
  const std::optional<std::string>& failure() const { return failure_; }

 private:
  static std::ofstream open_plain_file(const std::filesystem::path& path);
  // Writes one record as a line (flushed if asked); false (and `failure_` set) when it or an
  // earlier one failed.
  bool write_line(const std::string& line, bool flush);

  std::filesystem::path path_;
  std::ofstream out_;
  std::optional<std::string> failure_;
};

}  // namespace host
