#include "store/text_lines.h"

bool read_line_piece(std::FILE* file, char* buffer, std::size_t size) {
  if (size == 0) return false;
  std::size_t length = 0;
  while (length + 1 < size) {
    int c = std::fgetc(file);
    if (c == EOF) break;
    if (c == '\r') {
      int after = std::fgetc(file);
      if (after == '\n') {
        buffer[length++] = '\n';
        break;
      }
      if (after != EOF) std::ungetc(after, file);
    } else if (c == '\n') {
      buffer[length++] = '\n';
      break;
    }
    buffer[length++] = static_cast<char>(c);
  }
  buffer[length] = '\0';
  return length > 0;
}
