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

namespace {

// The lock covers one byte far beyond the file's end: a lock on Windows keeps others from
// reading the bytes it covers, and the note must stay readable to the process refused.
OVERLAPPED lock_region() {
  OVERLAPPED region{};
  region.OffsetHigh = 0x40000000;
  return region;
}

[[noreturn]] void throw_lock_error(const std::string& what, const std::filesystem::path& path) {
  throw std::filesystem::filesystem_error(
      what + ": " + last_error_text(), path,
      std::error_code(static_cast<int>(GetLastError()), std::system_category()));
}

}  // namespace

std::intptr_t lock_file(const std::filesystem::path& path, const std::string& note,
                        std::string& holder) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw_lock_error("cannot open the lock file", path);
  OVERLAPPED region = lock_region();
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region)) {
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
      char text[1024];
      DWORD length = 0;
      if (!ReadFile(file, text, sizeof text, &length, nullptr)) length = 0;
      holder.assign(text, length);
      CloseHandle(file);
      return -1;
    }
    CloseHandle(file);
    SetLastError(error);
    throw_lock_error("cannot lock the lock file", path);
  }
  // The note is for the message that refuses another process; the lock holds without it.
  DWORD written = 0;
  if (SetEndOfFile(file)) {
    WriteFile(file, note.data(), static_cast<DWORD>(note.size()), &written, nullptr);
  }
  return reinterpret_cast<std::intptr_t>(file);
}

void unlock_file(std::intptr_t handle) {
  if (handle == -1) return;
  HANDLE file = reinterpret_cast<HANDLE>(handle);
  OVERLAPPED region = lock_region();
  UnlockFileEx(file, 0, 1, 0, &region);
  CloseHandle(file);
}

std::string own_process_description() {
  const wchar_t* line = GetCommandLineW();
  const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  std::string words(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, line, -1, words.data(), size, nullptr, nullptr);
  while (!words.empty() && (words.back() == '\0' || words.back() == ' ')) words.pop_back();
  return "process " + std::to_string(GetCurrentProcessId()) + (words.empty() ? "" : ": " + words);
}

}  // namespace host
#endif
