// Text for the CDU's windows without the printf machinery: a text bounded by its buffer, and the
// three kinds of field the windows use, each written exactly as the printf conversion named
// beside it writes it:
//
//   append_text      "%s" of a text that fills its width ("%4s" with " DEG")
//   append_decimal   "%d", "%3d", "%02d", "%03d" of a whole number
//   append_fixed     "%6.1f", "%7.2f", "%05.1f", "%05.2f" of a double, NaN and infinity included
//
// printf parses its format and goes through the C library's stream layer for every field; a
// window needs none of that, and the panel draws every window on every frame. The fixed-point
// field rounds the double's exact binary value to the shown precision, half to even, as the C
// library does in its default rounding mode, so 0.25 shows 0.2 and 0.35 (really 0.34999...)
// shows 0.3.
#pragma once

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

void append_char(BoundedText& text, char c);
void append_text(BoundedText& text, const char* s);

// A whole number in decimal, at least `width` characters: blanks before the sign, or zeros
// between the sign and the digits ("%3d" and "%03d"; a width of 0 or 1 is "%d").
void append_decimal(BoundedText& text, int64_t value, int width, Padding padding);

// A double in fixed point with `precision` digits after the point (0 to 3), at least `width`
// characters ("%6.1f" and "%06.1f"). The sign of a negative value, or of a negative zero, is
// kept even when the rounded value is zero ("-0.0"). NaN and infinity are written "nan", "inf"
// (with "-" when the sign bit is set) and padded with blanks, whatever the padding asked.
void append_fixed(BoundedText& text, double value, int width, int precision, Padding padding);

// What decides the text append_fixed writes for `value` at `precision` (whatever the width and
// padding): its sign bit and its magnitude rounded to `precision` decimals, exactly as
// append_fixed rounds it, as one number. Two values with the same key are written alike, and
// two values written alike at one width and padding have the same key. False for NaN, infinity
// and magnitudes of 2^52 and more, which have no key (a caller writes those every time). A
// window that shows a value to a tenth can so keep its text while the value moves within it.
bool fixed_point_key(double value, int precision, uint64_t& key);
