// Host variables as the module reads them, with expected values worked out from the units
// (not from the host's own constants) and the token ids as the simulator numbers them: both
// independent of the shared vocabulary on purpose, so a wrong constant there shows here.
#include "host/aircraft/host_variables.h"

#include <gtest/gtest.h>

// (HostVar is packed to 4 bytes as the simulator lays it out: its 8-byte fields are read as
// copies, with a unary plus, where EXPECT_EQ would take a reference to them.)

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
  // Ids between and beyond the known ones, the largest 32-bit one included.
  for (uint32_t token : {0u, 2u, 500u, 833u, 9999u, 0xFFFFFFFFu}) {
    Rig rig;
    double somewhere = 0.0;
    HostVar var{token, &somewhere, 77, 1.5, 2.5};
    rig.variables.answer(var);
    EXPECT_EQ(var.token_id, token);
    EXPECT_EQ(+var.value_ref, &somewhere) << token;
    EXPECT_EQ(var.value_type, 77u) << token;
    EXPECT_EQ(+var.value, 1.5) << token;
    EXPECT_EQ(+var.previous_value, 2.5) << token;
    EXPECT_FALSE(rig.variables.value_of(token).has_value()) << token;
  }
}

TEST(HostVariables, KnownIdsKeepThePreviousValue) {
  Rig rig;
  HostVar var{81, nullptr, 0, 10.0, 0.0};
  rig.variables.set_condition("heading", 20.0);
  rig.variables.answer(var);
  EXPECT_EQ(+var.previous_value, 10.0);
  EXPECT_EQ(+var.value, 20.0);
}

TEST(HostVariables, EachAskAnswersTheAircraftAsItIsThen) {
  // The module keeps one record per id and asks again every frame: the answer follows the
  // aircraft and the clock as they move, the record's value before it becomes the previous one.
  struct Case {
    uint32_t token;
    void (*move)(host::Aircraft&, host::SimClock&);
  };
  const Case cases[] = {
      {1,
       [](host::Aircraft&, host::SimClock& c) {
         c.advance_frame();
         c.advance_frame();
       }},
      {71, [](host::Aircraft& a, host::SimClock&) { a.lat_deg += 0.001; }},
      {72, [](host::Aircraft& a, host::SimClock&) { a.lon_east_deg -= 0.001; }},
      {832, [](host::Aircraft& a, host::SimClock&) { a.gs_kt += 1.0; }},
      {81, [](host::Aircraft& a, host::SimClock&) { a.heading_mag_deg += 3.0; }},
      {64, [](host::Aircraft& a, host::SimClock&) { a.mach += 0.01; }},
      {341, [](host::Aircraft& a, host::SimClock&) { a.oat_c -= 2.0; }},
      {364, [](host::Aircraft& a, host::SimClock&) { a.battery_on = !a.battery_on; }},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.aircraft.lat_deg = 52.0;
    rig.aircraft.lon_east_deg = -8.0;
    rig.aircraft.mach = 0.8;
    for (int i = 0; i < 25; ++i) rig.clock.advance_frame();
    HostVar var{c.token, nullptr, 0, 0.0, 0.0};
    rig.variables.answer(var);
    const double first = var.value;
    c.move(rig.aircraft, rig.clock);
    rig.variables.answer(var);
    EXPECT_NE(+var.value, first) << c.token;
    EXPECT_EQ(+var.previous_value, first) << c.token;
    EXPECT_EQ(+var.value, *rig.variables.value_of(c.token)) << c.token;
    EXPECT_EQ(+var.value_ref, &var.value) << c.token;
  }
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
