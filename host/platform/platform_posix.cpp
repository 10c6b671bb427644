#if !defined(_WIN32)
#include <dlfcn.h>
#include <stdlib.h>

#include <cerrno>
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

std::string utf8_path(const std::filesystem::path& path) {
  return path.string();
}

}  // namespace host
#endif
