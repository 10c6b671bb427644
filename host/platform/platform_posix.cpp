#if !defined(_WIN32)
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include "host/platform/platform.h"

namespace host {

void* load_library(const std::filesystem::path& path, LibraryScope scope, std::string& error) {
  // RTLD_GLOBAL makes the library's soname known to later dlopen calls by name.
  const int mode = RTLD_NOW | (scope == LibraryScope::shared ? RTLD_GLOBAL : RTLD_LOCAL);
  void* library = dlopen(path.c_str(), mode);
  if (library == nullptr) {
    const char* message = dlerror();
    error = message != nullptr ? message : "cannot load " + path.string();
  }
  return library;
}

void* library_symbol(void* library, const char* name) {
  return library != nullptr ? dlsym(library, name) : nullptr;
}

void free_library(void* library) {
  if (library != nullptr) dlclose(library);
}

std::filesystem::path program_folder() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::current_path();
  return self.parent_path();
}

std::filesystem::path make_temporary_folder(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::filesystem::filesystem_error("cannot make a temporary working folder", pattern,
                                            std::error_code(errno, std::generic_category()));
  }
  return pattern;
}

namespace {

[[noreturn]] void throw_lock_error(const std::string& what, const std::filesystem::path& path) {
  throw std::filesystem::filesystem_error(what, path,
                                          std::error_code(errno, std::generic_category()));
}

}  // namespace

std::intptr_t lock_file(const std::filesystem::path& path, const std::string& note,
                        std::string& holder) {
  // Not followed when it is a link, and not inherited by programs this one starts.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) throw_lock_error("cannot open the lock file", path);
  int locked = 0;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int reason = errno;
    if (reason == EWOULDBLOCK) {
      char text[1024];
      const ssize_t length = ::pread(fd, text, sizeof text, 0);
      holder.assign(text, length > 0 ? static_cast<std::size_t>(length) : 0);
    }
    ::close(fd);
    errno = reason;
    if (reason == EWOULDBLOCK) return -1;
    throw_lock_error("cannot lock the lock file", path);
  }
  // The note is for the message that refuses another process; the lock holds without it.
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, note.data(), note.size(), 0);
  }
  return fd;
}

void unlock_file(std::intptr_t handle) {
  if (handle >= 0) ::close(static_cast<int>(handle));  // the lock goes with the descriptor
}

std::string own_process_description() {
  // The command line's words, NUL-separated; the program's own folder is left out.
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string words((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!words.empty() && words.back() == '\0') words.pop_back();
  const std::size_t program_end = words.find('\0');
  const std::size_t slash = words.rfind('/', program_end);
  if (slash != std::string::npos) words.erase(0, slash + 1);
  for (char& c : words) {
    if (c == '\0') c = ' ';
  }
  return "process " + std::to_string(::getpid()) + (words.empty() ? "" : ": " + words);
}

std::string utf8_path(const std::filesystem::path& path) {
  return path.string();
}

}  // namespace host
#endif
