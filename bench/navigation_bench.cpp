// Cost of one frame of navigation, in two sizes:
//
// - BM_NavigationCycle: the navigation cycle alone (INS_UPDATE's code 6), on an ordinary frame
//   (no waypoint reload) with HOLD engaged in AUTO, so it sends the steering event; linked with
//   the module's static library and a minimal host that answers from constants.
// - BM_PlacedGaugesFrame: a whole frame of the real host's panel with INS.so placed (INS,
//   INS_UPDATE, ALIGN): the three gauges' code 6 and the draw of every element, every text window
//   included, in the same flown state (bench/flown_panel.h).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_folder.h"
#include "boundary/gauge_api.h"
#include "module/gauge_tables.h"
#include "nav/navigation_cycle.h"
#include "state/host_bridge.h"
#include "state/ins_state.h"

#ifdef INS_BENCH_PLACED_PANEL
#include "flown_panel.h"
#endif

namespace {

// The flown state of the scenarios: 3 NM left of the first leg, 420 kt, HOLD on.
double host_value(uint32_t token_id) {
  switch (token_id) {
    case 1:
      return 1000.0;  // tick
    case 71:
      return 0.05 / 8.998425275459815e-6;  // latitude 0.05 N
    case 72:
      return 0.2 / 360.0 * 281474976710656.0;  // longitude 0.2 E
    case 832:
      return 420.0 * 1852.0 / 3600.0;  // ground speed 420 kt, in m/s
    case 81:
      return 98.0;  // magnetic heading
    case 82:
      return -5.0;  // variation 5 W
    case 343:
      return 19.5;  // wind speed
    case 344:
      return 134.5;  // wind from, true
    case 64:
      return 0.6 * 20480.0;  // Mach 0.6
    case 341:
      return 15.0;  // OAT
    default:
      return 1.0;  // power sources and both autopilot conditions on
  }
}

void GAUGE_CALLBACK bench_lookup_var(HostVar* var) {
  var->value = host_value(var->token_id);
}

volatile uint32_t last_steering = 0;
int32_t GAUGE_CALLBACK bench_trigger_key_event(uint32_t event_id, uint32_t value) {
  if (event_id == EVENT_HEADING_BUG_SET) last_steering = value;
  return 0;
}

PanelServiceTable& bench_services() {
  static PanelServiceTable table = [] {
    PanelServiceTable t{};
    t.routines[PANEL_ROUTINE_LOOKUP_VAR] = reinterpret_cast<PanelService>(&bench_lookup_var);
    t.routines[PANEL_ROUTINE_TRIGGER_KEY_EVENT] =
        reinterpret_cast<PanelService>(&bench_trigger_key_event);
    return t;
  }();
  return table;
}

void BM_NavigationCycle(benchmark::State& state) {
  const BenchFolder folder(state, BenchFolder::AsWorkingFolder);
  if (!folder.made()) return;
  std::ofstream("WAYPOINTS.DAT") << "0 0.00000000 0.00000000\n"
                                    "1 0.00000000 -0.01745329\n"
                                    "2 0.01745329 -0.01745329\n"
                                    "3 0.01745329 -0.03490658\n";

  reset_module_for_tests();
  ImportTable.panel_services.table = &bench_services();
  ins_state.ins_powered = 1;
  ins_state.nav_ready = 1;
  ins_state.to_waypoint = 1;
  navigation_cycle(true);  // the reload frame: reads ALFA and waypoint 00 from the file
  navigation_cycle(true);  // the speed and track of a previous frame for the drift angle
  ins_state.hold_active = 1;
  last_steering = 0;

  for (auto _ : state) {
    navigation_cycle(true);
  }

  const bool steering = ins_state.hold_active == 1 && ins_state.reload_to_waypoint == 0 &&
                        ins_state.to_waypoint == 1 && last_steering == 99;
  ImportTable.panel_services.table = nullptr;
  if (!steering) state.SkipWithError("the cycle was not steering on the first leg");
}
BENCHMARK(BM_NavigationCycle);

#ifdef INS_BENCH_PLACED_PANEL
void BM_PlacedGaugesFrame(benchmark::State& state) {
  bench::FlownPanel panel;
  int steering = 0;
  for (auto _ : state) {
    panel.frame();
    steering += panel.steering_events();
  }
  if (steering != static_cast<int>(state.iterations())) {
    state.SkipWithError("HOLD was not steering every frame");
  }
}
BENCHMARK(BM_PlacedGaugesFrame)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
