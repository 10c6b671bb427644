#if defined(_WIN32)
#include <windows.h>

#include <random>
#include <system_error>

#include "host/platform/platform.h"

namespace host {

namespace {

std::string last_error_text() {
  const DWORD code = GetLastError();
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message.empty() ? "Windows error " + std::to_string(code) : message;
}

}  // namespace

// Windows keeps one copy of a library per name in a process: a later LoadLibrary by the bare
// name ("GaugeSound.dll") finds the copy loaded here whatever its folder, so both scopes load
// alike. The flag makes a library's own dependencies come from its folder first.
void* load_library(const std::filesystem::path& path, LibraryScope, std::string& error) {
  HMODULE library = LoadLibraryExW(std::filesystem::absolute(path).c_str(), nullptr,
                                   LOAD_WITH_ALTERED_SEARCH_PATH);
  if (library == nullptr) error = "cannot load " + path.string() + ": " + last_error_text();
  return reinterpret_cast<void*>(library);
}

void* library_symbol(void* library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void free_library(void* library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

std::filesystem::path program_folder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::filesystem::current_path();
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

std::filesystem::path make_temporary_folder(const std::string& prefix) {
  // Creating a folder fails when its name is taken, so the name is ours once it succeeds.
  std::random_device seed;
  std::mt19937_64 names(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate = base / (prefix + std::to_string(names() % 1000000000));
    if (CreateDirectoryW(candidate.c_str(), nullptr)) return candidate;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw std::filesystem::filesystem_error(
      "cannot make a temporary working folder", base,
      std::error_code(static_cast<int>(GetLastError()), std::system_category()));
}

std::string utf8_path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace host
#endif
