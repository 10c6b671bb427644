// The few raw operating-system calls under the store's buffered file layer. Each platform file
// (durable_file_posix.cpp, durable_file_windows.cpp) defines them; durable_file.cpp builds the
// buffering, the error memory and the end-of-file logic on top, once for every platform.
#pragma once

#include <cstddef>

#include "store/durable_file.h"

// Reads up to `capacity` bytes into `to`: the count read, 0 at the end of the file, -1 on an error.
long long read_some(StoreFile& file, unsigned char* to, std::size_t capacity);

// Writes up to `count` bytes from `from`: the count written (more than 0), or -1 on an error or a
// write that takes nothing (which would never end).
long long write_some(StoreFile& file, const unsigned char* from, std::size_t count);

// Moves the file's position to its first byte; false on an error.
bool seek_to_start(StoreFile& file);

enum CreateResult : int {
  NEW_FILE_CREATED,  // created, and open for writing and reading back
  NEW_NAME_TAKEN,    // something of that name is there already (left alone)
  NEW_FILE_FAILED,   // cannot be created for another reason
};
// Creates `name` as a new file, failing rather than open, follow or remove anything there.
CreateResult create_new_file(StoreFile& file, const char* name);

// The running process's id, for the names of its temporaries.
unsigned long current_process_id();

// Writes the bytes the buffer holds for writing, if any; false when the file has failed.
bool write_pending(StoreFile& file);
