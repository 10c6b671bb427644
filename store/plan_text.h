// The text of a flight plan as the import reads it, a byte at a time (a source for
// read_line_piece):
//
// - ASCII, UTF-8 and Latin-1 plans read byte for byte as they stand (a UTF-8 byte-order mark
//   included), so the two syntaxes' rules see such a plan's own bytes, unchanged;
// - a UTF-16 plan (recognised by its byte-order mark, either byte order) is decoded to UTF-8, so
//   it reads exactly like the same plan saved in UTF-8;
// - a <WorldPosition> element that does not begin its line (tools that write the whole
//   document on one line, or several elements on a line) is put on a line of its own, as the
//   rules expect it; elements that already begin their line are left alone;
// - a plan larger than PLAN_TEXT_LIMIT bytes is not read beyond that (and counts as failed):
//   no real plan comes near it, and the import runs inside one frame.
//
// Everything sits in fixed buffers inside PlanText; nothing is allocated.
#pragma once

#include <cstddef>

#include "store/durable_file.h"

constexpr std::size_t PLAN_TEXT_LIMIT = 1 << 20;
// Bytes the reader looks ahead: the tag it looks for, plus one decoded character.
constexpr std::size_t PLAN_TEXT_LOOKAHEAD = 32;

enum PlanEncoding : int { PLAN_BYTES, PLAN_UTF16_LE, PLAN_UTF16_BE };

struct PlanText {
  StoreFile file;
  PlanEncoding encoding = PLAN_BYTES;
  unsigned char ahead[PLAN_TEXT_LOOKAHEAD];  // decoded bytes not yet given out (a ring)
  std::size_t ahead_start = 0;
  std::size_t ahead_count = 0;
  std::size_t raw_bytes = 0;   // bytes taken from the file
  bool too_large = false;      // the plan goes on beyond PLAN_TEXT_LIMIT
  bool line_has_text = false;  // a non-blank byte was given out since the last line end
  int last = STORE_FILE_END;   // the byte given out last, for unread_byte
  bool give_last_again = false;
};

// Opens the plan (a regular file only) and recognises its encoding.
OpenResult open_plan_text(PlanText& text, const char* name);
// The next byte of the decoded text, or STORE_FILE_END.
int read_byte(PlanText& text);
// Gives back the byte just read.
void unread_byte(PlanText& text);
// Copies up to `capacity` bytes that read_byte would give out unchanged and that end no line (no
// CR, no LF, no '<' after text on the line) straight from the file's buffer; returns how many.
// Takes none while anything is decoded ahead or to be given again, and in a UTF-16 plan: those
// bytes go through read_byte.
std::size_t take_ordinary_bytes(PlanText& text, char* to, std::size_t capacity);
// True when the plan could not be read to its end: a read error, or beyond the size limit.
bool plan_text_failed(const PlanText& text);
void close_plan_text(PlanText& text);
