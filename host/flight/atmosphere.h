// The International Standard Atmosphere up to 65,617 ft (20 km): temperature and the speed of
// sound at a pressure altitude, and the Mach number they give a true airspeed. The host answers
// the module's Mach and outside-air-temperature variables from these, so the two always agree
// with each other and with the aircraft's altitude.
//
// Troposphere: 15 C at sea level falling 6.5 C per km up to the tropopause at 11 km (36,089 ft),
// then a constant -56.5 C. Above 20 km the model holds the tropopause temperature: an airliner
// never gets there, and a scenario that sets such an altitude still gets finite values.
#pragma once

#include "boundary/gauge_vocabulary.h"

namespace flight {

constexpr double FEET_PER_METRE = 1.0 / 0.3048;

constexpr double ISA_SEA_LEVEL_K = 288.15;
constexpr double ISA_LAPSE_K_PER_M = 0.0065;
constexpr double ISA_TROPOPAUSE_M = 11000.0;
constexpr double ISA_TROPOPAUSE_FT = ISA_TROPOPAUSE_M * FEET_PER_METRE;  // 36,089.24 ft
constexpr double ISA_TROPOPAUSE_K = ISA_SEA_LEVEL_K - ISA_LAPSE_K_PER_M * ISA_TROPOPAUSE_M;

// Static air temperature at a pressure altitude, kelvin. Altitudes below sea level follow the
// tropospheric lapse (warmer); the result is clamped to the tropopause value above it.
double isa_temperature_k(double alt_ft);
double isa_temperature_c(double alt_ft);

// Speed of sound in dry air at the standard temperature of that altitude, knots.
double isa_speed_of_sound_kt(double alt_ft);

// Mach number of a true airspeed at an altitude, and the inverse.
double mach_from_tas(double tas_kt, double alt_ft);
double tas_from_mach(double mach, double alt_ft);

}  // namespace flight
