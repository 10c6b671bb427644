// The flight model attached to the host's aircraft: what `motion`, `takeoff`, `set altitude`,
// `set tas` and the heading bug do to the host variables the module reads. Expected values are
// worked from the units (ISA table values, knots to metres a second, Mach 1 as 20480) and the
// wind triangle, independent of the host's constants on purpose.
#include "host/aircraft/aircraft_motion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/aircraft/host_variables.h"

namespace {

struct Rig {
  host::Aircraft aircraft;
  host::SimClock clock;
  host::HostVariables variables{aircraft, clock};
  host::AircraftMotion motion{aircraft};

  double read(uint32_t token) {
    HostVar var{token, nullptr, 0, -1.0, -2.0};
    variables.answer(var);
    return var.value;
  }
  void run(double seconds) {
    for (long i = 0; i < std::lround(seconds * clock.fps()); ++i) {
      clock.advance_frame();
      aircraft.step(clock.dt_s());
    }
  }
};

TEST(AircraftMotion, OffByDefaultPositionAndSpeedStayAsSet) {
  Rig rig;
  rig.variables.set_condition("lat", 10.0);
  rig.variables.set_condition("gs", 250.0);
  rig.variables.set_condition("tas", 450.0);
  rig.run(60.0);
  EXPECT_EQ(rig.aircraft.lat_deg, 10.0);
  EXPECT_EQ(rig.read(HOST_VAR_GROUND_SPEED), 250.0 * 1852.0 / 3600.0);
}

TEST(AircraftMotion, AltitudeAndSpeedGiveMachAndTemperatureUnlessSet) {
  Rig rig;
  rig.variables.set_condition("altitude", 36089.24);
  rig.variables.set_condition("tas", 573.57);  // the speed of sound at the tropopause
  EXPECT_NEAR(rig.read(HOST_VAR_OAT), -56.5, 0.01);
  EXPECT_NEAR(rig.read(HOST_VAR_MACH), 20480.0, 20480.0 * 1e-4);
  rig.variables.set_condition("oat", -40.0);  // set: the atmosphere no longer overrides it
  rig.variables.set_condition("altitude", 10000.0);
  EXPECT_EQ(rig.read(HOST_VAR_OAT), -40.0);
  EXPECT_NEAR(rig.read(HOST_VAR_MACH), 573.57 / 638.33 * 20480.0, 2.0);
}

TEST(AircraftMotion, OnFliesTheWindTriangleAndTheAutopilotTurnsToTheBug) {
  Rig rig;
  rig.variables.set_condition("lat", 0.0);
  rig.variables.set_condition("heading", 80.0);  // magnetic; 10 E makes it 090 true
  rig.variables.set_condition("magvar", 10.0);
  rig.variables.set_condition("tas", 450.0);
  rig.variables.set_condition("altitude", 30000.0);
  rig.variables.set_condition("wind_dir", 0.0);
  rig.variables.set_condition("wind_speed", 40.0);
  rig.motion.motion_on();
  rig.run(1.0);
  // 450 east and 40 from the north: sqrt(450^2 + 40^2) = 451.77 knots over the ground.
  EXPECT_NEAR(rig.read(HOST_VAR_GROUND_SPEED), 451.774 * 1852.0 / 3600.0, 0.001);
  EXPECT_NEAR(rig.read(HOST_VAR_HEADING_MAG), 80.0, 1e-9);
  // The bug at 110 magnetic with both switches on: 30 degrees at 3 a second.
  rig.aircraft.heading_bug_mag_deg = 110.0;
  rig.variables.set_condition("ap_master", 1.0);
  rig.run(5.0);
  EXPECT_NEAR(rig.read(HOST_VAR_HEADING_MAG), 80.0, 1e-9);  // heading mode still off
  rig.variables.set_condition("ap_heading", 1.0);
  rig.run(5.0);
  EXPECT_NEAR(rig.read(HOST_VAR_HEADING_MAG), 95.0, 1e-6);
  rig.run(60.0);
  EXPECT_NEAR(rig.read(HOST_VAR_HEADING_MAG), 110.0, 1e-6);
  // A scenario's new speed is held, not flown back to the old one.
  rig.variables.set_condition("tas", 300.0);
  rig.run(10.0);
  EXPECT_NEAR(rig.aircraft.tas_kt, 300.0, 1e-9);
  rig.motion.motion_off();
  const double lat = rig.aircraft.lat_deg;
  rig.run(10.0);
  EXPECT_EQ(rig.aircraft.lat_deg, lat);
}

TEST(AircraftMotion, TakeoffRollsWithoutDriftThenClimbs) {
  Rig rig;
  rig.variables.set_condition("heading", 0.0);
  rig.variables.set_condition("wind_dir", 90.0);
  rig.variables.set_condition("wind_speed", 40.0);
  rig.motion.take_off(10000.0, 300.0);
  rig.run(40.0);  // on the ground: straight up the runway, no drift from the crosswind
  EXPECT_EQ(rig.aircraft.lon_east_deg, 0.0);
  EXPECT_NEAR(rig.aircraft.gs_kt, 120.0, 0.2);
  rig.run(60.0);  // airborne, climbing at 2,500 ft a minute
  EXPECT_GT(rig.aircraft.alt_ft, 1500.0);
  EXPECT_LT(rig.aircraft.lon_east_deg, 0.0);  // drifting west in the wind from the east
}

TEST(AircraftMotion, WindLayersFollowTheAltitude) {
  Rig rig;
  rig.motion.add_wind_layer(0.0, flight::Wind{180.0, 10.0});
  rig.motion.add_wind_layer(30000.0, flight::Wind{270.0, 90.0});
  rig.variables.set_condition("altitude", 30000.0);
  rig.variables.set_condition("tas", 400.0);
  rig.motion.motion_on();
  rig.run(0.5);
  EXPECT_NEAR(rig.read(HOST_VAR_WIND_DIR), 270.0, 1e-9);
  EXPECT_NEAR(rig.read(HOST_VAR_WIND_SPEED), 90.0, 1e-9);
}

}  // namespace
