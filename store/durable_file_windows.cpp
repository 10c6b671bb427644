// The store's file operations on Windows (see durable_file.h for what they promise), on the
// Win32 file calls: raw handles, so the files hold exactly the bytes written (no text-mode line
// ends) and nothing is allocated.
#if defined(_WIN32)

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "store/durable_file.h"
#include "store/durable_file_platform.h"

namespace {

HANDLE handle_of(const StoreFile& file) {
  return reinterpret_cast<HANDLE>(file.handle);  // INVALID_HANDLE_VALUE is -1, as "none"
}

void start(StoreFile& file, HANDLE handle) {
  file = StoreFile{};
  file.handle = reinterpret_cast<intptr_t>(handle);
}

// While a file is being replaced, an open of it or a second replace of it fails for a moment
// (a sharing violation, or "access denied" while the old file is on its way out); so does a
// replace while a reader holds the old file. Each such failure is over within a read of the
// file, so the call is tried again, a millisecond apart, before it counts. A reader tries fewer
// times: "access denied" may also be for good (a file the user may not read), and the
// alignment check reads the file on every frame.
constexpr int READ_BUSY_ATTEMPTS = 5;
constexpr int REPLACE_BUSY_ATTEMPTS = 20;

bool busy_for_a_moment(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

HANDLE open_existing_for_reading(const char* name) {
  // Others may go on reading, writing and replacing the file while it is open here. A folder
  // does not open without backup semantics, so it is refused.
  for (int attempt = 1;; ++attempt) {
    HANDLE handle =
        CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || attempt == READ_BUSY_ATTEMPTS) return handle;
    const DWORD error = GetLastError();
    if (!busy_for_a_moment(error)) return handle;
    Sleep(1);
    SetLastError(error);
  }
}

// A file time as a count of seconds.
unsigned long long seconds_of(const FILETIME& time) {
  ULARGE_INTEGER ticks{};
  ticks.LowPart = time.dwLowDateTime;
  ticks.HighPart = time.dwHighDateTime;
  return ticks.QuadPart / 10000000ULL;  // 100-nanosecond ticks
}

}  // namespace

OpenResult open_for_reading(StoreFile& file, const char* name) {
  file = StoreFile{};
  // A device or a pipe opens but is not a disk file. A file still busy after the retries is
  // refused, never taken for an absent or an empty one.
  HANDLE handle = open_existing_for_reading(name);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FILE_ABSENT
                                                                          : FILE_REFUSED;
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return FILE_REFUSED;
  }
  start(file, handle);
  return FILE_OPENED;
}

CreateResult create_new_file(StoreFile& file, const char* name) {
  file = StoreFile{};
  // CREATE_NEW fails rather than open anything there, and opens a link's target never. A folder
  // of that name gives "access denied": taken as well.
  HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool taken =
        error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
    return taken ? NEW_NAME_TAKEN : NEW_FILE_FAILED;
  }
  start(file, handle);
  return NEW_FILE_CREATED;
}

bool create_exclusively(StoreFile& file, const char* name) {
  // A stale file of that name is removed, a link as a link; a folder stays, and then the
  // creation fails.
  remove_file(name);
  return create_new_file(file, name) == NEW_FILE_CREATED;
}

unsigned long current_process_id() {
  return GetCurrentProcessId();
}

void remove_stale_temporaries(const char* prefix, long age_seconds) {
  char pattern[STORE_TEMPORARY_NAME + 2];
  const int length = std::snprintf(pattern, sizeof pattern, "%s*", prefix);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof pattern) return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const std::size_t prefix_length = std::strlen(prefix);
  do {
    // (The pattern also matches short 8.3 names, so the long name is checked again.)
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        std::strncmp(found.cFileName, prefix, prefix_length) != 0) {
      continue;
    }
    const unsigned long long written = seconds_of(found.ftLastWriteTime);
    const unsigned long long current = seconds_of(now);
    if (current > written && current - written > static_cast<unsigned long long>(age_seconds)) {
      remove_file(found.cFileName);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

long long read_some(StoreFile& file, unsigned char* to, std::size_t capacity) {
  DWORD count = 0;
  if (!ReadFile(handle_of(file), to, static_cast<DWORD>(capacity), &count, nullptr)) return -1;
  return count;
}

long long write_some(StoreFile& file, const unsigned char* from, std::size_t count) {
  DWORD written = 0;
  if (!WriteFile(handle_of(file), from, static_cast<DWORD>(count), &written, nullptr)) return -1;
  return written > 0 ? static_cast<long long>(written) : -1;
}

bool seek_to_start(StoreFile& file) {
  LARGE_INTEGER start_of_file{};
  return SetFilePointerEx(handle_of(file), start_of_file, nullptr, FILE_BEGIN) != 0;
}

bool flush_to_disk(StoreFile& file) {
  if (!write_pending(file)) return false;
  if (!FlushFileBuffers(handle_of(file))) file.failed = true;
  return !file.failed;
}

bool close_file(StoreFile& file) {
  if (file.handle == -1) return false;
  bool ok = write_pending(file);
  ok = CloseHandle(handle_of(file)) != 0 && ok;
  file.handle = -1;
  return ok;
}

// MoveFileEx replaces an existing file (a plain rename refuses to), and with write-through it
// returns only once the move is on the disk. It fails, leaving both files, when the target is a
// folder or is held open by another program without delete sharing; a reader's open handle or
// another writer's replace holds it up only for a moment, so that is waited out.
bool replace_file(const char* from, const char* to) {
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
      return true;
    }
    if (attempt == REPLACE_BUSY_ATTEMPTS || !busy_for_a_moment(GetLastError())) return false;
    Sleep(1);
  }
}

void remove_file(const char* name) {
  DeleteFileA(name);  // a link itself, never its target; a folder not at all
}

#endif  // _WIN32
