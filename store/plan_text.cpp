#include "store/plan_text.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "boundary/invariants.h"

namespace {

constexpr char POSITION_TAG[] = "<WorldPosition>";
constexpr std::size_t POSITION_TAG_LENGTH = sizeof POSITION_TAG - 1;
constexpr uint32_t REPLACEMENT_CHARACTER = 0xFFFD;

// --- The file's bytes, up to the size limit.

int raw_byte(PlanText& text) {
  if (text.too_large) return STORE_FILE_END;
  const int c = read_byte(text.file);
  if (c == STORE_FILE_END) return c;
  if (++text.raw_bytes > PLAN_TEXT_LIMIT) {
    text.too_large = true;
    return STORE_FILE_END;
  }
  return c;
}

// --- The ring of decoded bytes not yet given out.

void push(PlanText& text, uint32_t byte) {
  INS_INVARIANT(text.ahead_count < PLAN_TEXT_LOOKAHEAD);
  text.ahead[(text.ahead_start + text.ahead_count) % PLAN_TEXT_LOOKAHEAD] =
      static_cast<unsigned char>(byte);
  ++text.ahead_count;
}

int at(const PlanText& text, std::size_t index) {
  INS_INVARIANT(index < text.ahead_count);
  return text.ahead[(text.ahead_start + index) % PLAN_TEXT_LOOKAHEAD];
}

void pop(PlanText& text) {
  INS_INVARIANT(text.ahead_count > 0);
  text.ahead_start = (text.ahead_start + 1) % PLAN_TEXT_LOOKAHEAD;
  --text.ahead_count;
}

// --- UTF-16 to UTF-8.

void push_utf8(PlanText& text, uint32_t code_point) {
  if (code_point < 0x80) {
    push(text, code_point);
  } else if (code_point < 0x800) {
    push(text, 0xC0 | (code_point >> 6));
    push(text, 0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    push(text, 0xE0 | (code_point >> 12));
    push(text, 0x80 | ((code_point >> 6) & 0x3F));
    push(text, 0x80 | (code_point & 0x3F));
  } else {
    push(text, 0xF0 | (code_point >> 18));
    push(text, 0x80 | ((code_point >> 12) & 0x3F));
    push(text, 0x80 | ((code_point >> 6) & 0x3F));
    push(text, 0x80 | (code_point & 0x3F));
  }
}

// The next UTF-16 code unit, or -1 at the end (an odd last byte is dropped).
int32_t read_unit(PlanText& text) {
  const int first = raw_byte(text);
  if (first == STORE_FILE_END) return -1;
  const int second = raw_byte(text);
  if (second == STORE_FILE_END) return -1;
  return text.encoding == PLAN_UTF16_LE ? first | (second << 8) : (first << 8) | second;
}

bool high_surrogate(int32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool low_surrogate(int32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Decodes one character into the ring; false at the end. A surrogate without its partner reads
// as the replacement character.
bool decode_utf16(PlanText& text) {
  const int32_t unit = read_unit(text);
  if (unit < 0) return false;
  if (low_surrogate(unit)) {
    push_utf8(text, REPLACEMENT_CHARACTER);
  } else if (!high_surrogate(unit)) {
    push_utf8(text, static_cast<uint32_t>(unit));
  } else {
    const int32_t low = read_unit(text);
    if (low_surrogate(low)) {
      push_utf8(text, 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) +
                          (static_cast<uint32_t>(low) - 0xDC00));
    } else {
      push_utf8(text, REPLACEMENT_CHARACTER);
      if (low >= 0) {
        push_utf8(text, high_surrogate(low) ? REPLACEMENT_CHARACTER : static_cast<uint32_t>(low));
      }
    }
  }
  return true;
}

bool decode_more(PlanText& text) {
  if (text.encoding != PLAN_BYTES) return decode_utf16(text);
  const int c = raw_byte(text);
  if (c == STORE_FILE_END) return false;
  push(text, static_cast<uint32_t>(c));
  return true;
}

// Whether the decoded text goes on with the position tag.
bool position_tag_follows(PlanText& text) {
  while (text.ahead_count < POSITION_TAG_LENGTH && decode_more(text)) {
  }
  if (text.ahead_count < POSITION_TAG_LENGTH) return false;
  for (std::size_t i = 0; i < POSITION_TAG_LENGTH; ++i) {
    if (at(text, i) != static_cast<unsigned char>(POSITION_TAG[i])) return false;
  }
  return true;
}

bool blank(int c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The bytes a run of ordinary text stops at: line ends, and a '<' that may open a position
// element.
constexpr auto RUN_ENDS = [] {
  std::array<bool, 256> ends{};
  ends['\r'] = ends['\n'] = ends['<'] = true;
  return ends;
}();
bool ends_a_run(unsigned char c) {
  return RUN_ENDS[c];
}

// Hands `c` out: it is the byte unread_byte gives back, and it tells whether the line so far
// holds text.
int give_out(PlanText& text, int c) {
  if (c == '\n') {
    text.line_has_text = false;
  } else if (c != STORE_FILE_END && !blank(c)) {
    text.line_has_text = true;
  }
  return text.last = c;
}

}  // namespace

OpenResult open_plan_text(PlanText& text, const char* name) {
  text = PlanText{};
  const OpenResult opened = open_for_reading(text.file, name);
  if (opened != FILE_OPENED) return opened;
  // A UTF-16 byte-order mark says how to decode the rest; any other first bytes are text.
  const int first = raw_byte(text);
  if (first != 0xFF && first != 0xFE) {
    if (first != STORE_FILE_END) push(text, static_cast<uint32_t>(first));
    return FILE_OPENED;
  }
  const int second = raw_byte(text);
  if (first == 0xFF && second == 0xFE) {
    text.encoding = PLAN_UTF16_LE;
  } else if (first == 0xFE && second == 0xFF) {
    text.encoding = PLAN_UTF16_BE;
  } else {
    push(text, static_cast<uint32_t>(first));
    if (second != STORE_FILE_END) push(text, static_cast<uint32_t>(second));
  }
  return FILE_OPENED;
}

int read_byte(PlanText& text) {
  if (text.give_last_again) {
    text.give_last_again = false;
    return text.last;
  }
  if (text.ahead_count == 0 && text.encoding == PLAN_BYTES) {
    // The common case, a byte as it stands with nothing looked ahead: no use of the ring.
    const int c = raw_byte(text);
    if (c == STORE_FILE_END || c != '<' || !text.line_has_text) return give_out(text, c);
    push(text, static_cast<uint32_t>(c));
  }
  if (text.ahead_count == 0 && !decode_more(text)) return give_out(text, STORE_FILE_END);
  const int c = at(text, 0);
  // A position element after other text on its line starts a line of its own.
  if (c == '<' && text.line_has_text && position_tag_follows(text)) {
    text.line_has_text = false;
    return text.last = '\n';
  }
  pop(text);
  return give_out(text, c);
}

std::size_t take_ordinary_bytes(PlanText& text, char* to, std::size_t capacity) {
  if (text.give_last_again || text.ahead_count > 0 || text.encoding != PLAN_BYTES ||
      text.too_large) {
    return 0;
  }
  const StoreFile& file = text.file;
  // The bytes of the buffer within the size limit; a '<' is looked past only when the whole tag
  // could be seen among them, else read_byte decides it.
  std::size_t window = file.length - file.position;
  if (window > PLAN_TEXT_LIMIT - text.raw_bytes) window = PLAN_TEXT_LIMIT - text.raw_bytes;
  const std::size_t limit = window < capacity ? window : capacity;
  const unsigned char* from = file.buffer + file.position;
  bool line_has_text = text.line_has_text;
  std::size_t count = 0;
  while (count < limit) {
    if (!line_has_text) {  // the blanks that start a line, and its first byte of text
      while (count < limit && (from[count] == ' ' || from[count] == '\t')) ++count;
      if (count == limit || from[count] == '\r' || from[count] == '\n') break;
      line_has_text = true;
      ++count;
      continue;
    }
    while (count < limit && !ends_a_run(from[count])) ++count;
    if (count == limit || from[count] != '<' || window - count < POSITION_TAG_LENGTH ||
        std::memcmp(from + count, POSITION_TAG, POSITION_TAG_LENGTH) == 0) {
      break;
    }
    ++count;  // the '<' of another element
  }
  std::memcpy(to, from, count);
  if (count == 0) return 0;
  text.file.position += count;
  text.raw_bytes += count;
  text.line_has_text = line_has_text;
  text.last = from[count - 1];
  return count;
}

void unread_byte(PlanText& text) {
  if (text.last != STORE_FILE_END) text.give_last_again = true;
}

bool plan_text_failed(const PlanText& text) {
  return text.file.failed || text.too_large;
}

void close_plan_text(PlanText& text) {
  close_file(text.file);
}
