#include "core/text_format.h"

namespace {

using text_format_detail::clamped_precision;
using text_format_detail::DoubleParts;
using text_format_detail::MAX_NARROW_PRECISION;
using text_format_detail::parts_of;
using text_format_detail::POWERS_OF_TEN;
using text_format_detail::rounded_scaled;

// The decimal digits of a fixed-point value, most significant first. The largest double is
// below 2^1024, about 1.8e308: its 309 digits with eight more after the point fit with room to
// spare.
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

// --- Whole numbers wider than 64 bits, as 32-bit limbs with the least significant first, in
// plain 64-bit arithmetic (the 32-bit builds have nothing wider). A significand (below 2^53)
// times 10^precision (one limb) takes three limbs at most; the largest double's exponent shifts
// that up by 971 bits (30 limbs and 11 bits), and the shift first writes the limb above the top
// one it moves, zero when nothing reaches it.
constexpr std::size_t PRODUCT_LIMBS = 3;
constexpr unsigned MAX_LEFT_SHIFT = 1023 - 52;
constexpr std::size_t LIMBS = PRODUCT_LIMBS + MAX_LEFT_SHIFT / 32 + 1;
static_assert(POWERS_OF_TEN[text_format_detail::MAX_PRECISION] < (uint64_t{1} << 32),
              "10^precision is one limb, so a significand times it fits in three");
struct WideNumber {
  uint32_t limbs[LIMBS];
  std::size_t used;  // limbs from the bottom that may be non-zero
};

void trim(WideNumber& n) {
  while (n.used > 0 && n.limbs[n.used - 1] == 0) --n.used;
}

// `value` x `factor` as a wide number.
WideNumber wide_product(uint64_t value, uint32_t factor) {
  WideNumber n{};
  const uint64_t low = (value & 0xFFFFFFFF) * factor;
  const uint64_t high = (value >> 32) * factor + (low >> 32);
  n.limbs[0] = static_cast<uint32_t>(low);
  n.limbs[1] = static_cast<uint32_t>(high);
  n.limbs[2] = static_cast<uint32_t>(high >> 32);
  n.used = PRODUCT_LIMBS;
  trim(n);
  return n;
}

// n x 2^shift, for shift <= MAX_LEFT_SHIFT and n of at most PRODUCT_LIMBS limbs.
void shift_left(WideNumber& n, unsigned shift) {
  if (n.used == 0) return;
  const std::size_t word = shift / 32;
  const unsigned bit = shift % 32;
  // From the top down, so that every limb is read before it is written over.
  n.limbs[n.used + word] = bit == 0 ? 0 : n.limbs[n.used - 1] >> (32 - bit);
  for (std::size_t i = n.used; i-- > 0;) {
    const uint32_t from_below = bit == 0 || i == 0 ? 0 : n.limbs[i - 1] >> (32 - bit);
    n.limbs[i + word] = (n.limbs[i] << bit) | from_below;
  }
  for (std::size_t i = 0; i < word; ++i) n.limbs[i] = 0;
  n.used += word + 1;
  trim(n);
}

// Whether `n` has bit `k` set.
bool bit_set(const WideNumber& n, unsigned k) {
  const std::size_t word = k / 32;
  return word < n.used && ((n.limbs[word] >> (k % 32)) & 1) != 0;
}

// Whether `n` has any bit below bit `k` set.
bool any_bit_below(const WideNumber& n, unsigned k) {
  const std::size_t word = k / 32;
  for (std::size_t i = 0; i < word && i < n.used; ++i) {
    if (n.limbs[i] != 0) return true;
  }
  return word < n.used && (n.limbs[word] & ((uint32_t{1} << (k % 32)) - 1)) != 0;
}

// n / 2^shift rounded to a whole number, half to even, for shift >= 1: the bit just below the
// cut is the half, and the bits below it tell a tie from more than half.
void shift_right_rounded(WideNumber& n, unsigned shift) {
  const bool half = bit_set(n, shift - 1);
  const bool more_than_half = half && any_bit_below(n, shift - 1);
  const std::size_t word = shift / 32;
  const unsigned bit = shift % 32;
  const std::size_t kept = n.used > word ? n.used - word : 0;
  for (std::size_t i = 0; i < kept; ++i) {
    const uint32_t from_above =
        bit == 0 || i + word + 1 >= n.used ? 0 : n.limbs[i + word + 1] << (32 - bit);
    n.limbs[i] = (n.limbs[i + word] >> bit) | from_above;
  }
  n.used = kept;
  trim(n);
  const bool odd = n.used > 0 && (n.limbs[0] & 1) != 0;
  if (!half || (!more_than_half && !odd)) return;
  // One more: the carry runs up through limbs of all ones; the number shrank, so there is room.
  std::size_t i = 0;
  while (i < n.used && n.limbs[i] == 0xFFFFFFFF) n.limbs[i++] = 0;
  if (i == n.used) n.limbs[n.used++] = 0;
  ++n.limbs[i];
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
  trim(n);
  return static_cast<uint32_t>(remainder);
}

// The digits of `n` ("0" for zero), nine at a time from the bottom; `n` is used up.
void wide_digits(WideNumber& n, Digits& digits) {
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

// The digits of `value` ("0" for zero).
void narrow_digits(uint64_t value, Digits& digits) {
  char buffer[20];
  char* first = decimal_digits(value, buffer + sizeof buffer);
  digits.count = static_cast<std::size_t>(buffer + sizeof buffer - first);
  for (std::size_t i = 0; i < digits.count; ++i) digits.chars[i] = first[i];
}

// The digits of round(magnitude x 10^precision), half to even, for a finite magnitude given by
// its significand and binary exponent (magnitude = significand x 2^exponent). A value with a
// fraction shown to at most MAX_NARROW_PRECISION decimals, every field of the windows, is
// rounded in 64 bits; any other is scaled and rounded as a wide number.
void scaled_digits(uint64_t significand, int exponent, int precision, Digits& digits) {
  if (exponent < 0 && precision <= MAX_NARROW_PRECISION) {
    narrow_digits(rounded_scaled(significand, exponent, precision), digits);
    return;
  }
  WideNumber n = wide_product(significand, static_cast<uint32_t>(POWERS_OF_TEN[precision]));
  if (exponent >= 0) {
    shift_left(n, static_cast<unsigned>(exponent));
  } else {
    shift_right_rounded(n, static_cast<unsigned>(-exponent));
  }
  // A rounded value below 2^64 (a magnitude below about 1.8 x 10^11 at eight decimals: every
  // coordinate) is written by 64-bit division, as the windows' fields are.
  if (n.used <= 2) {
    const uint64_t low = n.used > 0 ? n.limbs[0] : 0;
    const uint64_t high = n.used > 1 ? n.limbs[1] : 0;
    narrow_digits(high << 32 | low, digits);
  } else {
    wide_digits(n, digits);
  }
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
