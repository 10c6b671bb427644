// The store's file operations on POSIX systems (see durable_file.h for what they promise).
#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "store/durable_file.h"

namespace {

int descriptor(const StoreFile& file) {
  return static_cast<int>(file.handle);
}

// Files are created readable and writable by everyone the umask allows, as fopen creates them.
constexpr mode_t NEW_FILE_MODE = 0666;

// Writes the whole buffer, going on after partial writes and interruptions.
bool write_buffer(StoreFile& file) {
  std::size_t written = 0;
  while (written < file.length && !file.failed) {
    const ssize_t count = ::write(descriptor(file), file.buffer + written, file.length - written);
    if (count > 0) {
      written += static_cast<std::size_t>(count);
    } else if (count < 0 && errno != EINTR) {
      file.failed = true;
    } else if (count == 0) {
      file.failed = true;  // a write that takes nothing would never end
    }
  }
  file.length = 0;
  file.position = 0;
  file.writing = false;
  return !file.failed;
}

bool write_pending(StoreFile& file) {
  return file.writing ? write_buffer(file) : !file.failed;
}

// Refills the buffer from the file; false at the end or on an error.
bool fill_buffer(StoreFile& file) {
  file.position = 0;
  file.length = 0;
  ssize_t count = 0;
  do {
    count = ::read(descriptor(file), file.buffer, sizeof file.buffer);
  } while (count < 0 && errno == EINTR);
  if (count < 0) {
    file.failed = true;
    return false;
  }
  if (count == 0) {
    file.at_end = true;
    return false;
  }
  file.length = static_cast<std::size_t>(count);
  return true;
}

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

bool create_exclusively(StoreFile& file, const char* name) {
  file = StoreFile{};
  // A stale temporary (left by a process that was killed) is removed, a link as a link; a folder
  // stays, and then the creation below fails.
  remove_file(name);
  const int fd =
      ::open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, NEW_FILE_MODE);
  if (fd < 0) return false;
  start(file, fd);
  return true;
}

int read_byte_refilling(StoreFile& file) {
  if (file.failed || file.at_end || !write_pending(file) || !fill_buffer(file)) {
    return STORE_FILE_END;
  }
  return file.buffer[file.position++];
}

void unread_byte(StoreFile& file) {
  if (file.position > 0) --file.position;
}

bool write_bytes(StoreFile& file, const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count && !file.failed; ++i) {
    if (file.length == sizeof file.buffer && !write_buffer(file)) break;
    file.buffer[file.length++] = static_cast<unsigned char>(bytes[i]);
    file.position = file.length;  // bytes waiting to be written are not there to be read
    file.writing = true;
  }
  return !file.failed;
}

bool rewind_for_reading(StoreFile& file) {
  if (!write_pending(file)) return false;
  if (::lseek(descriptor(file), 0, SEEK_SET) != 0) file.failed = true;
  file.position = 0;
  file.length = 0;
  file.at_end = false;
  return !file.failed;
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
