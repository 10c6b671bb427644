// A host assembled from its real pieces around a real gauge module, for the host's tests.
// Each rig loads the module afresh (the previous rig's dlclose unloaded it), so every test
// starts from the module's load-time state.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/aircraft/aircraft.h"
#include "host/aircraft/host_variables.h"
#include "host/aircraft/sim_clock.h"
#include "host/panel/activity_log.h"
#include "host/panel/module_loader.h"
#include "host/panel/panel.h"
#include "host/panel/sound_link.h"

namespace host_test {

struct HostRig {
  explicit HostRig(const std::filesystem::path& module_path = INS_FIXTURE_MODULE)
      : module(std::make_unique<host::ModuleLoader>(module_path)),
        panel(std::make_unique<host::Panel>(*module, aircraft, clock, variables, log)) {}
  ~HostRig() {
    panel.reset();
    module.reset();
  }

  const host::PlacedGauge& gauge(const std::string& name = "FIXTURE") const {
    return *panel->find(name);
  }
  ElementHeader& element(std::size_t index, const std::string& name = "FIXTURE") const {
    return *host::Panel::element_at(*gauge(name).header, index);
  }
  std::string text(std::size_t index, const std::string& name = "FIXTURE") const {
    return panel->text_of(element(index, name));
  }
  void frames(int count) {
    for (int i = 0; i < count; ++i) host::steer_autopilot(panel->run_frame(), aircraft);
  }

  host::ActivityLog log;
  std::unique_ptr<host::ModuleLoader> module;
  host::Aircraft aircraft;
  host::SimClock clock;
  host::HostVariables variables{aircraft, clock};
  std::unique_ptr<host::Panel> panel;
};

// Fixture element numbers (see tests/fixture_module/fixture_gauge.cpp).
enum FixtureElement : std::size_t {
  DIAL = 1,
  LAMP = 2,
  COUNTS = 3,
  DEGREE = 4,
  LONG_TEXT = 5,
  POINT = 6,
  VARS = 7,
  WHEEL = 8,
  HIDDEN_PROBE = 9,
  SERVICES = 10,
  SERVICE_CALLS = 11,
};

}  // namespace host_test
