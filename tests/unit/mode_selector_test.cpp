// The mode selector unit: knob steps and cues, power and the BAT lamp, the alignment countdown
// and its aborts, the waypoint 0 check against a real waypoint file, READY NAV, and when the
// frame cycle reads the file at all.
#include "msu/mode_selector.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "boundary/gauge_vocabulary.h"
#include "module/gauge_tables.h"
#include "state/gauge_elements.h"
#include "state/host_bridge.h"
#include "state/os_modules.h"
#include "state/sound_cues.h"
#include "tests/unit/test_support.h"

namespace {

using test_support::ModuleTest;

constexpr int8_t OFF = 0, STBY = 1, ALIGN = 2, NAV = 3;

// A position whose coordinates a single-precision file field holds exactly, so a waypoint 0
// written at it matches to the last bit (radians, longitude west positive).
constexpr double HOME_LAT = 0.5;
constexpr double HOME_LON = 0.25;

using test_support::cues_heard;
using test_support::ListenerFn;
using test_support::record_cue;
using test_support::SetListenerFn;

class ModeSelectorTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    cues_heard().clear();
    set_tick(1000);
    set_power(1.0, 0.0);
    ins_state.present_lat = HOME_LAT;
    ins_state.present_lon = HOME_LON;
    ins_state.ground_speed = 0.0;
  }

  void TearDown() override {
    if (auto set_listener = reinterpret_cast<SetListenerFn>(
            os_resolve(ins_state.sound_library.handle, "GaugeSoundSetListener"))) {
      set_listener(nullptr, nullptr);
    }
    align_service(nullptr, SERVICE_PRE_KILL, 0);  // gives the library back
    ModuleTest::TearDown();
  }

  // A freshly loaded module for the next case of a table; the gauge goes away first, giving
  // the sound library back.
  void fresh_module() {
    align_service(nullptr, SERVICE_PRE_KILL, 0);
    reset_module_for_tests();
    ins_state.present_lat = HOME_LAT;
    ins_state.present_lon = HOME_LON;
  }

  void set_tick(int32_t tick) {
    tick_ = tick;
    set_var(HOST_VAR_TICK, tick);
  }
  void set_power(double battery, double main_power) {
    set_var(HOST_VAR_BATTERY, battery);
    set_var(HOST_VAR_MAIN_POWER, main_power);
  }
  void frame() { align_service(nullptr, SERVICE_PRE_UPDATE, 0); }
  // Advances the tick by one and runs a frame.
  void next_frame() {
    set_tick(tick_ + 1);
    frame();
  }
  void cw() { EXPECT_EQ(mode_knob_cw(nullptr, MOUSE_LEFT_SINGLE), 1); }
  void ccw() { EXPECT_EQ(mode_knob_ccw(nullptr, MOUSE_LEFT_SINGLE), 1); }

  void write_waypoint_zero(double lat, double lon) {
    char line[100];
    std::snprintf(line, sizeof line, "0 %.8f %.8f\n1 0.60000000 0.30000000\n", lat, lon);
    workdir.write("WAYPOINTS.DAT", line);
  }

  // Binds the real sound library as the gauge does at placement and listens to it.
  void bind_and_listen() {
    align_service(nullptr, SERVICE_PRE_INITIALIZE, 0);
    auto set_listener = reinterpret_cast<SetListenerFn>(
        os_resolve(ins_state.sound_library.handle, "GaugeSoundSetListener"));
    ASSERT_NE(set_listener, nullptr)
        << "GaugeSound.so must sit beside the test program (run it by its full path)";
    set_listener(&record_cue, nullptr);
  }

  // Power on, waypoint 0 at the aircraft, knob OFF -> STBY, one frame, STBY -> ALIGN at `tick`.
  void start_alignment_at(int32_t tick) {
    write_waypoint_zero(HOME_LAT, HOME_LON);
    cw();
    frame();
    set_tick(tick);
    cw();
    ASSERT_EQ(ins_state.mode_selector, ALIGN);
    ASSERT_EQ(ins_state.align_status, 9);
    ASSERT_EQ(ins_state.align_running, 1);
  }

  void run_frames_until(int32_t tick) {
    while (tick_ < tick) next_frame();
  }

  static bool lit(int depth) {
    return (element_at_depth(Linkage.gauges[GAUGE_ALIGN]->element_list, depth)->image_flags &
            IMAGE_HIDDEN) == 0;
  }
  static bool bat_lit() { return lit(ALIGN_DEPTH_BAT_LIT); }
  static bool ready_nav_lit() { return lit(ALIGN_DEPTH_READY_NAV_LIT); }

  int32_t tick_ = 0;
};

// --- Knob ---------------------------------------------------------------------------------

TEST_F(ModeSelectorTest, KnobStepsOncePerClickAndIsSilentAgainstItsEndStops) {
  bind_and_listen();
  struct Step {
    bool clockwise;
    int8_t after;
    bool sounds;
  };
  const Step steps[] = {
      {false, OFF, false},  // at OFF already
      {true, STBY, true},   {true, ALIGN, true},
      {true, NAV, true},    {true, NAV, false},  // at NAV already
      {false, ALIGN, true}, {false, STBY, true},
      {false, OFF, true},   {false, OFF, false},
  };
  std::size_t expected_cues = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << (step.clockwise ? "cw to " : "ccw to ") << int{step.after});
    step.clockwise ? cw() : ccw();
    EXPECT_EQ(ins_state.mode_selector, step.after);
    if (step.sounds) ++expected_cues;
    ASSERT_EQ(cues_heard().size(), expected_cues);
    if (step.sounds) {
      EXPECT_EQ(cues_heard().back(), "sound\\tavren\\ins_tog.wav");
    }
    // The knob image routine in the gauge's chain shows the position (bitmap 4194 + it).
    ElementHeader* knob =
        element_at_depth(Linkage.gauges[GAUGE_ALIGN]->element_list, ALIGN_DEPTH_MODE_KNOB);
    EXPECT_EQ(element_record<IconElement>(*knob).routine(knob), double(step.after));
    EXPECT_EQ(mode_knob_image(knob), double(step.after));
  }
}

TEST_F(ModeSelectorTest, WithoutTheSoundLibraryTheKnobStillTurns) {
  // Nothing bound: every cue is skipped.
  cw();
  cw();
  EXPECT_EQ(ins_state.mode_selector, ALIGN);
  ccw();
  ccw();
  ccw();
  EXPECT_EQ(ins_state.mode_selector, OFF);
  EXPECT_TRUE(cues_heard().empty());
}

TEST_F(ModeSelectorTest, AtLoadTheKnobIsOffAndBothLampsAreDark) {
  EXPECT_EQ(mode_knob_image(nullptr), 0.0);
  EXPECT_FALSE(bat_lit());
  EXPECT_FALSE(ready_nav_lit());
  frame();
  EXPECT_EQ(ins_state.ins_powered, 0);
  EXPECT_FALSE(bat_lit());
  EXPECT_FALSE(ready_nav_lit());
}

// --- Power ---------------------------------------------------------------------------------

TEST_F(ModeSelectorTest, PowerNeedsTheKnobOnAndASourceThatReadsOne) {
  struct Row {
    int8_t knob;
    double battery, main_power;
    uint8_t powered;
    bool bat;
  };
  const Row rows[] = {
      {OFF, 0.0, 0.0, 0, false},
      {OFF, 1.0, 1.0, 0, false},
      {STBY, 0.0, 0.0, 0, true},
      {STBY, 1.0, 0.0, 1, false},
      {STBY, 0.0, 1.0, 1, false},
      {ALIGN, 0.0, 0.0, 0, true},
      {ALIGN, 1.0, 1.0, 1, false},
      {NAV, 0.0, 0.0, 0, true},
      {NAV, 0.0, 1.0, 1, false},
      // Values are truncated to a byte before the test for 1.
      {STBY, 1.9, 0.0, 1, false},
      {STBY, 0.99, 0.0, 0, true},
      {STBY, 0.0, 0.5, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "knob " << int{row.knob} << " battery " << row.battery
                                    << " main " << row.main_power);
    ins_state.mode_selector = row.knob;
    set_power(row.battery, row.main_power);
    frame();
    EXPECT_EQ(ins_state.ins_powered, row.powered);
    EXPECT_EQ(bat_lit(), row.bat);
  }
  set_power(1.9, 0.7);
  frame();
  EXPECT_EQ(ins_state.battery_power, 1);
  EXPECT_EQ(ins_state.main_power, 0);
}

TEST_F(ModeSelectorTest, NoAlignmentStartsWithoutPower) {
  write_waypoint_zero(HOME_LAT, HOME_LON);
  set_power(0.0, 0.0);
  cw();
  frame();
  cw();
  EXPECT_EQ(ins_state.align_status, 0);
  EXPECT_EQ(ins_state.align_running, 0);
  frame();
  EXPECT_TRUE(bat_lit());
}

// --- Alignment countdown ---------------------------------------------------------------------

TEST_F(ModeSelectorTest, UndisturbedAlignmentCountsDownOverTwoMinutes) {
  const int32_t start = 5000;
  start_alignment_at(start);
  EXPECT_EQ(ins_state.align_end_tick, start + 2160);
  EXPECT_FALSE(ready_nav_lit());
  // Status falls by one every 270 ticks (15 s at 18 a second) from 9, nav_ready rises at the
  // start of status 5 (60 s), and the countdown ends at status 1 (120 s), which then stays.
  for (int32_t elapsed = 1; elapsed <= 2160 + 400; ++elapsed) {
    next_frame();
    ASSERT_EQ(tick_, start + elapsed);
    const int expected_status = elapsed >= 2160 ? 1 : 9 - elapsed / 270;
    const bool ready = elapsed >= 1080;
    ASSERT_EQ(ins_state.align_status, expected_status) << "at +" << elapsed;
    ASSERT_EQ(ins_state.nav_ready, ready ? 1 : 0) << "at +" << elapsed;
    ASSERT_EQ(ready_nav_lit(), ready) << "at +" << elapsed;
    ASSERT_EQ(ins_state.align_running, elapsed < 2160 ? 1 : 0) << "at +" << elapsed;
  }
  EXPECT_EQ(ins_state.align_end_pending, 0);
  EXPECT_EQ(ins_state.ins_powered, 1);
  EXPECT_FALSE(bat_lit());
}

// Frames slower than the counter, or a change of frame rate, step over the ticks of the marks:
// each mark is taken in the first frame at or past it, a frame past several takes the latest,
// and nav_ready rises even when the frames skip the tick of status 5 itself.
TEST_F(ModeSelectorTest, AMarkSkippedByTheFramesIsTakenInTheNextFrame) {
  const int32_t start = 100;
  start_alignment_at(start);
  set_tick(start + 269);
  frame();
  EXPECT_EQ(ins_state.align_status, 9);
  set_tick(start + 271);  // the frame at +270 never comes
  frame();
  EXPECT_EQ(ins_state.align_status, 8);
  set_tick(start + 1079);
  frame();
  EXPECT_EQ(ins_state.align_status, 6);  // past the marks of 7 and 6: the latest counts
  EXPECT_EQ(ins_state.nav_ready, 0);
  set_tick(start + 1352);  // past status 5's tick and status 4's
  frame();
  EXPECT_EQ(ins_state.align_status, 4);
  EXPECT_EQ(ins_state.nav_ready, 1);
  EXPECT_TRUE(ready_nav_lit());
  set_tick(start + 2159);
  frame();
  EXPECT_EQ(ins_state.align_status, 2);
  EXPECT_EQ(ins_state.align_running, 1);
  set_tick(start + 2161);  // the end mark skipped: the countdown ends all the same
  frame();
  EXPECT_EQ(ins_state.align_status, 1);
  EXPECT_EQ(ins_state.align_running, 0);
  EXPECT_EQ(ins_state.align_end_pending, 0);
}

// A countdown whose end lies across the counter's wrap-around, with its end at the tick
// 0xFFFFFFFF (read as -1, which is no "no deadline" here), runs its full course.
TEST_F(ModeSelectorTest, ACountdownAcrossTheCountersWrapAroundRunsItsCourse) {
  const double wrap = 4294967296.0;
  write_waypoint_zero(HOME_LAT, HOME_LON);
  cw();
  frame();
  set_var(HOST_VAR_TICK, wrap - 2161);  // the end falls on 0xFFFFFFFF
  cw();
  ASSERT_EQ(ins_state.align_end_tick, -1);
  ASSERT_EQ(ins_state.align_running, 1);
  const struct {
    double tick;
    int status;
  } frames[] = {{wrap - 1900, 9}, {wrap - 1890, 8}, {wrap - 1080, 5},
                {wrap - 2, 2},    {wrap - 1, 1},    {wrap + 5, 1}};
  for (const auto& f : frames) {
    set_var(HOST_VAR_TICK, f.tick);
    frame();
    EXPECT_EQ(ins_state.align_status, f.status) << "at 2^32 - " << wrap - f.tick;
  }
  EXPECT_EQ(ins_state.nav_ready, 1);
  EXPECT_EQ(ins_state.align_running, 0);

  // Started just before the wrap, ending after it: the frames before the wrap take no mark
  // early, the ones after it take them in order.
  fresh_module();
  write_waypoint_zero(HOME_LAT, HOME_LON);
  cw();
  frame();
  set_var(HOST_VAR_TICK, wrap - 300);
  cw();
  set_var(HOST_VAR_TICK, wrap - 31);
  frame();
  EXPECT_EQ(ins_state.align_status, 9);
  set_var(HOST_VAR_TICK, wrap - 29);  // 271 ticks in
  frame();
  EXPECT_EQ(ins_state.align_status, 8);
  set_var(HOST_VAR_TICK, wrap + 1860);
  frame();
  EXPECT_EQ(ins_state.align_status, 1);
}

TEST_F(ModeSelectorTest, MovingBeforeStatusFiveAbortsAndNothingRestartsByItself) {
  const int32_t start = 2000;
  start_alignment_at(start);
  run_frames_until(start + 300);
  ASSERT_EQ(ins_state.align_status, 8);
  ins_state.ground_speed = 2.0;
  next_frame();
  EXPECT_EQ(ins_state.align_status, 0);
  EXPECT_EQ(ins_state.align_running, 0);
  EXPECT_EQ(ins_state.nav_ready, 0);
  EXPECT_EQ(ins_state.align_end_pending, 0);
  ins_state.ground_speed = 0.0;
  run_frames_until(start + 2400);
  EXPECT_EQ(ins_state.align_status, 0);
  EXPECT_FALSE(ready_nav_lit());
  // A standstill speed of exactly 1.0 kt is still at rest.
  ins_state.ground_speed = 1.0;
  ccw();
  cw();
  EXPECT_EQ(ins_state.align_status, 9);
  next_frame();
  EXPECT_EQ(ins_state.align_status, 9);
  EXPECT_EQ(ins_state.align_running, 1);
}

TEST_F(ModeSelectorTest, MovingAfterStatusFiveFreezesTheDigitAndKeepsNavReady) {
  const int32_t start = 3000;
  start_alignment_at(start);
  run_frames_until(start + 1400);
  ASSERT_EQ(ins_state.align_status, 4);
  ins_state.ground_speed = 2.0;
  next_frame();
  EXPECT_EQ(ins_state.align_status, 4);
  EXPECT_EQ(ins_state.nav_ready, 1);
  EXPECT_EQ(ins_state.align_end_pending, 0);
  // Neither movement nor stopping again takes a later mark: the end is gone.
  run_frames_until(start + 1700);
  ins_state.ground_speed = 0.0;
  run_frames_until(start + 2500);
  EXPECT_EQ(ins_state.align_status, 4);
  EXPECT_EQ(ins_state.nav_ready, 1);
  EXPECT_EQ(ins_state.align_running, 1);
  EXPECT_TRUE(ready_nav_lit());
  // A waypoint 0 that no longer matches does not clear it either (and is not even read).
  write_waypoint_zero(HOME_LAT + 0.01, HOME_LON);
  next_frame();
  EXPECT_EQ(ins_state.nav_ready, 1);
  EXPECT_EQ(ins_state.align_status, 4);
}

TEST_F(ModeSelectorTest, NavAfterStatusFiveStopsTheCountdownAndStbyClearsIt) {
  const int32_t start = 400;
  start_alignment_at(start);
  run_frames_until(start + 1400);
  ASSERT_EQ(ins_state.align_status, 4);
  cw();  // ALIGN -> NAV
  EXPECT_EQ(ins_state.mode_selector, NAV);
  EXPECT_EQ(ins_state.align_running, 0);
  EXPECT_EQ(ins_state.align_end_pending, 0);
  run_frames_until(start + 2500);
  EXPECT_EQ(ins_state.align_status, 4);
  EXPECT_EQ(ins_state.nav_ready, 1);
  EXPECT_FALSE(ready_nav_lit());  // dark at NAV
  ccw();                          // back to ALIGN: nav_ready 1, so no new countdown
  EXPECT_EQ(ins_state.align_status, 4);
  EXPECT_EQ(ins_state.align_running, 0);
  next_frame();
  EXPECT_TRUE(ready_nav_lit());
  ccw();  // to STBY: everything goes
  EXPECT_EQ(ins_state.align_status, 0);
  EXPECT_EQ(ins_state.nav_ready, 0);
  EXPECT_EQ(ins_state.align_end_pending, 0);
  next_frame();
  EXPECT_FALSE(ready_nav_lit());
}

TEST_F(ModeSelectorTest, ACountdownStartedAtAlignGoesOnAtNav) {
  const int32_t start = 700;
  start_alignment_at(start);
  run_frames_until(start + 500);
  cw();  // to NAV before status 5: not stopped
  EXPECT_EQ(ins_state.align_running, 1);
  run_frames_until(start + 1080);
  EXPECT_EQ(ins_state.align_status, 5);
  EXPECT_EQ(ins_state.nav_ready, 1);
  EXPECT_FALSE(ready_nav_lit());
  run_frames_until(start + 2160);
  EXPECT_EQ(ins_state.align_status, 1);
  // Stepping back from NAV with nav_ready 1 starts nothing.
  ccw();
  EXPECT_EQ(ins_state.align_status, 1);
}

TEST_F(ModeSelectorTest, StepFromNavIntoAlignStartsWhenTheConditionHolds) {
  write_waypoint_zero(HOME_LAT, HOME_LON);
  ins_state.mode_selector = NAV;
  frame();
  set_tick(1234);
  ccw();
  EXPECT_EQ(ins_state.mode_selector, ALIGN);
  EXPECT_EQ(ins_state.align_status, 9);
  EXPECT_EQ(ins_state.align_tick, 1234);
  EXPECT_EQ(ins_state.align_end_tick, 1234 + 2160);
}

TEST_F(ModeSelectorTest, LosingPowerDoesNotStopTheMarksButDarkensReadyNav) {
  const int32_t start = 900;
  start_alignment_at(start);
  set_power(0.0, 0.0);
  run_frames_until(start + 1080);
  EXPECT_EQ(ins_state.ins_powered, 0);
  EXPECT_EQ(ins_state.align_status, 5);
  EXPECT_EQ(ins_state.nav_ready, 1);
  EXPECT_FALSE(ready_nav_lit());
  EXPECT_TRUE(bat_lit());
  set_power(0.0, 1.0);
  next_frame();
  EXPECT_TRUE(ready_nav_lit());
  EXPECT_FALSE(bat_lit());
}

// --- Waypoint 0 check ----------------------------------------------------------------------

TEST_F(ModeSelectorTest, WaypointZeroMustLieWithinATenThousandthOfARadian) {
  // The file holds single-precision numbers; the premises below hold for them.
  ASSERT_LT(std::fabs(double(float(HOME_LAT + 0.00009)) - HOME_LAT), 0.0001);
  ASSERT_GE(std::fabs(double(float(HOME_LAT + 0.0001)) - HOME_LAT), 0.0001);
  ASSERT_GE(std::fabs(double(float(HOME_LON - 0.0001)) - HOME_LON), 0.0001);
  struct Case {
    double lat_offset, lon_offset;
    bool runs;
  };
  const Case cases[] = {
      {0.0, 0.0, true},     {0.00009, 0.00009, true}, {-0.00009, 0.00009, true},
      {0.0001, 0.0, false}, {0.0, -0.0001, false},    {0.0001, 0.0001, false},
      {0.5, 0.0, false},    {0.0, 3.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset " << c.lat_offset << ", " << c.lon_offset);
    fresh_module();
    write_waypoint_zero(HOME_LAT + c.lat_offset, HOME_LON + c.lon_offset);
    // The first step into ALIGN after load starts (both differences are 0.0 at load); the next
    // frame's check keeps it running or throws it away.
    cw();
    frame();
    set_tick(tick_ + 1);
    cw();
    ASSERT_EQ(ins_state.align_status, 9);
    next_frame();
    EXPECT_EQ(ins_state.align_status, c.runs ? 9 : 0);
    EXPECT_EQ(ins_state.align_running, c.runs ? 1 : 0);
    EXPECT_NEAR(ins_state.align_lat_diff,
                std::fabs(double(float(HOME_LAT + c.lat_offset)) - HOME_LAT), 1e-12);
    EXPECT_NEAR(ins_state.align_lon_diff,
                std::fabs(double(float(HOME_LON + c.lon_offset)) - HOME_LON), 1e-12);
    // A mismatch is remembered: stepping out and back in does not start again.
    ccw();
    cw();
    EXPECT_EQ(ins_state.align_status, c.runs ? 9 : 0);
  }
}

TEST_F(ModeSelectorTest, WithoutAStoredWaypointZeroNoAlignmentRuns) {
  const char* files[] = {
      nullptr,                      // no waypoint file at all
      "1 0.50000000 0.25000000\n",  // no line numbered 0
      "",                           // empty file
      "0 north west\n",             // a waypoint 0 whose position does not read
      "0 0.50000000\n",             // a waypoint 0 without a longitude
  };
  for (const char* content : files) {
    SCOPED_TRACE(content == nullptr ? "no file" : content);
    fresh_module();
    std::remove("WAYPOINTS.DAT");
    if (content != nullptr) workdir.write("WAYPOINTS.DAT", content);
    cw();
    frame();
    cw();  // starts on the load-time differences ...
    ASSERT_EQ(ins_state.align_status, 9);
    next_frame();  // ... and the check finds nothing to align on
    EXPECT_EQ(ins_state.align_status, 0);
    EXPECT_EQ(ins_state.align_running, 0);
    EXPECT_GE(ins_state.align_lat_diff, 0.0001);
    EXPECT_GE(ins_state.align_lon_diff, 0.0001);
    ccw();
    cw();
    EXPECT_EQ(ins_state.align_status, 0);
  }
}

TEST_F(ModeSelectorTest, TheLastLineNumberedZeroCounts) {
  workdir.write("WAYPOINTS.DAT",
                "0 0.10000000 0.10000000\n3 0.2 0.2\n0 0.50000000 0.25000000\n7 0.3 0.3\n");
  ins_state.mode_selector = ALIGN;
  frame();
  EXPECT_EQ(ins_state.align_lat_diff, 0.0);
  EXPECT_EQ(ins_state.align_lon_diff, 0.0);
  EXPECT_EQ(ins_state.file_waypoint_number, 7);
}

TEST_F(ModeSelectorTest, AlignmentNeedsTheNewestCheckAfterTheFileIsFixed) {
  // No file: the alignment is thrown away and the knob cannot start it again ...
  cw();
  frame();
  cw();
  next_frame();
  ASSERT_EQ(ins_state.align_status, 0);
  // ... until a frame at ALIGN has seen a good waypoint 0.
  write_waypoint_zero(HOME_LAT, HOME_LON);
  cw();  // to NAV: no check there
  next_frame();
  ccw();  // back to ALIGN with the old differences
  EXPECT_EQ(ins_state.align_status, 0);
  next_frame();  // checked at ALIGN
  ccw();
  cw();
  EXPECT_EQ(ins_state.align_status, 9);
}

// --- When the waypoint file is read --------------------------------------------------------

// Counts opens of the waypoint file in the working folder as the kernel reports them.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& folder) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) inotify_add_watch(fd_, folder.c_str(), IN_OPEN);
  }
  ~OpenWatch() {
    if (fd_ >= 0) close(fd_);
  }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;
  bool ok() const { return fd_ >= 0; }

  // Opens of WAYPOINTS.DAT since the last call.
  int waypoint_file_opens() {
    int count = 0;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t length = read(fd_, buffer, sizeof buffer);
      if (length <= 0) break;
      for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && std::string(event->name) == "WAYPOINTS.DAT") ++count;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return count;
  }

 private:
  int fd_ = -1;
};

TEST_F(ModeSelectorTest, TheFileIsReadOnlyAtAlignBeforeNavReady) {
  write_waypoint_zero(HOME_LAT, HOME_LON);
  OpenWatch watch(workdir.path().string());
  ASSERT_TRUE(watch.ok());
  // Read after every frame: the kernel merges an event into an identical unread one.
  auto opens_over_frames = [&](int frames) {
    watch.waypoint_file_opens();
    int opens = 0;
    for (int i = 0; i < frames; ++i) {
      next_frame();
      opens += watch.waypoint_file_opens();
    }
    return opens;
  };

  EXPECT_EQ(opens_over_frames(5), 0);  // OFF
  cw();
  EXPECT_EQ(opens_over_frames(5), 0);  // STBY
  const int32_t start = tick_ + 1;
  set_tick(start);
  cw();
  EXPECT_EQ(watch.waypoint_file_opens(), 0);  // the click itself reads nothing
  EXPECT_EQ(opens_over_frames(5), 5);         // ALIGN, counting: once a frame
  run_frames_until(start + 1079);
  EXPECT_EQ(opens_over_frames(1), 1);  // the frame that reaches status 5 still checks first
  ASSERT_EQ(ins_state.nav_ready, 1);
  EXPECT_EQ(opens_over_frames(20), 0);  // ALIGN, ready
  cw();
  EXPECT_EQ(opens_over_frames(5), 0);  // NAV
  ccw();
  ccw();
  EXPECT_EQ(opens_over_frames(5), 0);  // STBY again
  cw();
  EXPECT_EQ(opens_over_frames(3), 3);  // ALIGN with nav_ready cleared: checking again
}

}  // namespace
