// The standard atmosphere against the published ISA table (temperature and speed of sound by
// altitude), and the Mach number a true airspeed gives at cruise.
#include "host/flight/atmosphere.h"

#include <gtest/gtest.h>

namespace {

struct IsaRow {
  double alt_ft;
  double temperature_c;
  double speed_of_sound_kt;
};

// Values as printed in ISA tables (to the tenth of a degree and of a knot).
constexpr IsaRow ISA_TABLE[] = {
    {0.0, 15.0, 661.5},      {5000.0, 5.1, 650.0},    {10000.0, -4.8, 638.3},
    {20000.0, -24.6, 614.3}, {30000.0, -44.4, 589.3}, {36089.0, -56.5, 573.6},
    {40000.0, -56.5, 573.6}, {50000.0, -56.5, 573.6},
};

TEST(Atmosphere, TemperatureAndSpeedOfSoundMatchTheIsaTable) {
  for (const IsaRow& row : ISA_TABLE) {
    SCOPED_TRACE(row.alt_ft);
    EXPECT_NEAR(flight::isa_temperature_c(row.alt_ft), row.temperature_c, 0.06);
    EXPECT_NEAR(flight::isa_speed_of_sound_kt(row.alt_ft), row.speed_of_sound_kt, 0.06);
  }
}

TEST(Atmosphere, TropopauseIsContinuousAndTemperatureStaysAboveIt) {
  EXPECT_NEAR(flight::ISA_TROPOPAUSE_FT, 36089.24, 0.01);
  EXPECT_NEAR(flight::isa_temperature_c(flight::ISA_TROPOPAUSE_FT - 1.0),
              flight::isa_temperature_c(flight::ISA_TROPOPAUSE_FT), 0.002);
  EXPECT_DOUBLE_EQ(flight::isa_temperature_c(flight::ISA_TROPOPAUSE_FT + 5000.0), -56.5);
  // Below sea level (Dead Sea airfields, a scenario's mistake) it is warmer, and finite.
  EXPECT_NEAR(flight::isa_temperature_c(-1000.0), 15.0 + 1.98, 0.01);
}

TEST(Atmosphere, MachAndTasAreConsistent) {
  // Mach 0.80 at FL350 is 461.1 knots true (576.4 knots is the speed of sound there).
  EXPECT_NEAR(flight::tas_from_mach(0.80, 35000.0), 461.1, 0.1);
  EXPECT_NEAR(flight::mach_from_tas(461.1, 35000.0), 0.80, 0.0005);
  // At sea level the speed of sound is 661.5 knots, so 330.7 knots is Mach 0.5.
  EXPECT_NEAR(flight::mach_from_tas(330.74, 0.0), 0.5, 0.0002);
  for (double alt_ft : {0.0, 18000.0, 41000.0}) {
    EXPECT_NEAR(flight::mach_from_tas(flight::tas_from_mach(0.78, alt_ft), alt_ft), 0.78, 1e-12);
  }
}

}  // namespace
