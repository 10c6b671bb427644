// The hints the web panel shows where the INS stays silent, on the real module in a live session:
// each appears for the panel state it explains and goes when the pilot does what it says.
#include "host/live/panel_hints.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/panel/control_names.h"
#include "host/panel/mouse_list.h"

namespace {

namespace fs = std::filesystem;
using host::live::Hint;
using host::live::LiveSession;
using host::live::PanelHints;

// The aircraft stands at 47.5 N 122.3 W: 0.82903139 rad north, 2.13453768 rad west.
constexpr const char* WAYPOINT_ZERO_HERE = "0 0.82903139 2.13453768\n";
constexpr int FPS = 30;
constexpr int READY_NAV_S = 60;

class HintsOnTheLivePanel : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("ins-hints-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
    // The module reads its waypoint file from the current folder, as `ins-host serve` sets it.
    previous_folder_ = fs::current_path();
    fs::current_path(folder_);
    host::live::SessionOptions options;
    options.module_path = INS_MODULE_PATH;
    options.working_folder = folder_;
    options.gauges = {"INS", "INS_UPDATE", "ALIGN"};
    options.fps = FPS;
    session_ = std::make_unique<LiveSession>(options);
    // The server publishes a first state before the first frame has drawn the panel.
    hints_ = watch_.update(host::live::view_of(*session_));
    set("lat", 47.5);
    set("lon", -122.3);
    set("gs", 0);
    set("battery", 1);
    frames(1);
    // The data selector from POS to DSRTK/STS, where the right window shows the status digit.
    for (int i = 0; i < 4; ++i) click("INS", "SEL_CW");
    click("ALIGN", "CW");  // STBY
    frames(1);
  }
  void TearDown() override {
    session_.reset();
    fs::current_path(previous_folder_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  void set(const std::string& name, double value) {
    ASSERT_TRUE(session_->set_condition(name, value)) << name;
  }
  void click(const char* gauge, const char* control) {
    const host::PlacedGauge* placed = session_->panel().find(gauge);
    ASSERT_NE(placed, nullptr);
    const MouseRow* box =
        host::clickable_box(placed->header->mouse_list, *host::control_box_index(gauge, control));
    ASSERT_NE(box, nullptr) << control;
    const auto now = std::chrono::steady_clock::now();
    session_->mouse_down(*placed, host::box_centre(*box), {}, now);
    session_->mouse_up("", now);
  }
  // Frames, each followed by a look at the panel, as the server publishes its state.
  void frames(int count) {
    for (int i = 0; i < count; ++i) {
      session_->run_frame();
      hints_ = watch_.update(host::live::view_of(*session_));
    }
  }
  void write_waypoints(const std::string& text) {
    std::ofstream(folder_ / "WAYPOINTS.DAT") << text;
  }
  std::string status() const { return host::live::view_of(*session_).right_window; }
  std::vector<std::string> hint_ids() const {
    std::vector<std::string> ids;
    for (const Hint& hint : hints_) ids.push_back(hint.id);
    return ids;
  }
  std::optional<Hint> hint(const std::string& id) const {
    for (const Hint& h : hints_) {
      if (h.id == id) return h;
    }
    return std::nullopt;
  }
  void align_to_ready_nav() {
    write_waypoints(WAYPOINT_ZERO_HERE);
    click("ALIGN", "CW");
    frames(1);
    click("ALIGN", "CCW");
    click("ALIGN", "CW");
    frames(READY_NAV_S * FPS + FPS);
    ASSERT_EQ(status(), "   5");
    click("ALIGN", "CW");  // NAV
    frames(1);
  }

  fs::path folder_;
  fs::path previous_folder_;
  std::unique_ptr<LiveSession> session_;
  PanelHints watch_;
  std::vector<Hint> hints_;
};

using Ids = std::vector<std::string>;

// Each way an alignment at ALIGN stays at status 0, its hint, and what the pilot does about it:
// put waypoint 00 where the aircraft stands, stop and power the INS (the hint then says to step
// to STBY and back), and step: the count starts and the hints go.
TEST_F(HintsOnTheLivePanel, EachReasonForStatusZeroAtAlignIsNamedUntilThePilotPutsItRight) {
  struct Case {
    const char* what;
    std::optional<std::string> waypoints;
    double gs_kt;
    double battery;
    Ids expected;
    const char* in_text;
  };
  const Case cases[] = {
      {"no waypoint file", std::nullopt, 0, 1, {"align_no_waypoint_zero"}, "no waypoint 00"},
      {"no line 00", "1 0.82903139 2.13453768\n", 0, 1, {"align_no_waypoint_zero"}, "no line 00"},
      // 0.00032 rad north: 1.1 NM.
      {"waypoint 00 north",
       "0 0.82935139 2.13453768\n",
       0,
       1,
       {"align_waypoint_zero_away"},
       "waypoint 00 is 1.1 NM from the aircraft"},
      // 0.0002 rad of longitude at 47.5 N: 0.46 NM.
      {"waypoint 00 east",
       "0 0.82903139 2.13433768\n",
       0,
       1,
       {"align_waypoint_zero_away"},
       "0.5 NM"},
      {"moving", WAYPOINT_ZERO_HERE, 20, 1, {"align_moving"}, "ground speed 20 kt"},
      {"moving and no waypoint 00",
       std::nullopt,
       20,
       1,
       {"align_no_waypoint_zero", "align_moving"},
       "ground speed 20 kt"},
      {"no power", WAYPOINT_ZERO_HERE, 0, 0, {"align_no_power"}, "BAT lamp is lit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(folder_ / "WAYPOINTS.DAT");
    if (c.waypoints) write_waypoints(*c.waypoints);
    set("gs", c.gs_kt);
    set("battery", c.battery);
    frames(1);
    EXPECT_EQ(hint_ids(), Ids{}) << "at STBY";
    click("ALIGN", "CW");
    frames(2);
    EXPECT_EQ(status(), c.battery == 1 ? "   0" : "         ");  // dark without power
    ASSERT_EQ(hint_ids(), c.expected);
    EXPECT_NE(hints_.back().text.find(c.in_text), std::string::npos) << hints_.back().text;

    write_waypoints(WAYPOINT_ZERO_HERE);
    set("gs", 0);
    set("battery", 1);
    frames(1);
    EXPECT_EQ(status(), "   0");
    EXPECT_EQ(hint_ids(), Ids{"align_step_again"});
    click("ALIGN", "CCW");
    click("ALIGN", "CW");
    frames(1);
    EXPECT_EQ(status(), "   9");
    EXPECT_EQ(hint_ids(), Ids{});
    click("ALIGN", "CCW");  // STBY for the next case
  }
}

// Waypoint 00 keyed (here: written) at STBY after a failed alignment: the first step into ALIGN
// still goes by the failed check and shows 0, with the hint; the second starts the count.
TEST_F(HintsOnTheLivePanel, AWaypointZeroPutRightAtStbyTakesASecondStepIntoAlign) {
  click("ALIGN", "CW");
  frames(1);
  ASSERT_EQ(hint_ids(), Ids{"align_no_waypoint_zero"});
  click("ALIGN", "CCW");
  write_waypoints(WAYPOINT_ZERO_HERE);
  frames(1);
  click("ALIGN", "CW");
  frames(FPS);
  EXPECT_EQ(status(), "   0");
  EXPECT_EQ(hint_ids(), Ids{"align_step_again"});
  EXPECT_NE(hints_[0].text.find("STBY and back to ALIGN"), std::string::npos);
  click("ALIGN", "CCW");
  click("ALIGN", "CW");
  frames(FPS);
  EXPECT_EQ(status(), "   9");
  EXPECT_EQ(hint_ids(), Ids{});
}

// A HOLD press that the autopilot's switches refuse is named with the switch that is off; it
// goes when HOLD engages, and HOLD dropped by a switch going off is named too.
TEST_F(HintsOnTheLivePanel, HoldRefusedOrDroppedByTheAutopilotSaysWhichSwitch) {
  align_to_ready_nav();
  struct Case {
    double master;
    double heading;
    const char* in_text;
  };
  const Case refused[] = {{0, 1, "master switch is off"},
                          {1, 0, "heading mode is off"},
                          {0, 0, "master switch and heading mode are off"}};
  for (const Case& c : refused) {
    SCOPED_TRACE(c.in_text);
    set("ap_master", c.master);
    set("ap_heading", c.heading);
    frames(FPS);  // past the last press's latch
    click("INS", "HOLD");
    frames(1);
    EXPECT_FALSE(host::live::view_of(*session_).hold_lit);
    ASSERT_EQ(hint_ids(), Ids{"hold_autopilot_off"});
    EXPECT_NE(hints_[0].text.find(c.in_text), std::string::npos) << hints_[0].text;
  }
  set("ap_master", 1);
  set("ap_heading", 1);
  frames(FPS);
  EXPECT_EQ(hint_ids(), Ids{"hold_press_again"});
  click("INS", "HOLD");
  frames(1);
  EXPECT_TRUE(host::live::view_of(*session_).hold_lit);
  EXPECT_EQ(hint_ids(), Ids{});

  set("ap_heading", 0);
  frames(2);
  EXPECT_FALSE(host::live::view_of(*session_).hold_lit);
  ASSERT_EQ(hint_ids(), Ids{"hold_released"});
  EXPECT_NE(hints_[0].text.find("heading mode is off"), std::string::npos);
  // Explained until the switch is back on, and not again when it goes off with HOLD dark.
  set("ap_heading", 1);
  frames(1);
  EXPECT_EQ(hint_ids(), Ids{});
  set("ap_heading", 0);
  frames(1);
  EXPECT_EQ(hint_ids(), Ids{});

  // Released by the pilot's own press: nothing to explain.
  set("ap_heading", 1);
  frames(FPS);
  click("INS", "HOLD");
  frames(FPS);
  ASSERT_TRUE(host::live::view_of(*session_).hold_lit);
  click("INS", "HOLD");
  frames(FPS);
  EXPECT_FALSE(host::live::view_of(*session_).hold_lit);
  EXPECT_EQ(hint_ids(), Ids{});
}

// The lamp test lights HOLD for five seconds: neither an engaged HOLD nor one dropped.
TEST_F(HintsOnTheLivePanel, TheLampTestLightingHoldExplainsNothing) {
  align_to_ready_nav();
  click("INS", "TEST");
  frames(1);
  ASSERT_TRUE(host::live::view_of(*session_).lamp_test);
  EXPECT_TRUE(host::live::view_of(*session_).hold_lit);
  frames(6 * FPS);
  ASSERT_FALSE(host::live::view_of(*session_).lamp_test);
  EXPECT_EQ(hint_ids(), Ids{});

  // A refused press stays explained through a lamp test.
  click("INS", "HOLD");
  frames(1);
  ASSERT_EQ(hint_ids(), Ids{"hold_autopilot_off"});
  click("INS", "TEST");
  frames(1);
  ASSERT_TRUE(host::live::view_of(*session_).lamp_test);
  EXPECT_EQ(hint_ids(), Ids{"hold_autopilot_off"});
  frames(6 * FPS);
  EXPECT_EQ(hint_ids(), Ids{"hold_autopilot_off"});
}

// AUTO or MAN switched without HOLD does nothing, and the page says so until HOLD engages.
TEST_F(HintsOnTheLivePanel, AutoOrManWithoutHoldIsExplainedUntilHoldEngages) {
  align_to_ready_nav();
  for (const char* side : {"MAN", "AUTO"}) {
    SCOPED_TRACE(side);
    click("INS", side);
    frames(1);
    ASSERT_EQ(hint_ids(), Ids{"auto_man_without_hold"});
    EXPECT_EQ(hints_[0].text.rfind(side, 0), 0u) << hints_[0].text;
  }
  set("ap_master", 1);
  set("ap_heading", 1);
  click("INS", "HOLD");
  frames(1);
  EXPECT_EQ(hint_ids(), Ids{});
  // With HOLD engaged the switch acts: no hint.
  click("INS", "MAN");
  frames(1);
  ASSERT_TRUE(host::live::view_of(*session_).man_lit);
  EXPECT_EQ(hint_ids(), Ids{});
}

}  // namespace
