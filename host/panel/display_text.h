// The module's display texts are 8-bit single-byte strings (the degree sign is byte 0xB0). The
// host shows and compares them as UTF-8, reading every byte as the Latin-1 character of the same
// number, so 0xB0 becomes "°" and no byte can make the trace invalid UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace host {

inline std::string latin1_to_utf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text.push_back(c);
    } else {
      text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

// latin1_to_utf8(bytes) == utf8, without making the text: for a comparison made every frame.
inline bool latin1_equals_utf8(std::string_view bytes, std::string_view utf8) {
  std::size_t at = 0;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      if (at >= utf8.size() || utf8[at] != c) return false;
      ++at;
    } else {
      if (at + 2 > utf8.size() || utf8[at] != static_cast<char>(0xC0 | (byte >> 6)) ||
          utf8[at + 1] != static_cast<char>(0x80 | (byte & 0x3F))) {
        return false;
      }
      at += 2;
    }
  }
  return at == utf8.size();
}

}  // namespace host
