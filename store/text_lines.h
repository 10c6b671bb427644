// Reading text files line by line in pieces, the same on every platform.
//
// Like fgets with a buffer of `size` bytes: a piece is at most size - 1 characters, and a line
// longer than that is returned in several pieces. A line's end is kept as a single '\n', and a
// CR directly before the LF is dropped, so files written with CRLF read exactly like files
// written with LF. A CR anywhere else stays. Returns the piece's length (what strlen would give
// but for a NUL byte inside the line), 0 at end of file with nothing read (a read error ends the
// reading like the end of the file; the source remembers it).
//
// A source is anything with read_byte(source), giving the next byte or STORE_FILE_END,
// unread_byte(source), giving back the byte just read, and take_ordinary_bytes(source, to,
// capacity), which copies a run of bytes that need no decision here (no CR, no LF) straight from
// the source's buffer and may take none: a StoreFile, or a plan's decoded text. The runs carry
// almost every byte of a file, so a line costs a few calls rather than a call per byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/durable_file.h"

template <typename Source>
std::size_t read_line_piece(Source& source, char* buffer, std::size_t size) {
  if (size == 0) return 0;
  std::size_t length = 0;
  while (length + 1 < size) {
    length += take_ordinary_bytes(source, buffer + length, size - 1 - length);
    if (length + 1 >= size) break;
    const int c = read_byte(source);
    if (c == STORE_FILE_END) break;
    if (c == '\r') {
      const int after = read_byte(source);
      if (after == '\n') {
        buffer[length++] = '\n';
        break;
      }
      if (after != STORE_FILE_END) unread_byte(source);
    } else if (c == '\n') {
      buffer[length++] = '\n';
      break;
    }
    buffer[length++] = static_cast<char>(c);
  }
  buffer[length] = '\0';
  return length;
}

// A run of one to nine decimal digits at `p` read as a number, as "%9d" and strtol read it when
// what follows is no digit (nine digits always fit 32 bits), with `p` moved past it. False, and
// `p` unmoved, for no digit or a tenth one: the caller leaves such text to the C library. The
// usual start of the numbers the module's files hold, read without the C library's machinery.
// `p` holds a byte that is no digit within its first ten (a terminator, a line end).
inline bool take_short_number(const char*& p, int32_t& value) {
  constexpr int MOST_DIGITS = 9;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  int32_t number = 0;
  int count = 0;
  while (count < MOST_DIGITS && digit(p[count])) number = number * 10 + (p[count++] - '0');
  if (count == 0 || digit(p[count])) return false;
  p += count;
  value = number;
  return true;
}
