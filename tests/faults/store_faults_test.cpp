// The waypoint store when the system fails under it, for real: the preloaded fault injector
// (fault_injector.cpp) makes reads break off part way, the disk fill up, the flush or the rename
// fail. Whatever fails, the old waypoint file stays byte for byte, no temporary is left behind,
// INSERT keeps its entry open (nothing was stored, and the crew can see it) and an import changes
// nothing but its request. The injector must be loaded: without it every test here fails.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cdu/flight_plan_import.h"
#include "cdu/keyboard.h"
#include "state/ins_state.h"
#include "store/plan_import.h"
#include "store/waypoint_file.h"
#include "tests/support/preloaded_functions.h"
#include "tests/unit/test_support.h"

namespace {

struct Injector {
  int (*fail)(const char*, const char*, long, int) = nullptr;
  void (*reset)() = nullptr;
  long (*failures)() = nullptr;
  const char* (*log)() = nullptr;
};

Injector find_injector() {
  Injector injector;
  find_preloaded_function(injector.fail, "fault_injector_fail");
  find_preloaded_function(injector.reset, "fault_injector_reset");
  find_preloaded_function(injector.failures, "fault_injector_failures");
  find_preloaded_function(injector.log, "fault_injector_log");
  return injector;
}

// A full waypoint file of 100 lines, as the module writes it, of values a single-precision
// table holds exactly (so a rewrite gives the same text back).
std::string hundred_lines() {
  std::string text;
  char line[64];
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) {
    std::snprintf(line, sizeof line, "%d %.8f %.8f\n", i, i / 64.0, -i / 32.0);
    text += line;
  }
  return text;
}

const std::string PLAN =
    "[flightplan]\n"
    "waypoint.0=, EGPB, , EGPB, A, N59* 52.73', W001* 17.73', +000020.00,\n"
    "waypoint.1=KK, WIK, , WIK, V, N58* 27.53', W003* 06.02', +000000.00,\n";

class StoreFaultTest : public test_support::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    injector = find_injector();
    ASSERT_TRUE(injector.fail && injector.reset && injector.failures && injector.log)
        << "the fault injector is not loaded: run this program with "
           "LD_PRELOAD=libfault_injector.so (ctest does)";
    injector.reset();
    workdir.write(WAYPOINT_FILE_NAME, old_file);
  }
  void TearDown() override {
    if (injector.reset) injector.reset();
    ModuleTest::TearDown();
  }

  void arm(const char* operation, const char* file, long allowed, int error) {
    ASSERT_EQ(injector.fail(operation, file, allowed, error), 0);
  }
  // Ends the armed failures (so that the test's own reads work again) and tells how many calls
  // were made to fail.
  long disarm() {
    const long failed = injector.failures();
    injector.reset();
    return failed;
  }

  // A complete entry of N10°00.00' W020°00.00' for waypoint 01, open, as the keys leave it.
  void complete_entry() {
    InsState& s = ins_state;
    s.data_selector = 4;
    s.ins_powered = 1;
    s.thumbwheel_tens = 0;
    s.thumbwheel_units = 1;
    s.waypoint_entry_mode = 1;
    s.entry_position = 16;
    s.entry_north = 1, s.entry_south = 0, s.entry_west = 1, s.entry_east = 0;
    for (double* digit :
         {&s.entry_lat_deg_units, &s.entry_lat_min_tens, &s.entry_lat_min_units,
          &s.entry_lat_min_tenths, &s.entry_lat_min_hundredths, &s.entry_lon_deg_hundreds,
          &s.entry_lon_deg_units, &s.entry_lon_min_tens, &s.entry_lon_min_units,
          &s.entry_lon_min_tenths, &s.entry_lon_min_hundredths}) {
      *digit = 0.0;
    }
    s.entry_lat_deg_tens = 1.0;
    s.entry_lon_deg_tens = 2.0;
  }

  // Presses INSERT on a complete entry; true when it stored (the entry closed).
  bool insert() {
    complete_entry();
    ins_state.insert_pressed = 0;
    insert_key(nullptr, MOUSE_LEFT_SINGLE);
    return ins_state.waypoint_entry_mode == 0;
  }

  // Runs an import of PLAN; true when it replaced the file (the TO waypoint is to be reloaded).
  bool import_plan() {
    workdir.write(PLAN_FILE_NAME, PLAN);
    ins_state.reload_to_waypoint = 0;
    request_flight_plan_import();
    EXPECT_EQ(ins_state.plan_import_request, 1);
    import_flight_plan();
    EXPECT_EQ(ins_state.plan_import_request, 0);
    return ins_state.reload_to_waypoint == 1;
  }

  void expect_old_file_alone() {
    EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), old_file);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(workdir.path())) {
      const std::string name = entry.path().filename().string();
      if (name != PLAN_FILE_NAME) names.push_back(name);
    }
    EXPECT_EQ(names, std::vector<std::string>{WAYPOINT_FILE_NAME}) << "a temporary was left";
  }

  Injector injector;
  const std::string old_file = hundred_lines();
};

// ---------------------------------------------------------------------------------------------
// Reading the old file

// An I/O error after 300 bytes of the 100-line file is not its end: INSERT must not write back
// the 10 lines read before it (and zeros for the other 90) and report success.
TEST_F(StoreFaultTest, InsertDoesNotReplaceAFileWhoseReadingFailsPartWay) {
  arm("read", WAYPOINT_FILE_NAME, 300, EIO);
  EXPECT_FALSE(insert());
  EXPECT_GT(disarm(), 0);
  expect_old_file_alone();
  EXPECT_EQ(ins_state.entry_position, 16);  // open and complete: INSERT can be pressed again

  ASSERT_TRUE(insert());
  std::string expected = old_file;
  const std::string line1 = "1 0.01562500 -0.03125000\n";
  expected.replace(expected.find(line1), line1.size(), "1 0.17453292 0.34906584\n");
  EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), expected);
}

// The readers take nothing from a file they could not read to its end: not the waypoint, not
// the highest number (which would stop AUTO early at waypoint 10).
TEST_F(StoreFaultTest, ReadersTakeNothingFromAFileWhoseReadingFailsPartWay) {
  for (long allowed : {0L, 300L, 1023L, 1024L, 2500L}) {
    SCOPED_TRACE("fails after " + std::to_string(allowed) + " bytes");
    injector.reset();
    arm("read", WAYPOINT_FILE_NAME, allowed, EIO);
    ins_state.file_waypoint_number = -7;
    double lat = 9.0, lon = 9.0;
    EXPECT_FALSE(load_waypoint(5, lat, lon, ins_state.file_waypoint_number));
    EXPECT_EQ(lat, 9.0);
    EXPECT_EQ(lon, 9.0);
    EXPECT_EQ(ins_state.file_waypoint_number, -7);
    WaypointEntry table[WAYPOINT_TABLE_SIZE];
    EXPECT_EQ(read_waypoint_table(table), TABLE_UNREADABLE);
    EXPECT_GT(disarm(), 0);
  }
}

// A plan, or the import's own scratch file, that cannot be read to its end replaces nothing.
TEST_F(StoreFaultTest, AnImportWhoseReadingFailsChangesNothing) {
  for (const char* file : {PLAN_FILE_NAME, PLAN_SCRATCH_FILE_NAME}) {
    SCOPED_TRACE(file);
    injector.reset();
    arm("read", file, 70, EIO);
    EXPECT_FALSE(import_plan());
    EXPECT_GT(disarm(), 0);
    expect_old_file_alone();
  }
  EXPECT_TRUE(import_plan());  // and the same plan imports once the disk reads again
}

// ---------------------------------------------------------------------------------------------
// Writing the new file

// Every way the writing can fail, through both writers: the disk full part way through the new
// file (or the import's scratch file), the flush to the disk, the rename. The old file stays as
// it was and no temporary is left.
TEST_F(StoreFaultTest, AFailedRewriteLeavesTheOldFileExactlyAsItWas) {
  struct Case {
    const char* operation;
    const char* file;
    long allowed;
    int error;
  };
  const std::string temporary = std::string(WAYPOINT_TEMP_FILE_PREFIX) + "*";
  const Case cases[] = {
      {"write", temporary.c_str(), 0, ENOSPC}, {"write", temporary.c_str(), 1500, ENOSPC},
      {"write", temporary.c_str(), 1500, EIO}, {"fsync", temporary.c_str(), 0, EIO},
      {"rename", temporary.c_str(), 0, EIO},
  };
  for (const Case& c : cases) {
    for (bool by_insert : {true, false}) {
      SCOPED_TRACE(std::string(c.operation) + " of " + c.file + " after " +
                   std::to_string(c.allowed) + (by_insert ? ", INSERT" : ", import"));
      arm(c.operation, c.file, c.allowed, c.error);
      EXPECT_FALSE(by_insert ? insert() : import_plan());
      EXPECT_GT(disarm(), 0);
      expect_old_file_alone();
    }
  }
  arm("write", PLAN_SCRATCH_FILE_NAME, 40, ENOSPC);
  EXPECT_FALSE(import_plan());
  EXPECT_GT(disarm(), 0);
  expect_old_file_alone();
}

// The new file reaches the disk before it replaces the old one, and the folder after: a power
// cut at any moment leaves the old file or the new one, never an empty or half-written one.
TEST_F(StoreFaultTest, TheNewFileIsFlushedBeforeTheRenameAndTheFolderAfter) {
  // The temporary's own name (the process id and a number) is flushed, then renamed.
  const std::regex flushed_then_renamed(std::string("fsync (") + WAYPOINT_TEMP_FILE_PREFIX +
                                        "[0-9]+-[0-9]+)\nrename \\1 " + WAYPOINT_FILE_NAME +
                                        "\nfsync \\.\n");
  ASSERT_TRUE(insert());
  EXPECT_TRUE(std::regex_match(std::string(injector.log()), flushed_then_renamed))
      << injector.log();
  injector.reset();
  ASSERT_TRUE(import_plan());
  EXPECT_TRUE(std::regex_match(std::string(injector.log()), flushed_then_renamed))
      << injector.log();
}

// Once the rename is done the new file is in place; a folder that cannot be flushed (some file
// systems refuse it) does not undo that or turn it into a failure, since a power cut still
// leaves one whole file.
TEST_F(StoreFaultTest, AFolderThatCannotBeFlushedDoesNotFailTheReplacement) {
  arm("fsync", ".", 0, EINVAL);
  EXPECT_TRUE(insert());
  EXPECT_GT(disarm(), 0);
  EXPECT_NE(workdir.read(WAYPOINT_FILE_NAME), old_file);
  EXPECT_EQ(workdir.names_starting(WAYPOINT_TEMP_FILE_PREFIX), std::vector<std::string>{});
}

}  // namespace
