// Reading text files line by line in pieces, the same on every platform.
//
// Like fgets with a buffer of `size` bytes: a piece is at most size - 1 characters, and a line
// longer than that is returned in several pieces. A line's end is kept as a single '\n', and a
// CR directly before the LF is dropped, so files written with CRLF read exactly like files
// written with LF. A CR anywhere else stays. Returns false at end of file with nothing read.
#pragma once

#include <cstddef>
#include <cstdio>

bool read_line_piece(std::FILE* file, char* buffer, std::size_t size);
