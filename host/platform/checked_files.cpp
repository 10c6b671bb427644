#include "host/platform/checked_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace host {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
using FileStatus = struct _stat64;
int open_to_read(const fs::path& path) {
  return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
int open_new(const fs::path& path) {
  return ::_wopen(path.c_str(), _O_WRONLY | _O_BINARY | _O_CREAT | _O_EXCL | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}
int status_of(int fd, FileStatus& status) {
  return ::_fstat64(fd, &status);
}
long long read_from(int fd, char* to, std::size_t count) {
  return ::_read(fd, to, static_cast<unsigned>(count));
}
long long write_to(int fd, const char* from, std::size_t count) {
  return ::_write(fd, from, static_cast<unsigned>(count));
}
int close_fd(int fd) {
  return ::_close(fd);
}
bool is_regular(const FileStatus& status) {
  return (status.st_mode & _S_IFMT) == _S_IFREG;
}
const char* kind_of(const FileStatus& status) {
  return (status.st_mode & _S_IFMT) == _S_IFDIR ? "a folder" : "a device";
}
// Replaces `to` (a link there itself, not what it points to) in one step.
bool rename_over(const fs::path& from, const fs::path& to) {
  return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}
#else
using FileStatus = struct stat;
int open_to_read(const fs::path& path) {
  // Non-blocking, so that the open of a FIFO returns at once; a regular file ignores the flag.
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}
int open_new(const fs::path& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                0666);
}
int status_of(int fd, FileStatus& status) {
  return ::fstat(fd, &status);
}
long long read_from(int fd, char* to, std::size_t count) {
  ssize_t got = 0;
  do {
    got = ::read(fd, to, count);
  } while (got < 0 && errno == EINTR);
  return got;
}
long long write_to(int fd, const char* from, std::size_t count) {
  ssize_t written = 0;
  do {
    written = ::write(fd, from, count);
  } while (written < 0 && errno == EINTR);
  return written;
}
int close_fd(int fd) {
  return ::close(fd);
}
bool is_regular(const FileStatus& status) {
  return S_ISREG(status.st_mode);
}
const char* kind_of(const FileStatus& status) {
  if (S_ISDIR(status.st_mode)) return "a folder";
  if (S_ISFIFO(status.st_mode)) return "a FIFO";
  if (S_ISSOCK(status.st_mode)) return "a socket";
  return "a device";
}
bool rename_over(const fs::path& from, const fs::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}
#endif

// Closes the descriptor however the reading ends.
class OpenDescriptor {
 public:
  explicit OpenDescriptor(int fd) : fd_(fd) {}
  ~OpenDescriptor() {
    if (fd_ >= 0) close_fd(fd_);
  }
  OpenDescriptor(const OpenDescriptor&) = delete;
  OpenDescriptor& operator=(const OpenDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes it now; false when the close reported an error (a deferred write that failed).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return close_fd(fd) == 0;
  }

 private:
  int fd_;
};

std::string kib(std::size_t bytes) {
  return std::to_string(bytes / 1024) + " KiB";
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const long long written = write_to(fd, bytes.data(), bytes.size());
    if (written <= 0) throw FileError(written < 0 ? std::strerror(errno) : "nothing written");
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

std::string read_input_file(const fs::path& path, const InputKind& kind) {
  const std::string label = path.string();
  const std::string cannot = label + ": cannot read " + kind.the_file + ": ";
  OpenDescriptor file(open_to_read(path));
  if (file.get() < 0) throw FileError(cannot + std::strerror(errno));
  FileStatus status{};
  if (status_of(file.get(), status) != 0) throw FileError(cannot + std::strerror(errno));
  if (!is_regular(status)) {
    throw FileError(label + ": not a plain file (" + kind_of(status) + "); " + kind.one +
                    " is a file of at most " + kib(kind.max_bytes));
  }
  const std::string too_large =
      label + ": " + kind.the_file + " is larger than " + kib(kind.max_bytes);
  if (status.st_size < 0 || static_cast<unsigned long long>(status.st_size) > kind.max_bytes) {
    throw FileError(too_large);
  }
  // One byte more than the limit tells a file that grew since the look at its size.
  std::string text(static_cast<std::size_t>(status.st_size) + 1, '\0');
  std::size_t length = 0;
  for (;;) {
    if (length == text.size()) {
      if (text.size() > kind.max_bytes) throw FileError(too_large);
      text.resize(std::min(text.size() * 2, kind.max_bytes + 1));
    }
    const long long got = read_from(file.get(), text.data() + length, text.size() - length);
    if (got < 0) throw FileError(cannot + std::strerror(errno));
    if (got == 0) break;
    length += static_cast<std::size_t>(got);
  }
  text.resize(length);
  return text;
}

std::optional<std::string> not_a_plain_file(const fs::path& path) {
  std::error_code error;
  switch (fs::status(path, error).type()) {
    case fs::file_type::regular:
    case fs::file_type::not_found:
    case fs::file_type::none:
      return std::nullopt;
    case fs::file_type::directory:
      return "a folder";
    case fs::file_type::fifo:
      return "a FIFO";
    case fs::file_type::socket:
      return "a socket";
    default:
      return "a device";
  }
}

void write_output_file(const fs::path& path, std::string_view bytes) {
  fs::path temporary = path;
  temporary += ".partial";
  std::error_code ignored;
  // A temporary left by a run that was killed goes first (a link as a link, never followed).
  fs::remove(temporary, ignored);
  try {
    OpenDescriptor file(open_new(temporary));
    if (file.get() < 0) throw FileError(std::strerror(errno));
    write_all(file.get(), bytes);
    if (!file.close()) throw FileError(std::strerror(errno));
    if (!rename_over(temporary, path)) throw FileError(std::strerror(errno));
  } catch (const FileError& reason) {
    fs::remove(temporary, ignored);
    throw FileError("cannot write " + path.string() + ": " + reason.what());
  }
}

}  // namespace host
