// The loader against real shared libraries: the fixture, the INS module, and libraries that are
// not gauge modules.
#include "host/panel/module_loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "host/panel/control_names.h"
#include "host/panel/mouse_list.h"
#include "host/panel/panel_services.h"

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
  ASSERT_EQ(fixture.gauges().size(), 3u);
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
  // lookup_var at byte 0x130 and trigger_key_event at 0x110 of the table (8-byte references).
  const auto* bytes = reinterpret_cast<const unsigned char*>(table);
  const auto at = [&](std::size_t offset) {
    PanelService routine = nullptr;
    std::memcpy(&routine, bytes + offset, sizeof routine);
    return routine;
  };
  EXPECT_EQ(at(sizeof(void*) == 4 ? 0xA0 : 0x130),
            reinterpret_cast<PanelService>(table->routines[PANEL_ROUTINE_LOOKUP_VAR]));
  EXPECT_NE(at(sizeof(void*) == 4 ? 0xA0 : 0x130), nullptr);
  EXPECT_NE(at(sizeof(void*) == 4 ? 0x90 : 0x110), nullptr);
  for (std::size_t routine = 0; routine < PANEL_SERVICE_ROUTINE_COUNT; ++routine) {
    if (routine != PANEL_ROUTINE_TRIGGER_KEY_EVENT && routine != PANEL_ROUTINE_LOOKUP_VAR) {
      EXPECT_EQ(table->routines[routine], nullptr) << routine;
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
      const MouseRow* box = host::clickable_box(header->mouse_list, *index);
      ASSERT_NE(box, nullptr) << control;
      EXPECT_EQ(host::hit_test(header->mouse_list, host::box_centre(*box)), box) << control;
    }
  }
  // Spot checks against the INS list's own layout: SET is 84,72 39x39, TEST 150,271 31x21.
  const GaugeHeader* ins_gauge = ins.find_gauge("INS");
  const MouseRow* set =
      host::clickable_box(ins_gauge->mouse_list, *host::control_box_index("INS", "SET"));
  EXPECT_EQ(host::box_centre(*set).x, 84 + 39 / 2);
  const MouseRow* test =
      host::clickable_box(ins_gauge->mouse_list, *host::control_box_index("INS", "TEST"));
  EXPECT_EQ(host::box_centre(*test).y, 271 + 21 / 2);
}

}  // namespace
