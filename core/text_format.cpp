#include "core/text_format.h"

namespace {

using text_format_detail::clamped_precision;
using text_format_detail::DoubleParts;
using text_format_detail::parts_of;
using text_format_detail::POWERS_OF_TEN;
using text_format_detail::rounded_scaled;

// The decimal digits of a fixed-point value, most significant first. The largest double is
// about 1.8e308: its digits with three more after the point fit with room to spare.
constexpr std::size_t MAX_DIGITS = 340;
struct Digits {
  char chars[MAX_DIGITS];
  std::size_t count;
};

// Writes the decimal digits of `value` ("0" for zero) at the end of `out`, which holds at least
// 20 characters, and returns where they start.
char* decimal_digits(uint64_t value, char* out_end) {
  char* first = out_end;
  do {
    *--first = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return first;
}

void append_repeated(BoundedText& text, char c, int count) {
  for (int i = 0; i < count; ++i) append_char(text, c);
}

void append_chars(BoundedText& text, const char* first, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) append_char(text, first[i]);
}

// A field of `count` characters after an optional minus sign, padded to `width` as printf pads.
void append_padded(BoundedText& text, bool negative, const char* first, std::size_t count,
                   int width, Padding padding) {
  const int used = static_cast<int>(count) + (negative ? 1 : 0);
  const int pad = width > used ? width - used : 0;
  if (padding == Padding::Blanks) append_repeated(text, ' ', pad);
  if (negative) append_char(text, '-');
  if (padding == Padding::Zeros) append_repeated(text, '0', pad);
  append_chars(text, first, count);
}

// A whole number of up to 1034 bits (the largest double times 10^3), as 32-bit limbs with the
// least significant first. Only doubles of 2^53 and more need it.
constexpr std::size_t LIMBS = 34;
struct WideNumber {
  uint32_t limbs[LIMBS];
  std::size_t used;  // limbs from the bottom that may be non-zero
};

// `value` x 2^shift, for value < 2^64 and shift <= 971.
WideNumber wide_shifted(uint64_t value, unsigned shift) {
  WideNumber n{};
  const std::size_t word = shift / 32;
  const unsigned bit = shift % 32;
  const uint32_t low = static_cast<uint32_t>(value);
  const uint32_t high = static_cast<uint32_t>(value >> 32);
  n.limbs[word] = low << bit;
  n.limbs[word + 1] = bit == 0 ? high : (high << bit) | (low >> (32 - bit));
  n.limbs[word + 2] = bit == 0 ? 0 : high >> (32 - bit);
  n.used = word + 3;
  return n;
}

// Divides `n` by 10^9 in place and returns the remainder.
uint32_t divide_by_billion(WideNumber& n) {
  constexpr uint64_t BILLION = 1000000000;
  uint64_t remainder = 0;
  for (std::size_t i = n.used; i-- > 0;) {
    const uint64_t current = (remainder << 32) | n.limbs[i];
    n.limbs[i] = static_cast<uint32_t>(current / BILLION);
    remainder = current % BILLION;
  }
  while (n.used > 0 && n.limbs[n.used - 1] == 0) --n.used;
  return static_cast<uint32_t>(remainder);
}

// The digits of value x 2^shift, nine at a time from the bottom.
void wide_digits(uint64_t value, unsigned shift, Digits& digits) {
  WideNumber n = wide_shifted(value, shift);
  char reversed[MAX_DIGITS];
  std::size_t count = 0;
  do {
    uint32_t chunk = divide_by_billion(n);
    for (int i = 0; i < 9 && count < MAX_DIGITS; ++i) {
      reversed[count++] = static_cast<char>('0' + chunk % 10);
      chunk /= 10;
    }
  } while (n.used > 0);
  while (count > 1 && reversed[count - 1] == '0') --count;  // the top chunk's leading zeros
  for (std::size_t i = 0; i < count; ++i) digits.chars[i] = reversed[count - 1 - i];
  digits.count = count;
}

// The digits of round(magnitude x 10^precision), half to even, for a finite magnitude given by
// its significand and binary exponent (magnitude = significand x 2^exponent).
void scaled_digits(uint64_t significand, int exponent, int precision, Digits& digits) {
  if (exponent >= 0) {
    wide_digits(significand * POWERS_OF_TEN[precision], static_cast<unsigned>(exponent), digits);
    return;
  }
  char buffer[20];
  char* first =
      decimal_digits(rounded_scaled(significand, exponent, precision), buffer + sizeof buffer);
  digits.count = static_cast<std::size_t>(buffer + sizeof buffer - first);
  for (std::size_t i = 0; i < digits.count; ++i) digits.chars[i] = first[i];
}

void append_non_finite(BoundedText& text, bool negative, bool is_nan, int width) {
  append_padded(text, negative, is_nan ? "nan" : "inf", 3, width, Padding::Blanks);
}

}  // namespace

BoundedText bounded_text(char* chars, std::size_t capacity) {
  if (capacity > 0) chars[0] = '\0';
  return {chars, capacity, 0};
}

void append_text(BoundedText& text, const char* s) {
  while (*s != '\0') append_char(text, *s++);
}

void append_decimal(BoundedText& text, int64_t value, int width, Padding padding) {
  const bool negative = value < 0;
  // The magnitude in unsigned arithmetic, so that the most negative value has one too.
  const uint64_t magnitude =
      negative ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char buffer[20];
  char* end = buffer + sizeof buffer;
  char* first = decimal_digits(magnitude, end);
  append_padded(text, negative, first, static_cast<std::size_t>(end - first), width, padding);
}

void append_fixed(BoundedText& text, double value, int width, int precision, Padding padding) {
  precision = clamped_precision(precision);
  const DoubleParts parts = parts_of(value);
  if (!parts.finite) {
    append_non_finite(text, parts.negative, parts.is_nan, width);
    return;
  }
  Digits digits;
  scaled_digits(parts.significand, parts.exponent, precision, digits);
  // At least one digit before the point: 0.05 has the digits "5" at precision 2, shown "0.05".
  const std::size_t shown = digits.count > static_cast<std::size_t>(precision)
                                ? digits.count
                                : static_cast<std::size_t>(precision) + 1;
  const std::size_t leading_zeros = shown - digits.count;
  const std::size_t whole_count = shown - static_cast<std::size_t>(precision);
  char field[MAX_DIGITS + 8];
  std::size_t length = 0;
  for (std::size_t i = 0; i < shown; ++i) {
    if (i == whole_count) field[length++] = '.';
    field[length++] = i < leading_zeros ? '0' : digits.chars[i - leading_zeros];
  }
  append_padded(text, parts.negative, field, length, width, padding);
}
