// The store's file operations, behind one narrow interface that each platform implements once
// (durable_file_posix.cpp, durable_file_windows.cpp). Everything the waypoint file's safety rests
// on lives below it:
//
// - Only regular files are opened for reading. A FIFO or a device in the place of the waypoint
//   file or the plan would block the open, or never end a read, inside a frame.
// - New files are created exclusively: an existing file, or a symlink pointing out of the
//   folder, is never written through. A file meant to replace another (the waypoint file) is
//   written under a temporary name of its writer's own, unique to the process and the write:
//   two writers on one folder (two simulators, two hosts, a module loaded twice) never touch,
//   remove or rename each other's temporaries, so neither can put the other's half-written
//   file in place. Temporaries a killed process left are removed once they are old.
// - A read or write error is remembered in the file and never taken for the end of the file, so
//   a file that could not be read whole is known as such.
// - A replacement is made durable: the new file is flushed to disk before it is renamed over the
//   old one, and the folder after the rename, so a power cut leaves the old file or the new one.
// - Reading and writing go through a buffer inside StoreFile: nothing is allocated.
//
// Names are relative to the working folder and have no folder part.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t STORE_FILE_BUFFER = 4096;
constexpr int STORE_FILE_END = -1;  // what read_byte gives at the end of the file or on an error

struct StoreFile {
  intptr_t handle = -1;      // the platform's handle of the open file; -1 when none is open
  bool failed = false;       // a read or write failed: what was read is not the whole file
  bool at_end = false;       // the end of the file was reached
  bool writing = false;      // the buffer holds bytes still to be written
  std::size_t position = 0;  // next byte of the buffer to read
  std::size_t length = 0;    // bytes in the buffer
  unsigned char buffer[STORE_FILE_BUFFER];
};

enum OpenResult : int {
  FILE_OPENED,   // a regular file, open for reading
  FILE_ABSENT,   // nothing of that name
  FILE_REFUSED,  // something of that name that is not a readable regular file
};

// Opens `name` for reading when it is a regular file (a link to one is followed).
OpenResult open_for_reading(StoreFile& file, const char* name);

// Creates `name` anew for writing and reading back: a stale file or link of that name is removed
// first (a link is removed itself, never followed), and the creation fails rather than open
// anything that appears there meanwhile. A folder of that name is left alone and fails it.
bool create_exclusively(StoreFile& file, const char* name);

// Refills the buffer from the file and returns its first byte, or STORE_FILE_END at the end of
// the file or after an error (then `failed`).
int read_byte_refilling(StoreFile& file);

// The next byte, or STORE_FILE_END at the end of the file or after an error (then `failed`).
// Inline: the readers take files a byte at a time.
inline int read_byte(StoreFile& file) {
  if (file.position < file.length) return file.buffer[file.position++];
  return read_byte_refilling(file);
}
// Gives back the byte that read_byte has just returned, so that it is read again.
void unread_byte(StoreFile& file);
// Copies up to `capacity` bytes that are neither CR nor LF from what the buffer holds, stopping
// before the first CR or LF; returns how many (none when the buffer is empty: read_byte then
// refills it). For the line reader (text_lines.h).
std::size_t take_ordinary_bytes(StoreFile& file, char* to, std::size_t capacity);

// A temporary's name: its prefix, the process's id and a number ("WAYPOINTS.NEW-4242-17").
constexpr std::size_t STORE_TEMPORARY_NAME = 64;
struct TemporaryName {
  char text[STORE_TEMPORARY_NAME];
};
// Names tried before create_temporary gives up: the next number is tried when a name is taken.
constexpr unsigned STORE_TEMPORARY_ATTEMPTS = 100;

// Creates a new file for writing and reading back under the name `prefix` + "PID-NUMBER", the
// number from `first_number` on: a name that is taken (another copy of the module in this very
// process, something planted there) is left alone and the next number tried. Nothing already
// there is removed, opened or followed. False, with `name` empty, when no name could be created.
bool create_temporary(StoreFile& file, const char* prefix, unsigned first_number,
                      TemporaryName& name);

// Removes the files whose names start with `prefix` and that were last written more than
// `age_seconds` ago: temporaries of a process killed part way through its write. A live
// writer's temporary is a few seconds old at most, so it is never taken.
void remove_stale_temporaries(const char* prefix, long age_seconds);

// Buffers `count` bytes for writing; false once any write has failed.
bool write_bytes(StoreFile& file, const char* bytes, std::size_t count);
// Writes what is buffered and starts reading from the beginning of the file.
bool rewind_for_reading(StoreFile& file);
// Writes what is buffered and flushes the file to the disk.
bool flush_to_disk(StoreFile& file);
// Closes the file; false when anything done with it failed, the close included.
bool close_file(StoreFile& file);

// Renames `from` over `to` in one step, then flushes the folder so the rename itself survives
// a power cut. False when the rename failed (both files are then as they were). Readers of `to`
// see the old file or the new one, never neither: on Windows a replace that a reader's open
// handle holds up for a moment is tried again, and a reader's open that a replace holds up for a
// moment is too (open_for_reading), rather than either being taken for a failure.
bool replace_file(const char* from, const char* to);
// Removes `name` (a link itself, not what it points to); nothing when it is not there.
void remove_file(const char* name);
