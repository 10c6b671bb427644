#include "store/plan_positions.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "boundary/gauge_vocabulary.h"
#include "store/text_lines.h"

namespace {

// Degrees of a plan convert in long double, as the readers of the plan shapes were written; the
// double PI of the vocabulary bounds the globe.
constexpr long double PI_L = 3.141592653589793238462643383279502884L;
constexpr float LAT_LIMIT_RAD = static_cast<float>(PI / 2);
constexpr float LON_LIMIT_RAD = static_cast<float>(PI);

// --- The two syntaxes' rules.

void keep_if_finite(float& field, float value) {
  if (std::isfinite(value)) field = value;
}

bool digit(char c) {
  return c >= '0' && c <= '9';
}

// --- The XML rule's shape as every tool writes it, read without sscanf: the hemisphere letter,
// 1 to 9 degree digits, non-digits, minutes, non-digits, seconds, anything up to an E or W, and
// the same for the longitude. Each step takes exactly what the rule's conversion takes and gives
// the value it gives; a step that meets anything else (a blank or a sign before the degrees, an
// exponent, a tenth digit, a run longer than the rule's 99) leaves the line to sscanf.

// %*99[^0123456789] up to the digit of the next number.
bool skip_to_number(const char*& p) {
  const char* start = p;
  while (*p != '\0' && !digit(*p)) ++p;
  return p != start && p - start <= 99 && digit(*p);
}

// Powers of ten a float holds exactly.
constexpr float EXACT_POWERS_OF_TEN[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
// Numbers of at most this many digits are below 2^24, so a float holds them exactly.
constexpr int EXACT_DIGITS = 7;

// %f at a digit: digits, a point and digits, converted to the float nearest to them, as sscanf
// converts them. A letter or a second point after them (an exponent, a hexadecimal number) is not
// this shape. A number of up to 7 digits is its digits divided by a power of ten, both exact in
// a float: the one division rounds to the nearest float, the result strtof gives (where float
// arithmetic is done in float; elsewhere, and for longer numbers, strtof itself converts).
bool take_number(const char*& p, float& value) {
  const char* start = p;
  uint32_t digits_value = 0;
  int digits = 0;
  int decimals = 0;
  for (; digit(*p); ++p, ++digits)
    digits_value = digits_value * 10 + static_cast<uint32_t>(*p - '0');
  if (*p == '.') {
    for (++p; digit(*p); ++p, ++digits, ++decimals) {
      digits_value = digits_value * 10 + static_cast<uint32_t>(*p - '0');
    }
  }
  const char next = *p;
  if ((next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next == '.') return false;
#if FLT_EVAL_METHOD == 0
  if (digits <= EXACT_DIGITS) {
    value = static_cast<float>(digits_value) / EXACT_POWERS_OF_TEN[decimals];
    return true;
  }
#endif
  char* end = nullptr;
  value = std::strtof(start, &end);
  return end == p;
}

// One axis after its letter: degrees, minutes, seconds.
bool take_axis(const char*& p, int& degrees, float& minutes, float& seconds) {
  return take_short_number(p, degrees) && skip_to_number(p) && take_number(p, minutes) &&
         skip_to_number(p) && take_number(p, seconds);
}

// %*99[^EW]%1c: the run up to the longitude's letter, and the letter.
bool take_longitude_letter(const char*& p, char& letter) {
  const char* start = p;
  while (*p != '\0' && *p != 'E' && *p != 'W') ++p;
  if (p == start || p - start > 99 || *p == '\0') return false;
  letter = *p++;
  return true;
}

// All eight fields of a line in that shape into `read`; false, with `read` as it was, otherwise.
bool read_xml_rule_shape(const char* line, RuleFields& read) {
  RuleFields taken;
  const char* p = line;
  if (*p == '\0') return false;
  taken.lat_hemisphere = *p++;
  if (!take_axis(p, taken.lat_degrees, taken.lat_minutes, taken.lat_seconds) ||
      !take_longitude_letter(p, taken.lon_hemisphere) ||
      !take_axis(p, taken.lon_degrees, taken.lon_minutes, taken.lon_seconds)) {
    return false;
  }
  read = taken;
  return true;
}

// Parses a line of the rules' shapes into `fields`. Conversions run in order and stop at the
// first one the text does not supply, so the fields after it keep their values. Separators are
// skipped whatever their length (a degree sign takes one or two bytes); none of them is stored.
// Returns whether the line supplied the degrees of both axes itself.
bool parse_by_rule(const char* line, int syntax, RuleFields& fields) {
  RuleFields read = fields;
  bool own = false;
  if (syntax == SYNTAX_XML && read_xml_rule_shape(line, read)) {
    own = true;  // all eight conversions
  } else if (syntax == SYNTAX_XML) {
    const int converted =
        std::sscanf(line,
                    "%1c%9d%*99[^0123456789]%f%*99[^0123456789]%f%*99[^EW]"
                    "%1c%9d%*99[^0123456789]%f%*99[^0123456789]%f",
                    &read.lat_hemisphere, &read.lat_degrees, &read.lat_minutes, &read.lat_seconds,
                    &read.lon_hemisphere, &read.lon_degrees, &read.lon_minutes, &read.lon_seconds);
    own = converted >= 6;  // up to the longitude degrees
  } else if (syntax == SYNTAX_KEY_VALUE) {
    // The key=value form has decimal minutes and no seconds.
    read.lat_seconds = 0.0f;
    read.lon_seconds = 0.0f;
    const int converted = std::sscanf(line, " %1c%9d%*99s %f%*2s %1c%9d%*99s %f%*2s",
                                      &read.lat_hemisphere, &read.lat_degrees, &read.lat_minutes,
                                      &read.lon_hemisphere, &read.lon_degrees, &read.lon_minutes);
    own = converted >= 5;
  }
  fields.lat_hemisphere = read.lat_hemisphere;
  fields.lat_degrees = read.lat_degrees;
  keep_if_finite(fields.lat_minutes, read.lat_minutes);
  keep_if_finite(fields.lat_seconds, read.lat_seconds);
  fields.lon_hemisphere = read.lon_hemisphere;
  fields.lon_degrees = read.lon_degrees;
  keep_if_finite(fields.lon_minutes, read.lon_minutes);
  keep_if_finite(fields.lon_seconds, read.lon_seconds);
  return own;
}

// Degrees, minutes and seconds to radians, in extended precision; S and E make it negative.
float rule_radians(int degrees, float minutes, float seconds, bool negative) {
  long double value =
      (static_cast<long double>(degrees) + minutes * (1.0L / 60.0L) + seconds * (1.0L / 3600.0L)) *
      PI_L * (1.0L / 180.0L);
  return static_cast<float>(negative ? -value : value);
}

// --- The shapes beyond the rules. Each reader moves `p` past what it read and returns false,
// leaving the line to the rule, as soon as the text is not in its shape.

void skip_blanks(const char*& p) {
  while (*p == ' ' || *p == '\t') ++p;
}

// Digits with an optional fraction ("47", "47.50", "47."): no sign, no exponent.
bool read_unsigned_decimal(const char*& p, long double& value) {
  const char* start = p;
  while (digit(*p)) ++p;
  const bool whole_digits = p != start;
  if (*p == '.') {
    ++p;
    while (digit(*p)) ++p;
  }
  if (!whole_digits && p - start <= 1) {
    p = start;
    return false;
  }
  char* end = nullptr;
  value = std::strtold(start, &end);
  return end == p;
}

bool read_signed_decimal(const char*& p, long double& value) {
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (!read_unsigned_decimal(p, value)) return false;
  if (negative) value = -value;
  return true;
}

// After the last coordinate only the altitude, the closing tag or the line's end may follow.
bool position_ends(const char*& p) {
  skip_blanks(p);
  return *p == ',' || *p == '<' || *p == '\n' || *p == '\r' || *p == '\0';
}

float radians_of(long double degrees) {
  return static_cast<float>(degrees * PI_L * (1.0L / 180.0L));
}

// "54.285833 , -130.444678": signed decimal degrees, latitude first, longitude east positive.
bool read_decimal_degrees(const char* p, PlanPosition& position) {
  long double lat = 0.0L, lon_east = 0.0L;
  skip_blanks(p);
  if (!read_signed_decimal(p, lat)) return false;
  skip_blanks(p);
  if (*p++ != ',') return false;
  skip_blanks(p);
  if (!read_signed_decimal(p, lon_east) || !position_ends(p)) return false;
  position = PlanPosition{radians_of(lat), radians_of(-lon_east), true};
  return true;
}

// One axis in degrees and decimal minutes: the hemisphere letter, whole degrees, a separator
// without digits (a degree sign in any encoding, a star, blanks), decimal minutes and an
// optional minute mark. Returns signed degrees, the `negative` letter making them negative.
bool read_minutes_axis(const char*& p, char positive, char negative, long double& degrees) {
  skip_blanks(p);
  const char letter = *p;
  if (letter != positive && letter != negative) return false;
  ++p;
  skip_blanks(p);
  const char* whole_start = p;
  while (digit(*p)) ++p;
  if (p == whole_start) return false;
  const long double whole = std::strtold(whole_start, nullptr);
  const char* separator = p;
  while (*p != '\0' && *p != ',' && *p != '.' && *p != '\n' && !digit(*p)) ++p;
  if (p == separator) return false;
  long double minutes = 0.0L;
  if (!read_unsigned_decimal(p, minutes)) return false;
  if (*p == '\'') ++p;
  degrees = whole + minutes * (1.0L / 60.0L);
  if (letter == negative) degrees = -degrees;
  return true;
}

// "S22° 47.50',W45° 12.29'": degrees and decimal minutes with hemisphere letters. A latitude
// that goes on with seconds (the rule's shape) is not this shape.
bool read_degrees_minutes(const char* p, PlanPosition& position) {
  long double lat = 0.0L, lon_west = 0.0L;
  if (!read_minutes_axis(p, 'N', 'S', lat)) return false;
  skip_blanks(p);
  if (*p++ != ',') return false;
  if (!read_minutes_axis(p, 'W', 'E', lon_west) || !position_ends(p)) return false;
  position = PlanPosition{radians_of(lat), radians_of(lon_west), true};
  return true;
}

}  // namespace

PlanPosition read_plan_position(const char* text, int syntax, RuleFields& fields) {
  PlanPosition position;
  if (syntax == SYNTAX_XML &&
      (read_decimal_degrees(text, position) || read_degrees_minutes(text, position))) {
    return position;
  }
  position.own = parse_by_rule(text, syntax, fields);
  // Seconds stay zero in the key=value form, which gives decimal minutes only.
  position.lat = rule_radians(fields.lat_degrees, fields.lat_minutes, fields.lat_seconds,
                              fields.lat_hemisphere == 'S');
  position.lon = rule_radians(fields.lon_degrees, fields.lon_minutes, fields.lon_seconds,
                              fields.lon_hemisphere == 'E');
  return position;
}

bool on_the_globe(double lat, double lon) {
  return std::isfinite(lat) && std::isfinite(lon) &&
         std::fabs(lat) <= static_cast<double>(LAT_LIMIT_RAD) &&
         std::fabs(lon) <= static_cast<double>(LON_LIMIT_RAD);
}
