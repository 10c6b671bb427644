// The loader against real shared libraries: the fixture, the INS module, and libraries that are
// not gauge modules.
#include "host/module_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/control_names.h"
#include "host/mouse_list.h"
#include "host/panel_services.h"

namespace {

std::string load_error(const std::filesystem::path& path) {
  try {
    host::ModuleLoader loader(path);
  } catch (const host::ModuleLoadError& error) {
    return error.what();
  }
  return "";
}

TEST(ModuleLoader, ReadsTheGaugesOfLinkage) {
  host::ModuleLoader fixture(INS_FIXTURE_MODULE);
  ASSERT_EQ(fixture.gauges().size(), 2u);
  EXPECT_NE(fixture.find_gauge("FIXTURE"), nullptr);
  EXPECT_EQ(fixture.find_gauge("INS"), nullptr);
}

TEST(ModuleLoader, RefusesWhatIsNotAGaugeModule) {
  EXPECT_NE(load_error("/nonexistent/INS.so").find("cannot load module"), std::string::npos);
  // The sound library is a real shared library without the gauge tables.
  const std::filesystem::path sound = std::filesystem::path(INS_BUILD_ROOT) / "GaugeSound.so";
  if (std::filesystem::exists(sound)) {
    EXPECT_NE(load_error(sound).find("exports no Linkage"), std::string::npos);
  }
}

TEST(ModuleLoader, InstallsThePanelServicesTable) {
  host::ModuleLoader ins(INS_MODULE_PATH);
  ins.install_services(host::panel_service_table());
  const PanelServiceTable* table = host::panel_service_table();
  EXPECT_NE(table->slots[40], nullptr);  // lookup_var, byte offset 0xA0
  EXPECT_NE(table->slots[36], nullptr);  // trigger_key_event, byte offset 0x90
  for (std::size_t slot = 0; slot < PANEL_SERVICE_SLOT_COUNT; ++slot) {
    if (slot != 36 && slot != 40) {
      EXPECT_EQ(table->slots[slot], nullptr) << slot;
    }
  }
}

// Every control name of the scenario language reaches its own box of the INS module's lists
// when clicked at that box's centre (no earlier box covers it).
TEST(ModuleLoader, InsControlNamesReachTheirOwnBoxes) {
  host::ModuleLoader ins(INS_MODULE_PATH);
  ASSERT_EQ(ins.gauges().size(), 20u);
  const char* ins_controls[] = {
      "PLAN",     "SEL_CW",     "SEL_CCW", "HOLD",      "SET", "INSERT", "LAST_WPT",
      "AUTO",     "MAN",        "CLEAR",   "0",         "1",   "2",      "3",
      "4",        "5",          "6",       "7",         "8",   "9",      "WYPT_CHG",
      "UNITS_UP", "UNITS_DOWN", "TENS_UP", "TENS_DOWN", "TEST"};
  struct Gauge {
    const char* name;
    std::vector<const char*> controls;
  };
  const Gauge gauges[] = {{"INS", {std::begin(ins_controls), std::end(ins_controls)}},
                          {"ALIGN", {"CW", "CCW"}},
                          {"INSicon_03", {"ICON"}},
                          {"INSicon1024_08", {"ICON"}}};
  for (const Gauge& g : gauges) {
    const GaugeHeader* header = ins.find_gauge(g.name);
    ASSERT_NE(header, nullptr) << g.name;
    for (const char* control : g.controls) {
      auto index = host::control_box_index(g.name, control);
      ASSERT_TRUE(index) << control;
      const MouseRow* box = host::clickable_box(header->mouse_rows, *index);
      ASSERT_NE(box, nullptr) << control;
      EXPECT_EQ(host::hit_test(header->mouse_rows, host::box_centre(*box)), box) << control;
    }
  }
  // Spot checks against the INS list's own layout: SET is 84,72 39x39, TEST 150,271 31x21.
  const GaugeHeader* ins_gauge = ins.find_gauge("INS");
  const MouseRow* set =
      host::clickable_box(ins_gauge->mouse_rows, *host::control_box_index("INS", "SET"));
  EXPECT_EQ(host::box_centre(*set).x, 84 + 39 / 2);
  const MouseRow* test =
      host::clickable_box(ins_gauge->mouse_rows, *host::control_box_index("INS", "TEST"));
  EXPECT_EQ(host::box_centre(*test).y, 271 + 21 / 2);
}

}  // namespace
