// Text for the CDU's windows without the printf machinery: a text bounded by its buffer, and the
// three kinds of field the windows use, each written exactly as the printf conversion named
// beside it writes it:
//
//   append_text      "%s" of a text that fills its width ("%4s" with " DEG")
//   append_decimal   "%d", "%3d", "%02d", "%03d" of a whole number
//   append_fixed     "%6.1f", "%7.2f", "%05.1f", "%05.2f" of a double, NaN and infinity included,
//                    and "%.8f" of the waypoint file's coordinates
//
// printf parses its format and goes through the C library's stream layer for every field; a
// window needs none of that, and the panel draws every window on every frame. The fixed-point
// field rounds the double's exact binary value to the shown precision, half to even, as the C
// library does in its default rounding mode, so 0.25 shows 0.2 and 0.35 (really 0.34999...)
// shows 0.3.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// A text being written into `chars`: never more than `capacity - 1` characters and always a
// terminating zero after them (when there is room for one), as snprintf cuts a text that does
// not fit. `length` counts what was written.
struct BoundedText {
  char* chars;
  std::size_t capacity;
  std::size_t length;
};

// Starts an empty text in `chars` (terminated at once when `capacity` is not 0).
BoundedText bounded_text(char* chars, std::size_t capacity);

enum class Padding { Blanks, Zeros };

// Inline: every character of every window goes through it.
inline void append_char(BoundedText& text, char c) {
  if (text.length + 1 >= text.capacity) return;
  text.chars[text.length++] = c;
  text.chars[text.length] = '\0';
}
void append_text(BoundedText& text, const char* s);

// A whole number in decimal, at least `width` characters: blanks before the sign, or zeros
// between the sign and the digits ("%3d" and "%03d"; a width of 0 or 1 is "%d").
void append_decimal(BoundedText& text, int64_t value, int width, Padding padding);

// A double in fixed point with `precision` digits after the point (0 to 8), at least `width`
// characters ("%6.1f" and "%06.1f"), for every finite double, the largest and the subnormals
// included. The sign of a negative value, or of a negative zero, is kept even when the rounded
// value is zero ("-0.0"). NaN and infinity are written "nan", "inf" (with "-" when the sign bit
// is set, as glibc's printf writes them) and padded with blanks, whatever the padding asked.
void append_fixed(BoundedText& text, double value, int width, int precision, Padding padding);

namespace text_format_detail {

constexpr int MAX_PRECISION = 8;
constexpr uint64_t POWERS_OF_TEN[MAX_PRECISION + 1] = {
    1, 10, 100, 1'000, 10'000, 100'000, 1'000'000, 10'000'000, 100'000'000};
// Up to this precision a significand (below 2^53) times 10^precision (below 2^10) fits in 63
// bits, so a value with a fraction is rounded in one 64-bit integer: the windows' fields.
constexpr int MAX_NARROW_PRECISION = 3;

inline int clamped_precision(int precision) {
  return precision < 0 ? 0 : (precision > MAX_PRECISION ? MAX_PRECISION : precision);
}

// A double taken apart: its sign bit, and for a finite value its significand and binary
// exponent (value = significand x 2^exponent); subnormals have no hidden bit and the exponent
// of the smallest normal.
struct DoubleParts {
  bool negative;
  bool finite;
  bool is_nan;
  uint64_t significand;
  int exponent;
};

inline DoubleParts parts_of(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  DoubleParts parts{};
  parts.negative = (bits >> 63) != 0;
  parts.finite = biased_exponent != 0x7FF;
  parts.is_nan = !parts.finite && fraction != 0;
  parts.significand = biased_exponent == 0 ? fraction : fraction | (uint64_t{1} << 52);
  parts.exponent = (biased_exponent == 0 ? 1 : biased_exponent) - 1075;
  return parts;
}

// round(significand x 2^exponent x 10^precision), half to even, for a negative exponent and a
// precision of at most MAX_NARROW_PRECISION: a fraction of one unit in the last place shown is
// rounded, ties to the even neighbour.
inline uint64_t rounded_scaled(uint64_t significand, int exponent, int precision) {
  // significand < 2^53 and 10^precision <= 1000 < 2^10: the product fits in 64 bits.
  const uint64_t scaled = significand * POWERS_OF_TEN[precision];
  const unsigned shift = static_cast<unsigned>(-exponent);
  if (shift >= 64) return 0;  // scaled < 2^63 <= half of 2^shift: rounds to zero
  const uint64_t whole = scaled >> shift;
  const uint64_t rest = scaled & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  return (rest > half || (rest == half && (whole & 1) != 0)) ? whole + 1 : whole;
}

}  // namespace text_format_detail

// What decides the text append_fixed writes for `value` at `precision` (whatever the width and
// padding): its sign bit and its magnitude rounded to `precision` decimals, exactly as
// append_fixed rounds it, as one number. Two values with the same key are written alike, and
// two values written alike at one width and padding have the same key. False for NaN, infinity,
// magnitudes of 2^52 and more and precisions above MAX_NARROW_PRECISION, which have no key (a
// caller writes those every time). A window that shows a value to a tenth can so keep its text
// while the value moves within it.
// Inline: the windows ask for a key on every frame.
inline bool fixed_point_key(double value, int precision, uint64_t& key) {
  using namespace text_format_detail;
  const DoubleParts parts = parts_of(value);
  if (!parts.finite || parts.exponent >= 0 || precision > MAX_NARROW_PRECISION) return false;
  // Below 2^52 x 1000 (value < 2^52 shown to a thousandth): bit 63 is free for the sign.
  key = rounded_scaled(parts.significand, parts.exponent, clamped_precision(precision)) |
        (parts.negative ? uint64_t{1} << 63 : 0);
  return true;
}
