#include "host/flight/atmosphere.h"

#include <algorithm>
#include <cmath>

namespace flight {

namespace {
constexpr double GAMMA_AIR = 1.4;
constexpr double R_AIR_J_PER_KG_K = 287.05287;  // specific gas constant of dry air
}  // namespace

double isa_temperature_k(double alt_ft) {
  const double alt_m = alt_ft / FEET_PER_METRE;
  return std::max(ISA_SEA_LEVEL_K - ISA_LAPSE_K_PER_M * alt_m, ISA_TROPOPAUSE_K);
}

double isa_temperature_c(double alt_ft) {
  return isa_temperature_k(alt_ft) - KELVIN_AT_ZERO_CELSIUS;
}

double isa_speed_of_sound_kt(double alt_ft) {
  const double speed_m_s = std::sqrt(GAMMA_AIR * R_AIR_J_PER_KG_K * isa_temperature_k(alt_ft));
  return speed_m_s / METRES_PER_SECOND_PER_KNOT;
}

double mach_from_tas(double tas_kt, double alt_ft) {
  return tas_kt / isa_speed_of_sound_kt(alt_ft);
}

double tas_from_mach(double mach, double alt_ft) {
  return mach * isa_speed_of_sound_kt(alt_ft);
}

}  // namespace flight
