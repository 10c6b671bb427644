// Keyboard entry as a pilot keys it: SET, the hemisphere and digit keys with their limits,
// CLEAR, and INSERT rewriting the waypoint file.
#include "cdu/keyboard.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cdu/cdu_cycle.h"
#include "module/gauge_tables.h"
#include "state/gauge_elements.h"
#include "state/host_bridge.h"
#include "store/waypoint_file.h"
#include "tests/unit/test_support.h"

namespace {

constexpr uint32_t TICK = 1;
constexpr int8_t WAY_PT = 4;

// The keys by their legends: digits, and S/N/E/W on 8/2/6/4.
enum Key { K0, K1, K2, K3, K4, K5, K6, K7, K8, K9, SET, INSERT, CLEAR };
constexpr Key N = K2, S = K8, E = K6, W = K4;

MouseRoutine routine_of(Key key) {
  static const MouseRoutine digits[] = {digit_key<0>, digit_key<1>, digit_key<2>, digit_key<3>,
                                        digit_key<4>, digit_key<5>, digit_key<6>, digit_key<7>,
                                        digit_key<8>, digit_key<9>};
  switch (key) {
    case SET:
      return set_key;
    case INSERT:
      return insert_key;
    case CLEAR:
      return clear_key;
    default:
      return digits[key];
  }
}

class KeyboardTest : public test_support::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    ins_state.data_selector = WAY_PT;
    ins_state.ins_powered = 1;
    frames(1);
  }

  // Clicks `key` and lets the panel run for 5 frames of one tick each, as at 18 frames a
  // second, so that the key is up again before the next click.
  int32_t press(Key key) {
    const MousePoint point{1, 1};
    const int32_t result = routine_of(key)(&point, MOUSE_LEFT_SINGLE);
    frames(5);
    return result;
  }
  void press_all(const std::vector<Key>& keys) {
    for (Key key : keys) press(key);
  }
  void frames(int count) {
    for (int i = 0; i < count; ++i) {
      set_var(TICK, ++tick_);
      cdu_frame_cycle();
    }
  }
  void select_waypoint(int tens, int units) {
    ins_state.thumbwheel_tens = static_cast<int8_t>(tens);
    ins_state.thumbwheel_units = static_cast<int8_t>(units);
  }
  // Opens an entry and keys a complete position (hemispheres and 13 digits).
  void key_position(Key lat_hemisphere, const std::vector<Key>& lat_digits, Key lon_hemisphere,
                    const std::vector<Key>& lon_digits) {
    ASSERT_EQ(press(SET), 1);
    press(lat_hemisphere);
    press_all(lat_digits);
    press(lon_hemisphere);
    press_all(lon_digits);
    ASSERT_EQ(ins_state.entry_position, 16);
  }
  std::vector<std::string> file_lines() const {
    std::vector<std::string> lines;
    std::istringstream in(workdir.read("WAYPOINTS.DAT"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  static bool set_lamp_lit() {
    return (element_at_depth(Linkage.gauges[GAUGE_INS]->element_list, INS_DEPTH_SET_LIT)
                ->image_flags &
            IMAGE_HIDDEN) == 0;
  }

  int tick_ = 0;
};

std::string zero_line(int number) {
  return std::to_string(number) + " 0.00000000 0.00000000";
}

// ---------------------------------------------------------------------------------------------
// A full entry
// ---------------------------------------------------------------------------------------------

TEST_F(KeyboardTest, PilotKeysAPositionAndInsertStoresIt) {
  select_waypoint(0, 0);
  EXPECT_EQ(press(SET), 1);
  EXPECT_EQ(ins_state.waypoint_entry_mode, 1);
  frames(1);  // the lamp lights in the frame after the one that releases the key
  EXPECT_TRUE(set_lamp_lit());

  // N 47 deg 27.50 min, E 008 deg 33.20 min; each accepted key moves one field on.
  const std::vector<Key> keys = {N, K4, K7, K2, K7, K5, K0, E, K0, K0, K8, K3, K3, K2, K0};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    press(keys[i]);
    EXPECT_EQ(ins_state.entry_position, static_cast<int>(i) + 2) << "after key " << i;
  }
  EXPECT_EQ(ins_state.entry_north, 1);
  EXPECT_EQ(ins_state.entry_east, 1);
  EXPECT_EQ(ins_state.entry_lat_deg_tens, 4.0);
  EXPECT_EQ(ins_state.entry_lat_min_units, 7.0);
  EXPECT_EQ(ins_state.entry_lon_deg_units, 8.0);
  EXPECT_EQ(ins_state.entry_lon_min_tenths, 2.0);

  EXPECT_EQ(press(INSERT), 0);
  EXPECT_EQ(ins_state.waypoint_entry_mode, 0);
  EXPECT_EQ(ins_state.entry_position, 0);
  EXPECT_FALSE(set_lamp_lit());

  // 47 + 27.50/60 = 47.458333 deg = 0.82830417 rad; 8 + 33.20/60 = 8.553333 deg
  // = 0.14928383 rad, east so negative. Every other waypoint was never set.
  const std::vector<std::string> lines = file_lines();
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[0], "0 0.82830417 -0.14928383");
  for (int i = 1; i < 100; ++i) EXPECT_EQ(lines[i], zero_line(i));
}

TEST_F(KeyboardTest, SetOpensOnlyAtWayPointWithPowerAndClosesWithout) {
  ins_state.data_selector = 3;  // POS
  EXPECT_EQ(press(SET), 0);
  EXPECT_EQ(ins_state.entry_position, 0);
  EXPECT_EQ(ins_state.set_pressed, 0);  // latched and released again

  ins_state.data_selector = WAY_PT;
  ins_state.ins_powered = 0;
  EXPECT_EQ(press(SET), 0);
  EXPECT_EQ(ins_state.entry_position, 0);

  ins_state.ins_powered = 1;
  EXPECT_EQ(press(SET), 1);
  EXPECT_EQ(ins_state.entry_position, 1);
  press_all({S, K1});

  ins_state.data_selector = 5;  // away from WAY PT: SET does nothing, the entry stays open
  EXPECT_EQ(press(SET), 1);
  ins_state.data_selector = WAY_PT;
  ins_state.ins_powered = 0;  // closing needs no power; the buffer keeps its digits
  EXPECT_EQ(press(SET), 0);
  EXPECT_EQ(ins_state.entry_lat_deg_tens, 1.0);
  EXPECT_EQ(ins_state.entry_position, 3);
  EXPECT_FALSE(workdir.exists("WAYPOINTS.DAT"));
}

TEST_F(KeyboardTest, SecondClickWithinFiveTicksDoesNotActAgain) {
  ASSERT_EQ(press(SET), 1);
  press(N);
  set_var(TICK, ++tick_);
  digit_key<4>(nullptr, MOUSE_LEFT_SINGLE);
  set_var(TICK, tick_ + 2);
  digit_key<4>(nullptr, MOUSE_LEFT_SINGLE);  // still latched
  EXPECT_EQ(ins_state.entry_position, 3);
  EXPECT_EQ(ins_state.digit_release_tick[4], tick_ + 7);
}

// ---------------------------------------------------------------------------------------------
// Entry limits
// ---------------------------------------------------------------------------------------------

TEST_F(KeyboardTest, EachFieldTakesOnlyItsValidDigits) {
  ASSERT_EQ(press(SET), 1);
  // Position reached before the keys, the keys that must be ignored there, and the key that
  // is then accepted.
  struct Step {
    int position;
    std::vector<Key> ignored;
    Key accepted;
  };
  const Step steps[] = {
      {1, {K0, K1, K3, K4, K5, K6, K7, K9}, S},   // latitude hemisphere: N or S only
      {2, {K9}, K8},                              // degrees tens stop at 8
      {3, {}, K9},                                // 89 degrees
      {4, {K6, K7, K8, K9}, K5},                  // minutes tens stop at 5
      {5, {}, K9},                                //
      {6, {}, K9},                                //
      {7, {}, K9},                                // 89 59.99
      {8, {K0, K1, K2, K3, K5, K7, K8, K9}, W},   // longitude hemisphere: E or W only
      {9, {K2, K3, K4, K5, K6, K7, K8, K9}, K0},  // hundreds: 0 or 1
      {10, {}, K9},                               // 09x degrees: 9 allowed below 100
      {11, {}, K9},                               //
      {12, {K6, K7, K8, K9}, K5},                 // minutes tens stop at 5
      {13, {}, K9},
      {14, {}, K9},
      {15, {}, K9},
  };
  for (const Step& step : steps) {
    ASSERT_EQ(ins_state.entry_position, step.position);
    for (Key key : step.ignored) {
      press(key);
      EXPECT_EQ(ins_state.entry_position, step.position) << "key " << key;
    }
    press(step.accepted);
  }
  EXPECT_EQ(ins_state.entry_lat_deg_tens, 8.0);  // the ignored 9 left no trace
  EXPECT_EQ(ins_state.entry_lat_min_tens, 5.0);
  EXPECT_EQ(ins_state.entry_lon_min_tens, 5.0);
  ASSERT_EQ(ins_state.entry_position, 16);
  for (Key key : {K1, K5, K9}) press(key);  // nothing takes a digit once complete
  EXPECT_EQ(ins_state.entry_position, 16);
  press(INSERT);
  // S 89 59.99 = 89.999833 deg = 1.57079339 rad, W 099 59.99 = 99.999833 deg
  // = 1.74532640 rad (each as the single-precision value the file keeps).
  EXPECT_EQ(file_lines()[0], "0 -1.57079339 1.74532640");
}

TEST_F(KeyboardTest, LongitudeAt180TakesOnlyZerosUntilClearedBack) {
  ASSERT_EQ(press(SET), 1);
  press_all({N, K0, K0, K0, K0, K0, K0, W});
  press(K1);
  EXPECT_EQ(ins_state.entry_lon_hundred, 1);
  press(K9);  // no 19x
  EXPECT_EQ(ins_state.entry_position, 10);
  press(K8);
  EXPECT_EQ(ins_state.entry_lon_at_180, 1);
  for (int position = 11; position <= 15; ++position) {
    for (Key key : {K1, K2, K3, K4, K5, K6, K7, K8, K9}) press(key);
    EXPECT_EQ(ins_state.entry_position, position);
    press(K0);
  }
  EXPECT_EQ(ins_state.entry_position, 16);

  // Back to the tens: the guard goes with the 8, and any longitude under 180 may follow.
  for (int i = 0; i < 6; ++i) press(CLEAR);
  EXPECT_EQ(ins_state.entry_position, 10);
  EXPECT_EQ(ins_state.entry_lon_at_180, 0);
  EXPECT_EQ(ins_state.entry_lon_hundred, 1);
  press_all({K7, K9, K5, K9, K9, K9});
  EXPECT_EQ(ins_state.entry_position, 16);
  press(INSERT);
  // W 179 59.99 = 179.99983 deg = 3.14158964 rad.
  EXPECT_EQ(file_lines()[0], "0 0.00000000 3.14158964");

  // Back over the hundreds: the 100 guard goes too, and 9 is a tens digit again.
  ASSERT_EQ(press(SET), 1);
  press_all({N, K0, K0, K0, K0, K0, K0, W, K1});
  press(CLEAR);
  EXPECT_EQ(ins_state.entry_position, 9);
  EXPECT_EQ(ins_state.entry_lon_hundred, 0);
  press_all({K0, K9});
  EXPECT_EQ(ins_state.entry_position, 11);
}

TEST_F(KeyboardTest, GuardsLeftByAnAbandonedEntryDoNotRestrictTheNext) {
  ASSERT_EQ(press(SET), 1);
  press_all({N, K0, K0, K0, K0, K0, K0, W, K1, K8});
  ASSERT_EQ(ins_state.entry_lon_at_180, 1);
  ins_state.entry_position = 0;  // what LAST WPT does to an entry under way
  press_all({K0, N, K0, K0, K0, K0, K0, K0, W, K0});
  EXPECT_EQ(ins_state.entry_lon_hundred, 0);
  press(K9);
  EXPECT_EQ(ins_state.entry_position, 11);  // 09x accepted
  press_all({K5, K5, K5, K5, K5});
  EXPECT_EQ(ins_state.entry_position, 16);
  press(INSERT);
  // W 095 55.55 = 95.925833 deg = 1.67422163 rad (single precision).
  EXPECT_EQ(file_lines()[0], "0 0.00000000 1.67422163");
}

TEST_F(KeyboardTest, ClearStepsBackButNotBelowTheHemisphere) {
  press(CLEAR);
  EXPECT_EQ(ins_state.entry_position, 1);  // from idle
  press(CLEAR);
  EXPECT_EQ(ins_state.entry_position, 1);
  press(K0);  // key 0 is no hemisphere
  EXPECT_EQ(ins_state.entry_position, 1);
  press_all({N, K3, K5});
  press(CLEAR);
  EXPECT_EQ(ins_state.entry_position, 3);
  press(K1);
  EXPECT_EQ(ins_state.entry_lat_deg_units, 1.0);
}

TEST_F(KeyboardTest, ZeroKeyedWithSouthOrEastIsStoredAsPlusZero) {
  select_waypoint(0, 4);
  key_position(S, {K0, K0, K0, K0, K0, K0}, E, {K0, K0, K0, K0, K0, K0, K0});
  press(INSERT);
  EXPECT_EQ(file_lines()[4], "4 0.00000000 0.00000000");
  select_waypoint(0, 5);
  key_position(S, {K0, K0, K0, K0, K0, K0}, W, {K0, K1, K0, K0, K0, K0, K0});
  press(INSERT);
  // 10 deg = 0.17453292 rad (single precision).
  EXPECT_EQ(file_lines()[5], "5 0.00000000 0.17453292");
}

// ---------------------------------------------------------------------------------------------
// INSERT
// ---------------------------------------------------------------------------------------------

TEST_F(KeyboardTest, InsertNeedsAnOpenCompleteEntry) {
  ASSERT_EQ(press(SET), 1);
  press_all({N, K1, K0, K0, K0, K0, K0, E, K0, K0, K0, K0, K0, K0});
  ASSERT_EQ(ins_state.entry_position, 15);
  press(INSERT);
  EXPECT_EQ(ins_state.waypoint_entry_mode, 1);
  EXPECT_FALSE(workdir.exists("WAYPOINTS.DAT"));
  press(K0);
  ins_state.waypoint_entry_mode = 0;  // complete, but the entry was closed
  press(INSERT);
  EXPECT_EQ(ins_state.entry_position, 16);
  EXPECT_FALSE(workdir.exists("WAYPOINTS.DAT"));
}

TEST_F(KeyboardTest, KeyZeroPastCompleteStopsAt17AndInsertStillStores) {
  select_waypoint(0, 2);
  key_position(N, {K1, K0, K0, K0, K0, K0}, W, {K0, K2, K0, K0, K0, K0, K0});
  for (int i = 0; i < 200; ++i) press(K0);  // an 8-bit counter would have wrapped
  EXPECT_EQ(ins_state.entry_position, 17);
  press(INSERT);
  EXPECT_EQ(ins_state.entry_position, 0);
  // 10 deg = 0.17453292 rad, 20 deg = 0.34906584 rad (single precision).
  EXPECT_EQ(file_lines()[2], "2 0.17453292 0.34906584");
}

TEST_F(KeyboardTest, InsertReloadsTheToWaypointOnlyWhenItIsTheOneStored) {
  ins_state.to_waypoint = 3;
  select_waypoint(0, 2);
  key_position(N, {K1, K0, K0, K0, K0, K0}, W, {K0, K1, K0, K0, K0, K0, K0});
  ins_state.reload_to_waypoint = 0;
  press(INSERT);
  EXPECT_EQ(ins_state.reload_to_waypoint, 0);
  select_waypoint(0, 3);
  key_position(N, {K1, K0, K0, K0, K0, K0}, W, {K0, K1, K0, K0, K0, K0, K0});
  ins_state.reload_to_waypoint = 0;
  press(INSERT);
  EXPECT_EQ(ins_state.reload_to_waypoint, 1);
}

TEST_F(KeyboardTest, InsertAtWaypoint99KeepsEveryOtherLine) {
  // The layout an import leaves: 100 lines numbered 0..99, here with positions i/128 and
  // -(i+1)/64 rad, exact in single precision so that they come back digit for digit.
  auto imported_line = [](int i) {
    char line[64];
    std::snprintf(line, sizeof line, "%d %.8f %.8f", i, i / 128.0, -(i + 1) / 64.0);
    return std::string(line);
  };
  std::string imported;
  for (int i = 0; i < 100; ++i) imported += imported_line(i) + "\n";
  workdir.write("WAYPOINTS.DAT", imported);
  select_waypoint(9, 9);
  key_position(N, {K1, K0, K0, K0, K0, K0}, W, {K0, K2, K0, K0, K0, K0, K0});
  press(INSERT);
  const std::vector<std::string> lines = file_lines();
  ASSERT_EQ(lines.size(), 100u);
  for (int i = 0; i < 99; ++i) EXPECT_EQ(lines[i], imported_line(i));
  EXPECT_EQ(lines[99], "99 0.17453292 0.34906584");
}

TEST_F(KeyboardTest, InsertKeepsEachLineUnderItsOwnNumber) {
  // A hand-edited file with gaps, out of order, with a line that is no waypoint.
  workdir.write(
      "WAYPOINTS.DAT",
      "7 0.50000000 0.25000000\nnote\n0 0.12500000 -0.12500000\n42 1.00000000 2.00000000\n");
  select_waypoint(0, 3);
  key_position(N, {K1, K0, K0, K0, K0, K0}, W, {K0, K2, K0, K0, K0, K0, K0});
  press(INSERT);
  const std::vector<std::string> lines = file_lines();
  ASSERT_EQ(lines.size(), 100u);
  for (int i = 0; i < 100; ++i) {
    std::string expected = zero_line(i);
    if (i == 0) expected = "0 0.12500000 -0.12500000";
    if (i == 3) expected = "3 0.17453292 0.34906584";
    if (i == 7) expected = "7 0.50000000 0.25000000";
    if (i == 42) expected = "42 1.00000000 2.00000000";
    EXPECT_EQ(lines[i], expected);
  }
}

// Lowers the largest file this process may write, so that writing the new waypoint file fails
// part way as on a full disk (this works for root too).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit previous_{};
  void (*old_handler_)(int) = nullptr;
};

TEST_F(KeyboardTest, InsertThatCannotWriteLeavesTheOldFileAndTheEntryOpen) {
  const std::string old_file = "0 0.12500000 -0.12500000\n1 0.25000000 0.50000000\n";
  workdir.write("WAYPOINTS.DAT", old_file);
  select_waypoint(0, 1);
  key_position(N, {K1, K0, K0, K0, K0, K0}, W, {K0, K2, K0, K0, K0, K0, K0});
  {
    FileSizeLimit limit(64);
    insert_key(nullptr, MOUSE_LEFT_SINGLE);
  }
  frames(5);
  EXPECT_EQ(workdir.read("WAYPOINTS.DAT"), old_file);
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(workdir.path())) {
    files.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(files, std::vector<std::string>{"WAYPOINTS.DAT"});  // no scratch file left behind
  // Nothing was stored, and the crew can see it: the entry is still open and complete.
  EXPECT_EQ(ins_state.waypoint_entry_mode, 1);
  EXPECT_EQ(ins_state.entry_position, 16);
  EXPECT_TRUE(set_lamp_lit());

  press(INSERT);  // room again
  EXPECT_EQ(ins_state.waypoint_entry_mode, 0);
  const std::vector<std::string> lines = file_lines();
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[0], "0 0.12500000 -0.12500000");
  EXPECT_EQ(lines[1], "1 0.17453292 0.34906584");
}

TEST_F(KeyboardTest, InsertDoesNotReplaceAFileItCannotRead) {
  const std::string old_file = "0 0.12500000 -0.12500000\n1 0.25000000 0.50000000\n";
  workdir.write("WAYPOINTS.DAT", old_file);
  select_waypoint(0, 2);
  key_position(N, {K1, K0, K0, K0, K0, K0}, W, {K0, K2, K0, K0, K0, K0, K0});
  // The folder stays writable, only the file cannot be read (a permission, or on other systems
  // another program holding it). Root reads every file, so the INSERT runs in a child process
  // that has given up root.
  ASSERT_EQ(chmod(workdir.path().c_str(), 0777), 0);
  ASSERT_EQ(chmod((workdir.path() / "WAYPOINTS.DAT").c_str(), 0), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    insert_key(nullptr, MOUSE_LEFT_SINGLE);
    _exit(ins_state.waypoint_entry_mode == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the entry should have stayed open";
  chmod((workdir.path() / "WAYPOINTS.DAT").c_str(), 0644);
  EXPECT_EQ(workdir.read("WAYPOINTS.DAT"), old_file);
}

// INSERT reads the old file before it rewrites it; a waypoint file that is not a regular file
// (a FIFO would block the click, a device never end the reading) or that fails to read (here
// /proc/self/mem, whose first read fails) is not replaced, and the entry stays open as for any
// INSERT that could not store. The INSERT runs in a child that is killed if it blocks or spins.
TEST_F(KeyboardTest, InsertDoesNotReplaceAWaypointFileThatIsNoRegularFileOrFailsToRead) {
  namespace fs = std::filesystem;
  select_waypoint(0, 3);
  key_position(N, {K1, K0, K0, K0, K0, K0}, W, {K0, K2, K0, K0, K0, K0, K0});
  for (const test_support::OddFile& c : test_support::odd_files()) {
    SCOPED_TRACE(c.name);
    const fs::path path = workdir.path() / "WAYPOINTS.DAT";
    fs::remove(path);
    c.make(path);
    const test_support::ChildOutcome outcome = test_support::run_in_child(
        [] {
          insert_key(nullptr, MOUSE_LEFT_SINGLE);
          return ins_state.waypoint_entry_mode == 1 && ins_state.entry_position == 16 ? 0 : 1;
        },
        5.0);
    EXPECT_TRUE(outcome.finished) << "INSERT blocked or never finished";
    EXPECT_EQ(outcome.exit_code, 0) << "the entry should have stayed open";
    const fs::file_status status = fs::symlink_status(path);
    EXPECT_FALSE(fs::is_regular_file(status)) << "the waypoint file was replaced";
    EXPECT_EQ(workdir.names_starting(WAYPOINT_TEMP_FILE_PREFIX), std::vector<std::string>{});
  }
}

}  // namespace
