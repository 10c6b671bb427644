// The store's buffered file layer, the same on every platform: the buffer inside StoreFile (no
// allocation), a failure remembered so that it is never taken for the end of the file, and bytes
// waiting to be written never read back. The raw calls beneath are durable_file_platform.h's.
#include "store/durable_file.h"

#include <cstdio>
#include <cstring>

#include "store/durable_file_platform.h"

namespace {

// Writes the whole buffer, going on after partial writes.
bool write_buffer(StoreFile& file) {
  std::size_t written = 0;
  while (written < file.length && !file.failed) {
    const long long count = write_some(file, file.buffer + written, file.length - written);
    if (count > 0) {
      written += static_cast<std::size_t>(count);
    } else {
      file.failed = true;
    }
  }
  file.length = 0;
  file.position = 0;
  file.writing = false;
  return !file.failed;
}

// Refills the buffer from the file; false at the end or on an error.
bool fill_buffer(StoreFile& file) {
  file.position = 0;
  file.length = 0;
  const long long count = read_some(file, file.buffer, sizeof file.buffer);
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

}  // namespace

bool write_pending(StoreFile& file) {
  return file.writing ? write_buffer(file) : !file.failed;
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

// Two memchr runs (the C library scans many bytes a step) find the first line end, and one
// copy takes the bytes before it: a line costs a few calls whatever its length.
std::size_t take_ordinary_bytes(StoreFile& file, char* to, std::size_t capacity) {
  const std::size_t available = file.length - file.position;  // none while bytes wait to be written
  std::size_t count = available < capacity ? available : capacity;
  const unsigned char* from = file.buffer + file.position;
  if (const void* lf = std::memchr(from, '\n', count)) {
    count = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - from);
  }
  if (const void* cr = std::memchr(from, '\r', count)) {
    count = static_cast<std::size_t>(static_cast<const unsigned char*>(cr) - from);
  }
  if (count > 0) std::memcpy(to, from, count);
  file.position += count;
  return count;
}

bool write_bytes(StoreFile& file, const char* bytes, std::size_t count) {
  std::size_t done = 0;
  while (done < count && !file.failed) {
    if (file.length == sizeof file.buffer && !write_buffer(file)) break;
    const std::size_t room = sizeof file.buffer - file.length;
    const std::size_t chunk = count - done < room ? count - done : room;
    std::memcpy(file.buffer + file.length, bytes + done, chunk);
    file.length += chunk;
    done += chunk;
    file.position = file.length;  // bytes waiting to be written are not there to be read
    file.writing = true;
  }
  return !file.failed;
}

bool rewind_for_reading(StoreFile& file) {
  if (!write_pending(file)) return false;
  if (!seek_to_start(file)) file.failed = true;
  file.position = 0;
  file.length = 0;
  file.at_end = false;
  return !file.failed;
}

namespace {

bool format_temporary_name(TemporaryName& name, const char* prefix, unsigned number) {
  const int length =
      std::snprintf(name.text, sizeof name.text, "%s%lu-%u", prefix, current_process_id(), number);
  return length > 0 && static_cast<std::size_t>(length) < sizeof name.text;
}

}  // namespace

bool create_temporary(StoreFile& file, const char* prefix, unsigned first_number,
                      TemporaryName& name) {
  file = StoreFile{};
  for (unsigned attempt = 0; attempt < STORE_TEMPORARY_ATTEMPTS; ++attempt) {
    if (!format_temporary_name(name, prefix, first_number + attempt)) break;
    const CreateResult created = create_new_file(file, name.text);
    if (created == NEW_FILE_CREATED) return true;
    if (created != NEW_NAME_TAKEN) break;
  }
  name.text[0] = '\0';
  return false;
}
