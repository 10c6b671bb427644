// The store's file operations on Windows (see durable_file.h for what they promise), on the
// Win32 file calls: raw handles, so the files hold exactly the bytes written (no text-mode line
// ends) and nothing is allocated.
#if defined(_WIN32)

#include <windows.h>

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

}  // namespace

OpenResult open_for_reading(StoreFile& file, const char* name) {
  file = StoreFile{};
  // Others may go on reading, writing and replacing the file while it is open here. A folder
  // does not open without backup semantics, so it is refused; a device or a pipe opens but is
  // not a disk file.
  HANDLE handle =
      CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool create_exclusively(StoreFile& file, const char* name) {
  file = StoreFile{};
  // A stale temporary (left by a process that was killed) is removed, a link as a link; a folder
  // stays, and then the creation below fails. CREATE_NEW fails rather than open anything that
  // appears there meanwhile, and opens a link's target never.
  remove_file(name);
  HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  start(file, handle);
  return true;
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
// folder or is held open by another program without delete sharing.
bool replace_file(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void remove_file(const char* name) {
  DeleteFileA(name);  // a link itself, never its target; a folder not at all
}

#endif  // _WIN32
