// The store's file operations on POSIX systems (see durable_file.h for what they promise).
#if !defined(_WIN32)

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "store/durable_file.h"
#include "store/durable_file_platform.h"

namespace {

int descriptor(const StoreFile& file) {
  return static_cast<int>(file.handle);
}

// Files are created readable and writable by everyone the umask allows, as fopen creates them.
constexpr mode_t NEW_FILE_MODE = 0666;

void start(StoreFile& file, int fd) {
  file = StoreFile{};
  file.handle = fd;
}

}  // namespace

OpenResult open_for_reading(StoreFile& file, const char* name) {
  file = StoreFile{};
  // Non-blocking, so that opening a FIFO returns at once; a regular file ignores the flag.
  const int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? FILE_ABSENT : FILE_REFUSED;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return FILE_REFUSED;
  }
  start(file, fd);
  return FILE_OPENED;
}

CreateResult create_new_file(StoreFile& file, const char* name) {
  file = StoreFile{};
  // O_EXCL fails on anything of that name, a dangling link included, and follows no link.
  const int fd =
      ::open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, NEW_FILE_MODE);
  if (fd < 0) return errno == EEXIST ? NEW_NAME_TAKEN : NEW_FILE_FAILED;
  start(file, fd);
  return NEW_FILE_CREATED;
}

bool create_exclusively(StoreFile& file, const char* name) {
  // A stale file of that name is removed, a link as a link; a folder stays, and then the
  // creation fails.
  remove_file(name);
  return create_new_file(file, name) == NEW_FILE_CREATED;
}

unsigned long current_process_id() {
  return static_cast<unsigned long>(::getpid());
}

// (opendir takes its buffer from the heap: this runs once per rewrite, never on an ordinary
// frame.)
void remove_stale_temporaries(const char* prefix, long age_seconds) {
  DIR* folder = ::opendir(".");
  if (folder == nullptr) return;
  const std::size_t prefix_length = std::strlen(prefix);
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(folder)) {
    if (std::strncmp(entry->d_name, prefix, prefix_length) != 0) continue;
    struct stat status {};
    if (::lstat(entry->d_name, &status) != 0 || S_ISDIR(status.st_mode)) continue;
    if (now - status.st_mtime > age_seconds) remove_file(entry->d_name);
  }
  ::closedir(folder);
}

long long read_some(StoreFile& file, unsigned char* to, std::size_t capacity) {
  ssize_t count = 0;
  do {
    count = ::read(descriptor(file), to, capacity);
  } while (count < 0 && errno == EINTR);
  return count < 0 ? -1 : count;
}

long long write_some(StoreFile& file, const unsigned char* from, std::size_t count) {
  ssize_t written = 0;
  do {
    written = ::write(descriptor(file), from, count);
  } while (written < 0 && errno == EINTR);
  return written > 0 ? written : -1;
}

bool seek_to_start(StoreFile& file) {
  return ::lseek(descriptor(file), 0, SEEK_SET) == 0;
}

bool flush_to_disk(StoreFile& file) {
  if (!write_pending(file)) return false;
  if (::fsync(descriptor(file)) != 0) file.failed = true;
  return !file.failed;
}

bool close_file(StoreFile& file) {
  if (file.handle < 0) return false;
  bool ok = write_pending(file);
  // A close that reports an error (a network file system's deferred write) counts as a failure;
  // the descriptor is gone either way, so it is not closed again.
  ok = ::close(descriptor(file)) == 0 && ok;
  file.handle = -1;
  return ok;
}

bool replace_file(const char* from, const char* to) {
  if (std::rename(from, to) != 0) return false;
  // The rename is done and visible; flushing the folder makes it durable. Where the folder cannot
  // be flushed (some file systems refuse it), a power cut still leaves the old file or the new
  // one whole, which is all the rename promises, so the replacement stands.
  const int folder = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

void remove_file(const char* name) {
  ::unlink(name);
}

#endif  // !_WIN32
