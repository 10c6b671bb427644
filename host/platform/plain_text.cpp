#include "host/platform/plain_text.h"

namespace flight {

namespace {

constexpr char SHOWN_INSTEAD = '?';

struct Decoded {
  std::size_t length = 0;  // bytes of the character; 0 when the bytes there are not UTF-8
  char32_t code_point = 0;
};

// The UTF-8 character that starts at `at`, by the table of well-formed byte sequences: the
// second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
Decoded decode_at(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {1, lead};
  std::size_t length = 0;
  unsigned char second_min = 0x80, second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_min = 0xA0;  // below: overlong
    if (lead == 0xED) second_max = 0x9F;  // above: surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_min = 0x90;  // below: overlong
    if (lead == 0xF4) second_max = 0x8F;  // above: past U+10FFFF
  } else {
    return {};
  }
  if (at + length > text.size()) return {};
  if (byte(1) < second_min || byte(1) > second_max) return {};
  char32_t code_point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {};
    code_point = (code_point << 6) | (byte(i) & 0x3F);
  }
  return {length, code_point};
}

bool is_control(char32_t code_point) {
  return code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F);
}

}  // namespace

bool is_utf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const Decoded character = decode_at(text, at);
    if (character.length == 0) return false;
    at += character.length;
  }
  return true;
}

std::string printable(std::string_view text) {
  return printable_column(text, std::string_view::npos);
}

std::string printable_column(std::string_view text, std::size_t width) {
  std::string shown;
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size() && characters < width; ++characters) {
    const Decoded character = decode_at(text, at);
    if (character.length == 0 || is_control(character.code_point)) {
      shown += SHOWN_INSTEAD;
    } else {
      shown.append(text.substr(at, character.length));
    }
    at += character.length == 0 ? 1 : character.length;
  }
  if (width != std::string_view::npos) shown.append(width - characters, ' ');
  return shown;
}

}  // namespace flight
