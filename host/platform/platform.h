// What the host needs from the operating system, in one place: loading a shared library by path,
// resolving a name in it, the program's own folder and a fresh temporary folder. POSIX in
// host/platform_posix.cpp, Windows in host/platform_windows.cpp; the rest of the host is the
// same on both.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace host {

// The gauge module and the sound library as built beside ins-host on this platform.
#if defined(_WIN32)
inline constexpr const char* MODULE_FILE_NAME = "INS.gau";
inline constexpr const char* SOUND_LIBRARY_FILE_NAME = "GaugeSound.dll";
#else
inline constexpr const char* MODULE_FILE_NAME = "INS.so";
inline constexpr const char* SOUND_LIBRARY_FILE_NAME = "GaugeSound.so";
#endif

// How a library's names are seen by the libraries loaded after it.
enum class LibraryScope {
  own,     // its names stay its own (a gauge module: one module's names never meet another's)
  shared,  // a later look-up by the library's name finds this very copy (the sound library)
};

// Loads the library at `path`; null on failure, with the loader's reason in `error`.
void* load_library(const std::filesystem::path& path, LibraryScope scope, std::string& error);
// The address of `name` in `library`, or null.
void* library_symbol(void* library, const char* name);
// Drops the reference `load_library` gave; ignores null.
void free_library(void* library);

// The folder of the running program (where ins-host, the module and the sound library are built).
std::filesystem::path program_folder();

// Makes a new, empty folder under the system's temporary folder, named `prefix` and a unique
// ending. Throws std::filesystem::filesystem_error when it cannot.
std::filesystem::path make_temporary_folder(const std::string& prefix);

// Opens the lock file at `path` (creating it) and takes its lock without waiting: an advisory
// lock (flock on POSIX, LockFileEx on Windows) that lasts as long as the handle, so it ends with
// the process however the process ends. Taken, the file's text becomes `note` and the handle is
// returned; held by another process, -1 is returned with that one's note in `holder`. Throws
// std::filesystem::filesystem_error when the file cannot be opened or locked at all.
std::intptr_t lock_file(const std::filesystem::path& path, const std::string& note,
                        std::string& holder);
// Drops the lock `lock_file` took and closes its file; ignores -1.
void unlock_file(std::intptr_t handle);

// This process, as another one is told about it: "process 1234: ins-host serve --workdir w".
std::string own_process_description();

// A path as UTF-8 bytes, for the C interfaces that take `const char*` (the sound library's).
std::string utf8_path(const std::filesystem::path& path);

}  // namespace host
