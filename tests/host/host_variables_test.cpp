// Host variables as the module reads them, with expected values worked out from the units
// (not from the host's own constants) and the token ids as the simulator numbers them: both
// independent of the shared vocabulary on purpose, so a wrong constant there shows here.
#include "host/host_variables.h"

#include <gtest/gtest.h>

namespace {

struct Rig {
  host::Aircraft aircraft;
  host::SimClock clock;
  host::HostVariables variables{aircraft, clock};

  double read(uint32_t token) {
    HostVar var{token, nullptr, 0, -1.0, -2.0};
    variables.answer(var);
    return var.value;
  }
};

TEST(HostVariables, ConditionsInTheSimulatorsUnits) {
  struct Case {
    const char* name;
    double set_to;
    uint32_t token;
    double expected;
  };
  const double two_to_48 = 281474976710656.0;
  const Case cases[] = {
      {"lat", 45.0, 71, 45.0 / 8.998425275459815e-6},
      {"lat", -33.5, 71, -33.5 / 8.998425275459815e-6},
      {"lon", 90.0, 72, two_to_48 / 4},
      {"lon", -90.0, 72, two_to_48 * 3 / 4},  // west: 2^48 plus the negative angle
      {"lon", 0.0, 72, 0.0},
      {"gs", 100.0, 832, 100.0 * 1852.0 / 3600.0},
      {"heading", 275.0, 81, 275.0},
      {"magvar", -12.0, 82, -12.0},
      {"wind_speed", 35.0, 343, 35.0},
      {"wind_dir", 250.0, 344, 250.0},
      {"mach", 0.82, 64, 0.82 * 20480},
      {"oat", -45.0, 341, -45.0},
      {"battery", 1, 364, 1.0},
      {"main_power", 1, 566, 1.0},
      {"ap_master", 1, 103, 1.0},
      {"ap_heading", 1, 106, 1.0},
      {"tick", 500, 1, 500.0},
  };
  for (const Case& c : cases) {
    Rig rig;
    ASSERT_TRUE(rig.variables.set_condition(c.name, c.set_to)) << c.name;
    EXPECT_DOUBLE_EQ(rig.read(c.token), c.expected) << c.name << " " << c.set_to;
  }
}

TEST(HostVariables, UnknownIdsLeaveTheRecordAsItIs) {
  Rig rig;
  double somewhere = 0.0;
  HostVar var{9999, &somewhere, 77, 1.5, 2.5};
  rig.variables.answer(var);
  EXPECT_EQ(var.token_id, 9999u);
  EXPECT_EQ(var.value_ref, &somewhere);
  EXPECT_EQ(var.value_type, 77u);
  EXPECT_EQ(var.value, 1.5);
  EXPECT_EQ(var.previous_value, 2.5);
}

TEST(HostVariables, KnownIdsKeepThePreviousValue) {
  Rig rig;
  HostVar var{81, nullptr, 0, 10.0, 0.0};
  rig.variables.set_condition("heading", 20.0);
  rig.variables.answer(var);
  EXPECT_EQ(var.previous_value, 10.0);
  EXPECT_EQ(var.value, 20.0);
}

TEST(HostVariables, RawPinHoldsUntilTheConditionIsSetAgain) {
  Rig rig;
  rig.variables.pin_raw(71, 123.0);
  rig.variables.pin_raw(4242, 7.0);  // any id, known to the host or not
  EXPECT_EQ(rig.read(71), 123.0);
  EXPECT_EQ(rig.read(4242), 7.0);
  rig.variables.set_condition("lat", 0.0);
  EXPECT_EQ(rig.read(71), 0.0);
}

TEST(HostVariables, PowerAndSwitchesDefaultOff) {
  Rig rig;
  for (uint32_t token : {364u, 566u, 103u, 106u}) EXPECT_EQ(rig.read(token), 0.0) << token;
  EXPECT_FALSE(rig.variables.set_condition("flaps", 1.0));
}

}  // namespace
