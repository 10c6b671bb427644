// The window formatter against the C library's printf, which defines what each field must be:
// every field over sweeps of values that cross each rounding edge of the shown precision, the
// ties that only exact binary fractions make, negative zero, values far out of range (the wide
// path above 2^53), the waypoint file's eight decimals (the wide path for every value) down to
// the subnormals, NaN and infinity, and the cut at a short buffer.
#include "core/text_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t ROOM = 400;  // more than any double in fixed point

std::string fixed_text(double value, int width, int precision, Padding padding) {
  char chars[ROOM];
  BoundedText text = bounded_text(chars, sizeof chars);
  append_fixed(text, value, width, precision, padding);
  return std::string(chars);
}

std::string printf_fixed(double value, int width, int precision, Padding padding) {
  char chars[ROOM];
  const char* format = padding == Padding::Zeros ? "%0*.*f" : "%*.*f";
  std::snprintf(chars, sizeof chars, format, width, precision, value);
  return std::string(chars);
}

std::string decimal_text(int64_t value, int width, Padding padding) {
  char chars[64];
  BoundedText text = bounded_text(chars, sizeof chars);
  append_decimal(text, value, width, padding);
  return std::string(chars);
}

std::string printf_decimal(int64_t value, int width, Padding padding) {
  char chars[64];
  const char* format = padding == Padding::Zeros ? "%0*lld" : "%*lld";
  std::snprintf(chars, sizeof chars, format, width, static_cast<long long>(value));
  return std::string(chars);
}

struct FixedFormat {
  int width;
  int precision;
  Padding padding;
};

// The windows' own fields ("%05.1f", "%6.1f", "%4.1f", "%7.2f", "%05.2f"), the waypoint file's
// ("%.8f"), and with them the other widths and precisions the formatter offers.
const std::vector<FixedFormat> WINDOW_FORMATS = {
    {5, 1, Padding::Zeros},  {6, 1, Padding::Blanks}, {4, 1, Padding::Blanks},
    {7, 2, Padding::Blanks}, {5, 2, Padding::Zeros},
};
const std::vector<FixedFormat> ALL_FORMATS = [] {
  std::vector<FixedFormat> all = WINDOW_FORMATS;
  all.insert(all.end(), {{0, 0, Padding::Blanks},
                         {3, 0, Padding::Zeros},
                         {0, 1, Padding::Blanks},
                         {9, 3, Padding::Zeros},
                         {1, 3, Padding::Blanks},
                         {12, 2, Padding::Zeros},
                         {0, 4, Padding::Blanks},
                         {7, 5, Padding::Zeros},
                         {0, 6, Padding::Blanks},
                         {11, 7, Padding::Blanks},
                         {0, 8, Padding::Blanks},
                         {14, 8, Padding::Zeros}});
  return all;
}();
// Every precision beyond the windows' three, each in one format.
const std::vector<FixedFormat> WIDE_PRECISION_FORMATS = {{0, 4, Padding::Blanks},
                                                         {7, 5, Padding::Zeros},
                                                         {0, 6, Padding::Blanks},
                                                         {11, 7, Padding::Blanks},
                                                         {0, 8, Padding::Blanks}};

// Counts and reports the values whose text differs from printf's (the first few in full).
void expect_fixed_like_printf(const std::vector<double>& values,
                              const std::vector<FixedFormat>& formats = ALL_FORMATS) {
  for (const FixedFormat& f : formats) {
    int differences = 0;
    for (double v : values) {
      const std::string expected = printf_fixed(v, f.width, f.precision, f.padding);
      const std::string got = fixed_text(v, f.width, f.precision, f.padding);
      if (got == expected) continue;
      if (++differences <= 5) {
        ADD_FAILURE() << "width " << f.width << " precision " << f.precision
                      << (f.padding == Padding::Zeros ? " zeros" : " blanks") << ", value "
                      << std::hexfloat << v << std::defaultfloat << " (" << v << "): \"" << got
                      << "\" where printf writes \"" << expected << "\"";
      }
    }
    EXPECT_EQ(differences, 0) << "width " << f.width << " precision " << f.precision;
  }
}

// Each value and its two neighbours in binary, both signs.
void add_with_neighbours(std::vector<double>& values, double v) {
  for (double s : {v, -v}) {
    values.push_back(s);
    values.push_back(std::nextafter(s, HUGE_VAL));
    values.push_back(std::nextafter(s, -HUGE_VAL));
  }
}

TEST(TextFormat, FixedRoundsEveryShownEdgeAsPrintfDoes) {
  std::vector<double> values;
  // Every half step of the last digit shown, at precisions 0 to 3, with the values just beside
  // each: all of them over the angles (to 360) and the minutes (to 60), then a sample up to
  // 11 000 (speeds and distances). Through the windows' formats; the others have theirs below.
  auto half_steps = [&values](int steps_per_unit, int every_step_below, int stride_above) {
    const int last = 11000 * steps_per_unit;
    for (int k = 0; k <= last; k += k < every_step_below ? 1 : stride_above) {
      add_with_neighbours(values, (k + 0.5) / steps_per_unit);
    }
  };
  half_steps(1, 400, 13);
  half_steps(10, 3600, 23);
  half_steps(100, 6000, 211);
  half_steps(1000, 2000, 2003);
  // Ties that are exact in binary (round to even): 0.25, 0.125, 2.5 ...
  for (int k = -4000; k <= 4000; ++k) values.push_back(k / 8.0);
  // The edges the windows meet: a track of 359.95, minutes of 59.995, a speed of 40.05.
  for (double v : {359.95, 359.949999, 359.9500001, 0.05, 0.005, 0.0005, 59.995, 59.999, 99.995,
                   9.995, 999.95, 9999.95, 40.05, 10800.0, 123.45, 1.005}) {
    add_with_neighbours(values, v);
  }
  expect_fixed_like_printf(values, WINDOW_FORMATS);
}

TEST(TextFormat, FixedRoundsEveryEdgeOfFourToEightDecimalsAsPrintfDoes) {
  std::vector<double> values;
  for (int precision = 4; precision <= 8; ++precision) {
    const double step = std::pow(10.0, -precision);
    // The half steps of the last digit near zero, near one radian, near a degree's range and
    // among the waypoint file's coordinates (to pi), with their neighbours.
    for (double base : {0.0, 1.0, 57.0, 359.0, 3.14159}) {
      for (int k = 0; k < 400; ++k) add_with_neighbours(values, base + (k + 0.5) * step);
    }
    // Ties that are exact in binary: k / 2^(precision + 1) ends in a 5 in the decimal just
    // beyond the precision, and printf rounds it to the even neighbour.
    const double tie_step = std::ldexp(1.0, -(precision + 1));
    for (int k = -3000; k <= 3000; ++k) values.push_back(k * tie_step);
    for (int k = 1; k <= 2000; k += 7) values.push_back(1000.0 + k * tie_step);
  }
  // A unit of the last place of a float or a double moved across each power of ten's carry.
  for (double v : {0.99999999, 9.99999999, 0.999999995, 99999.999999995, 0.000000005, 0.000000015,
                   0.00000005, 0.0000005, 0.000005, 0.00005}) {
    add_with_neighbours(values, v);
    add_with_neighbours(values, static_cast<float>(v));
  }
  expect_fixed_like_printf(values, WIDE_PRECISION_FORMATS);
}

TEST(TextFormat, FixedWritesTinyAndSubnormalValuesAsPrintfDoes) {
  std::vector<double> values;
  // Every power of two below one, down to the smallest subnormal; the powers of ten below one.
  for (int e = -1; e >= -1074; e -= e > -80 ? 1 : 3)
    add_with_neighbours(values, std::ldexp(1.0, e));
  for (int e = -1; e >= -323; e -= e > -30 ? 1 : 7) add_with_neighbours(values, std::pow(10.0, e));
  // Subnormals with many significant bits, and the largest of them.
  for (uint64_t bits : {uint64_t{1}, uint64_t{3}, uint64_t{0x000FFFFFFFFFFFFF},
                        uint64_t{0x0008000000000001}, uint64_t{0x0000000123456789}}) {
    add_with_neighbours(values, std::bit_cast<double>(bits));
  }
  for (double v :
       {DBL_MIN, double{FLT_MIN}, double{FLT_TRUE_MIN}, DBL_EPSILON, double{FLT_EPSILON}}) {
    add_with_neighbours(values, v);
  }
  expect_fixed_like_printf(values);
}

TEST(TextFormat, FixedKeepsTheSignOfNegativeZeroAndOfValuesThatRoundToZero) {
  expect_fixed_like_printf({0.0, -0.0, -0.04, -0.049999, -0.05, -0.004, -0.0049, -1e-300,
                            std::numeric_limits<double>::denorm_min(),
                            -std::numeric_limits<double>::denorm_min()});
  EXPECT_EQ(fixed_text(-0.0, 5, 1, Padding::Zeros), "-00.0");
  EXPECT_EQ(fixed_text(-0.04, 6, 1, Padding::Blanks), "  -0.0");
}

TEST(TextFormat, FixedWritesValuesFarOutOfRangeDigitForDigit) {
  std::vector<double> values;
  // Around 2^53, where doubles stop having a fraction, the powers of two and of ten, each of
  // them up to past 2^64, a sample beyond.
  for (int e = 0; e <= 1023; e += e < 70 ? 1 : 7) add_with_neighbours(values, std::ldexp(1.0, e));
  for (int e = 0; e <= 308; e += e < 22 ? 1 : 5) add_with_neighbours(values, std::pow(10.0, e));
  for (double v :
       {9007199254740991.0, 9007199254740993.0, 1e15 + 0.3, 4503599627370495.5, DBL_MAX, DBL_MIN}) {
    add_with_neighbours(values, v);
  }
  expect_fixed_like_printf(values);
}

TEST(TextFormat, FixedMatchesPrintfOnRandomDoublesOfEveryMagnitude) {
  std::mt19937_64 random(20240614);
  std::vector<double> values;
  // Random bit patterns: every exponent, subnormals, NaNs with payloads and signs.
  for (int i = 0; i < 3'000; ++i) values.push_back(std::bit_cast<double>(random()));
  // Random values in the windows' ranges.
  std::uniform_real_distribution<double> window_range(-11000.0, 11000.0);
  for (int i = 0; i < 30'000; ++i) values.push_back(window_range(random));
  expect_fixed_like_printf(values);
}

// The key a window keeps its text by: two values have the same key exactly when printf writes
// them alike, over each rounding edge of the shown precision with its neighbours, the signs of
// zero and of values that round to zero, and random values; NaN, infinity and values of 2^52
// and more have none.
TEST(TextFormat, FixedPointKeyIsTheSameExactlyWhenTheTextIsTheSame) {
  std::vector<double> values;
  for (int k = 0; k <= 4000; ++k) {
    add_with_neighbours(values, (k + 0.5) / 10.0);
    add_with_neighbours(values, (k + 0.5) / 100.0);
    add_with_neighbours(values, k / 8.0);
  }
  for (double v : {0.0, 0.04, 0.05, 0.004, 0.005, 1e-300, 2251799813685247.75, 1e15 + 0.3}) {
    add_with_neighbours(values, v);
  }
  std::mt19937_64 random(20261210);
  std::uniform_real_distribution<double> window_range(-11000.0, 11000.0);
  for (int i = 0; i < 20'000; ++i) values.push_back(window_range(random));
  for (const FixedFormat& f : WINDOW_FORMATS) {
    int differences = 0;
    // Each value against the next in the list: neighbours in binary, and across the edges.
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
      const double a = values[i], b = values[i + 1];
      uint64_t key_a = 0, key_b = 0;
      ASSERT_TRUE(fixed_point_key(a, f.precision, key_a)) << a;
      ASSERT_TRUE(fixed_point_key(b, f.precision, key_b)) << b;
      const bool same_text = printf_fixed(a, f.width, f.precision, f.padding) ==
                             printf_fixed(b, f.width, f.precision, f.padding);
      if ((key_a == key_b) != same_text && ++differences <= 5) {
        ADD_FAILURE() << "precision " << f.precision << ": " << a << " and " << b
                      << (same_text ? " are written alike but have other keys"
                                    : " are written differently but share a key");
      }
    }
    EXPECT_EQ(differences, 0) << "precision " << f.precision;
  }
  uint64_t key = 0;
  for (double none :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), std::ldexp(1.0, 52), -1e300}) {
    EXPECT_FALSE(fixed_point_key(none, 1, key)) << none;
  }
  // Beyond three decimals the rounded value no longer fits the key's 63 bits: no key at all.
  for (int precision = 4; precision <= 8; ++precision) {
    EXPECT_FALSE(fixed_point_key(0.5, precision, key)) << precision;
  }
}

TEST(TextFormat, NanAndInfinityArePaddedWithBlanksWhateverThePadding) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  expect_fixed_like_printf({nan, -nan, inf, -inf});
  EXPECT_EQ(fixed_text(inf, 5, 1, Padding::Zeros), "  inf");
  EXPECT_EQ(fixed_text(-nan, 6, 1, Padding::Blanks), "  -nan");
}

TEST(TextFormat, DecimalMatchesPrintfForEveryWidthAndSign) {
  std::vector<int64_t> values = {std::numeric_limits<int64_t>::min(),
                                 std::numeric_limits<int64_t>::max(),
                                 std::numeric_limits<int32_t>::min(),
                                 std::numeric_limits<int32_t>::max(),
                                 65535,
                                 255,
                                 -255};
  for (int64_t v = -1200; v <= 1200; ++v) values.push_back(v);
  int64_t power = 1;
  for (int digits = 1; digits <= 18; ++digits) {
    power *= 10;  // up to 10^18, the last power of ten in 64 bits
    for (int64_t v : {power - 1, power, -power, 1 - power}) values.push_back(v);
  }
  for (int width : {0, 1, 2, 3, 4, 7}) {
    for (Padding padding : {Padding::Blanks, Padding::Zeros}) {
      for (int64_t v : values) {
        ASSERT_EQ(decimal_text(v, width, padding), printf_decimal(v, width, padding))
            << "value " << v << " width " << width;
      }
    }
  }
}

TEST(TextFormat, ATextIsCutAtItsBufferAsSnprintfCutsIt) {
  // Text, a whole number and a fixed-point value in turn, into every buffer size up to past
  // their length; the bytes after the buffer stay as they were.
  for (std::size_t size = 0; size <= 24; ++size) {
    char chars[32];
    std::string(31, 'Z').copy(chars, 31);
    chars[31] = '\0';
    BoundedText text = bounded_text(chars, size);
    append_text(text, "R ");
    append_decimal(text, -7, 3, Padding::Zeros);
    append_fixed(text, 10800.005, 9, 2, Padding::Blanks);
    append_char(text, '\xB0');

    char expected[32];
    std::string(31, 'Z').copy(expected, 31);
    expected[31] = '\0';
    std::snprintf(expected, size, "%s%03d%9.2f%s", "R ", -7, 10800.005, "\xB0");
    EXPECT_EQ(std::string(chars, 32), std::string(expected, 32)) << "buffer of " << size;
    EXPECT_EQ(text.length, size == 0 ? 0 : std::min<std::size_t>(size - 1, 15));
  }
}

}  // namespace
