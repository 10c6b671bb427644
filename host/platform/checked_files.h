// The files the host reads because a user named them (a scenario, a plan, a file a scenario
// copies) and the files it writes as a command's outputs. What comes in is checked on the open
// descriptor before a byte is read: /dev/zero never ends, a FIFO's open waits for a writer, a
// folder has no text, and a huge file would be read whole into memory. What goes out is written
// whole or not at all, and never through a link someone planted in the output folder.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace host {

// A file refused or failed, with a message that names it and says why.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest scenario, and the largest file a scenario's commands read: far beyond any the
// host or a user writes, small enough to read whole.
inline constexpr std::size_t MAX_SCENARIO_FILE_BYTES = 4 * 1024 * 1024;

// What an input file is to the user, for the messages: "the scenario file", "a scenario".
struct InputKind {
  const char* the_file;  // "the plan file"
  const char* one;       // "a plan"
  std::size_t max_bytes;
};

// The bytes of `path`, which must be a regular file (a link to one is followed) of at most
// `kind.max_bytes`. Opened without blocking, checked on the open descriptor (so nothing can be
// swapped in between a check and the open), and read no further than one byte past the limit.
// Throws FileError: "PATH: not a plain file (a FIFO); a plan is a file of at most 512 KiB",
// "PATH: the plan file is larger than 512 KiB", "PATH: cannot read the plan file: REASON".
std::string read_input_file(const std::filesystem::path& path, const InputKind& kind);

// What `path` is when something other than a plain file stands there ("a FIFO", "a device",
// "a folder", "a socket"; a link is followed), or nothing (a plain file, or nothing at all). For
// the files handed to others by name (a module to the loader, a trace to a stream), whose open
// would wait on a FIFO: a look first, since they cannot be checked on a descriptor of ours.
std::optional<std::string> not_a_plain_file(const std::filesystem::path& path);

// Writes `bytes` as the file `path`, whole or not at all: into a temporary beside it, created
// exclusively (a link or file planted under that name is never written through), then renamed
// over `path`, which replaces a link standing there rather than the file it points to. On any
// failure (a full disk, a file-size limit: EFBIG) the temporary is removed, the old file stays,
// and FileError says "cannot write PATH: REASON".
void write_output_file(const std::filesystem::path& path, std::string_view bytes);

}  // namespace host
