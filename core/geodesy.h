// The great-circle primitives of the navigation computer, on a sphere whose nautical mile is one
// minute of arc, and the degree forms the displays use. Pure: values in, values out.
//
// Units: angles in radians unless a name says degrees; latitude north-positive. Longitudes in
// the state are WEST-positive; the host's are east-positive and are negated on the way in. The
// great-circle routines are stateless and take both longitudes in the same sense.
#pragma once

#include <cmath>
#include <cstdint>

#include "boundary/gauge_vocabulary.h"

constexpr double ROLLOVER_NUDGE_DEG = 0.00008333;  // just under 0.005 minute
constexpr double COURSE_GUARD = 1e-8;

// Position conversions in the one form every part of the system uses (a product with the
// reciprocal, not a division), so the same angle gives the same bits wherever it is converted.
inline double degrees_to_radians(double degrees) {
  return degrees * PI * (1.0 / 180.0);
}
inline double radians_to_degrees(double radians) {
  return radians * 180.0 * (1.0 / PI);
}

// std::fmod(value, modulus) for a positive modulus, without the library call in the usual case:
// fmod is exact, and a value already smaller in magnitude than the modulus is its own remainder
// (its sign and a negative zero included), so only larger values, NaN and infinity reach fmod.
// Courses and angles in the navigation cycle are nearly always within one turn already.
inline double fmod_positive(double value, double modulus) {
  return std::fabs(value) < modulus ? value : std::fmod(value, modulus);
}

struct DegreesMinutes {
  int32_t whole;       // signed whole degrees
  double minutes;      // signed minutes, |minutes| <= 59.9950002
  int32_t abs_whole;   // |whole|
  double abs_minutes;  // |minutes|
};

// Splits `degrees` into whole degrees and minutes for display. The whole part is taken after
// nudging the value 0.00008333 degrees away from zero, so a value less than 0.005 minute short
// of a whole degree shows as that degree with minutes just below zero (45.99999 gives 46 and
// -0.0006) instead of 45 degrees 60.00 minutes. whole + minutes / 60 gives the value back.
// Exactly 0 gives 0 and 0. Truncation toward zero into 32 bits; NaN gives whole 0.
DegreesMinutes split_degrees(double degrees);

// Great-circle central angle between two positions, radians in [0, pi], by the spherical law of
// cosines. The cosine sum is clamped to [-1, 1] so identical positions give 0 and antipodal ones
// pi instead of NaN. Longitudes may be in either sense (the same for both) and need no
// reduction: only the cosine of their difference is used, so the 180-degree meridian and the
// poles need no special case. Near 0 the result is only good to about 2e-8 radian (0.0001 NM),
// the resolution of acos close to 1. Multiply by NM_PER_RADIAN for nautical miles.
double central_angle(double lat1, double lon1, double lat2, double lon2);

// The sine and cosine of one angle. Written as std::sin and std::cos of the same value side by
// side, which the compiler may merge into one sincos call where the C library's sincos gives the
// same bits as its sin and cos (glibc); the values are those of sin and cos either way.
struct SinCos {
  double sine;
  double cosine;
};
SinCos sin_cos(double angle);

// central_angle from the latitudes' sines and cosines and the cosine of the longitude
// difference, for a caller that already holds them: the same operations in the same order, so
// the same bits as the form above.
double central_angle(SinCos lat1, SinCos lat2, double cos_dlon);

// Initial course of the great circle from A to B, radians in (-pi, pi]. `dlon` is the caller's
// longitude difference: with west-positive longitudes, dlon = lon A - lon B gives the true
// course clockwise from north, and dlon = lon B - lon A gives its negative (counter-clockwise).
// Both terms of the atan2 carry a guard of 1e-8, so identical positions give pi/4 and a pole
// gives a finite course. The result is reduced modulo 2 pi by truncating division (fmod).
double initial_course(double lat_a, double lat_b, double dlon);

// initial_course from the sines and cosines the caller already holds: the same bits.
double initial_course(SinCos lat_a, SinCos lat_b, SinCos dlon);
