// The one float-to-integer conversion of the module. A plain cast of a double that is NaN or out
// of the target's range is undefined behaviour; this helper is defined for every input:
// truncation toward zero, NaN gives 0, values beyond the 64-bit range saturate there, and the
// narrowing to a smaller type wraps around (modulo 2^bits), which is what the gauges rely on
// where a value wraps (8-bit hours, 16-bit headings).
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

inline int64_t truncate_toward_zero(double value) {
  if (std::isnan(value)) return 0;
  constexpr double TWO_POW_63 = 9223372036854775808.0;
  if (value >= TWO_POW_63) return INT64_MAX;
  if (value <= -TWO_POW_63) return INT64_MIN;
  return static_cast<int64_t>(value);
}

template <typename Integer>
inline Integer truncate_to(double value) {
  static_assert(std::is_integral_v<Integer>);
  return static_cast<Integer>(truncate_toward_zero(value));
}
