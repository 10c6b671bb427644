#include "host/flight/flight_outputs_text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace flight {

namespace {

// Up to 10^7: the decimals the outputs write. More take the general path.
constexpr int MAX_EXACT_DECIMALS = 7;
constexpr std::array<uint64_t, MAX_EXACT_DECIMALS + 1> POWERS_OF_TEN = {
    1, 10, 100, 1'000, 10'000, 100'000, 1'000'000, 10'000'000};
// The product below takes up to 77 bits (GCC's and Clang's 128-bit integer).
__extension__ using uint128 = unsigned __int128;
// Below 2^40 a value times 10^7 stays below 2^64 once rounded.
constexpr int MAX_EXACT_BINARY_EXPONENT = 40;

// Writes `scaled` / 10^decimals: at least one digit before the point, leading zeros added.
void append_scaled(std::string& out, bool negative, uint64_t scaled, int decimals) {
  char digits[24];
  char* const digits_end = std::to_chars(digits, digits + sizeof digits, scaled).ptr;
  const auto length = static_cast<int>(digits_end - digits);
  char text[40];  // sign, 20 digits or "0." and 7 decimals at most
  char* at = text;
  if (negative) *at++ = '-';
  const int whole = length > decimals ? length - decimals : 0;  // digits before the point
  if (whole == 0) *at++ = '0';
  std::memcpy(at, digits, static_cast<std::size_t>(whole));
  at += whole;
  if (decimals > 0) {
    *at++ = '.';
    const int zeros = decimals - (length - whole);
    std::memset(at, '0', static_cast<std::size_t>(zeros));
    at += zeros;
    std::memcpy(at, digits + whole, static_cast<std::size_t>(length - whole));
    at += length - whole;
  }
  out.append(text, static_cast<std::size_t>(at - text));
}

// A finite double is m x 2^e with a 53-bit m: times 10^decimals it is an exact integer of at
// most 77 bits times 2^e, so shifting it right by -e, rounding the remainder half to even, is
// the correctly rounded result printf gives. False when the value is outside that range.
bool append_exact(std::string& out, double value, int decimals) {
  if (decimals < 0 || decimals > MAX_EXACT_DECIMALS) return false;
  const auto bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const auto biased_exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  if (biased_exponent >= 1023 + MAX_EXACT_BINARY_EXPONENT) return false;  // large, inf, NaN
  const uint64_t mantissa = biased_exponent == 0 ? fraction : fraction | (uint64_t{1} << 52);
  const int shift = 1075 - (biased_exponent == 0 ? 1 : biased_exponent);  // value = m / 2^shift
  const uint128 product =
      static_cast<uint128>(mantissa) * POWERS_OF_TEN[static_cast<std::size_t>(decimals)];
  uint64_t scaled = 0;
  if (shift < 100) {  // at 100 or more the product is below half of 2^shift: rounds to 0
    const auto quotient = static_cast<uint64_t>(product >> shift);
    const uint128 remainder = product - (static_cast<uint128>(quotient) << shift);
    const uint128 half = static_cast<uint128>(1) << (shift - 1);
    const bool up = remainder > half || (remainder == half && (quotient & 1u) != 0);
    scaled = quotient + (up ? 1u : 0u);
  }
  append_scaled(out, negative, scaled, decimals);
  return true;
}

}  // namespace

void append_fixed(std::string& out, double value, int decimals) {
  if (append_exact(out, value, decimals)) return;
  char text[400];  // the longest finite double with 17 decimals fits
  const std::to_chars_result written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (written.ec == std::errc{}) {
    out.append(text, written.ptr);
  } else {  // infinity and NaN are not numbers to_chars writes in this form
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    out += text;
  }
}

void append_whole(std::string& out, long value, int digits) {
  char text[24];
  const std::to_chars_result written = std::to_chars(text, text + sizeof text, value);
  const auto length = static_cast<int>(written.ptr - text);  // a minus sign counts, as in printf
  const char* digits_start = text;
  if (value < 0) out += '-', ++digits_start;
  if (length < digits) out.append(static_cast<std::size_t>(digits - length), '0');
  out.append(digits_start, static_cast<std::size_t>(written.ptr - digits_start));
}

}  // namespace flight
