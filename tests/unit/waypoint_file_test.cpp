// The waypoint file on real files in a temporary working folder.
#include "store/waypoint_file.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/unit/test_support.h"

using test_support::ModuleTest;

namespace {

constexpr double kUnset = 9.0;  // a destination value no test file holds

double f(double value) {
  return static_cast<double>(static_cast<float>(value));
}

}  // namespace

class WaypointFileTest : public ModuleTest {
 protected:
  void write_file(const std::string& content) { workdir.write(WAYPOINT_FILE_NAME, content); }
};

// ---------------------------------------------------------------------------------------------
// load_waypoint
// ---------------------------------------------------------------------------------------------

TEST_F(WaypointFileTest, LaterLineWithTheSameNumberWinsAndTheLastLineSetsTheFileNumber) {
  write_file("4 0.1 0.2\n5 0.1 0.2\n5 0.3 -0.4\n6 0.5 0.6\n");
  double lat = kUnset, lon = kUnset;
  EXPECT_TRUE(load_waypoint(5, lat, lon));
  EXPECT_EQ(lat, f(0.3));  // single precision, widened
  EXPECT_EQ(lon, f(-0.4));
  EXPECT_EQ(ins_state.file_waypoint_number, 6);
}

TEST_F(WaypointFileTest, FileNumberedZeroToTwoLeavesTwoWhicheverNumberIsLookedUp) {
  write_file("0 0.1 0.2\n1 0.3 0.4\n2 0.5 0.6\n");
  for (int32_t n : {0, 1, 2, 50}) {
    ins_state.file_waypoint_number = -7;
    double lat = kUnset, lon = kUnset;
    EXPECT_EQ(load_waypoint(n, lat, lon), n <= 2) << n;
    EXPECT_EQ(ins_state.file_waypoint_number, 2) << n;
  }
}

TEST_F(WaypointFileTest, MissingFileLeavesEverythingAsItWas) {
  ins_state.file_waypoint_number = 42;
  double lat = kUnset, lon = kUnset;
  EXPECT_FALSE(load_waypoint(0, lat, lon));
  EXPECT_EQ(lat, kUnset);
  EXPECT_EQ(lon, kUnset);
  EXPECT_EQ(ins_state.file_waypoint_number, 42);
}

TEST_F(WaypointFileTest, ReadsTheNameEveryWriterWrites) {
  const WaypointLine lines[] = {{0.1, 0.2}, {0.3, 0.4}};
  ASSERT_TRUE(write_waypoint_file(lines, 2));
  EXPECT_TRUE(workdir.exists("WAYPOINTS.DAT"));
  double lat = kUnset, lon = kUnset;
  EXPECT_TRUE(load_waypoint(1, lat, lon));
  EXPECT_EQ(lat, f(0.3));
  EXPECT_EQ(lon, f(0.4));
}

// One file, one waypoint looked up, and what the reader ends with. `lat`/`lon` of kUnset mean
// the destination must keep its value.
struct LoadCase {
  const char* name;
  std::string content;
  int32_t number;
  bool matched;
  double lat;
  double lon;
  int32_t file_number;  // file_waypoint_number afterwards (starts at -1)
};

std::string spaces(std::size_t n) {
  return std::string(n, ' ');
}

// A line of exactly 99 characters (without its end) whose fields end at the 99th character.
std::string line_of_99(const std::string& fields) {
  return spaces(99 - fields.size()) + fields;
}

TEST_F(WaypointFileTest, ReadsEachKindOfLineAsDocumented) {
  const std::string filler(99 - std::strlen("3 0.1 0.2 "), 'x');
  const LoadCase cases[] = {
      {"leading white space and spaces between", "   7   0.25   -0.75  \n", 7, true, 0.25, -0.75,
       7},
      {"no line end at the end of the file", "7 0.25 -0.75", 7, true, 0.25, -0.75, 7},
      {"lines without a number are skipped", "# plan\n\nx 7 1 1\n7 0.25 -0.75\nend\n", 7, true,
       0.25, -0.75, 7},
      {"CR LF line ends", "1 0.1 0.2\r\n7 0.25 -0.75\r\n8 0 0\r\n", 7, true, 0.25, -0.75, 8},
      {"NaN does not convert, the other field does", "7 nan 0.5\n", 7, true, kUnset, 0.5, 7},
      {"infinity does not convert", "7 inf -infinity\n", 7, true, kUnset, kUnset, 7},
      {"float overflow does not convert", "7 0.5 1e39\n", 7, true, 0.5, kUnset, 7},
      {"a missing longitude keeps its value", "7 0.25\n", 7, true, 0.25, kUnset, 7},
      {"no longitude is looked for after a non-number", "7 north 0.5\n", 7, true, kUnset, kUnset,
       7},
      {"a number beyond 32 bits is no number", "7 0.25 0.5\n99999999999 1 1\n", 7, true, 0.25, 0.5,
       7},
      {"a NUL inside a line does not swallow the next line",
       std::string("7 0.25 0.5\n12\0x\n8 0 0\n", 22), 7, true, 0.25, 0.5, 8},
      // Over-long lines: only the first 99 characters are the line. The rest starts with
      // "42 0.7 0.8" here and still is not waypoint 42, nor the file's last number.
      {"continuation of a long line is not a line", "3 0.1 0.2 " + filler + "42 0.7 0.8\n", 42,
       false, kUnset, kUnset, 3},
      {"the long line itself is read from its start", "3 0.1 0.2 " + filler + "42 0.7 0.8\n", 3,
       true, 0.1, 0.2, 3},
      {"a field cut at the 99th character does not convert",
       spaces(89) + "3 0.123456" + "78 -0.5\n", 3, true, kUnset, kUnset, 3},
      {"a line of exactly 99 characters is whole (LF)", line_of_99("3 0.25 -0.5") + "\n", 3, true,
       0.25, -0.5, 3},
      {"a line of exactly 99 characters is whole (CR LF)",
       line_of_99("3 0.25 -0.5") + "\r\n4 0 0\r\n", 3, true, 0.25, -0.5, 4},
      {"a line of exactly 99 characters is whole (end of file)", line_of_99("3 0.25 -0.5"), 3, true,
       0.25, -0.5, 3},
      {"a very long line does not hide the next one", std::string(1000, '1') + "\n4 0.1 0.2\n", 4,
       true, 0.1, 0.2, 4},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(c.content);
    ins_state.file_waypoint_number = -1;
    double lat = kUnset, lon = kUnset;
    EXPECT_EQ(load_waypoint(c.number, lat, lon), c.matched);
    EXPECT_EQ(lat, c.lat == kUnset ? kUnset : f(c.lat));
    EXPECT_EQ(lon, c.lon == kUnset ? kUnset : f(c.lon));
    EXPECT_EQ(ins_state.file_waypoint_number, c.file_number);
  }
}

// ---------------------------------------------------------------------------------------------
// format_waypoint_line and write_waypoint_file
// ---------------------------------------------------------------------------------------------

TEST(FormatWaypointLine, EightDecimalsWestPositiveAndBounded) {
  char buffer[64];
  // 0.5 rad east is stored west-positive, as -0.5.
  ASSERT_EQ(format_waypoint_line(buffer, sizeof buffer, 12, 0.1, -0.5), 26);
  EXPECT_STREQ(buffer, "12 0.10000000 -0.50000000\n");

  const std::string expected = "3 -1.00000000 0.00000000\n";
  EXPECT_EQ(format_waypoint_line(buffer, expected.size() + 1, 3, -1.0, 0.0),
            static_cast<int>(expected.size()));
  EXPECT_EQ(buffer, expected);
  // One byte short: nothing half-written, and nothing beyond the buffer touched.
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(format_waypoint_line(buffer, expected.size(), 3, -1.0, 0.0), -1);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[expected.size()], '#');
  EXPECT_EQ(format_waypoint_line(buffer, 0, 3, -1.0, 0.0), -1);
}

// Byte for byte (LF line ends on every platform), first as a new file, then over an existing
// one (which a plain rename refuses to replace on Windows).
TEST_F(WaypointFileTest, WritesEveryLineNumberedInOrder) {
  const WaypointLine lines[] = {{0.1, 0.2}, {-0.25, -0.5}, {0.0, 0.0}};
  ASSERT_TRUE(write_waypoint_file(lines, 3));
  EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME),
            "0 0.10000000 0.20000000\n1 -0.25000000 -0.50000000\n2 0.00000000 0.00000000\n");
  EXPECT_FALSE(workdir.exists(WAYPOINT_TEMP_FILE_NAME));

  const WaypointLine replacement[] = {{-1.5, 3.0}};
  ASSERT_TRUE(write_waypoint_file(replacement, 1));
  EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), "0 -1.50000000 3.00000000\n");
  EXPECT_FALSE(workdir.exists(WAYPOINT_TEMP_FILE_NAME));
}

TEST_F(WaypointFileTest, HundredLinesRoundTripThroughTheTable) {
  WaypointLine lines[WAYPOINT_TABLE_SIZE];
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) lines[i] = {i * 0.01 - 0.5, 1.5 - i * 0.03};
  ASSERT_TRUE(write_waypoint_file(lines, WAYPOINT_TABLE_SIZE));
  WaypointEntry table[WAYPOINT_TABLE_SIZE];
  ASSERT_TRUE(read_waypoint_table(table));
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) {
    EXPECT_NEAR(table[i].lat, lines[i].lat, 1e-7) << i;
    EXPECT_NEAR(table[i].lon, lines[i].lon, 1e-7) << i;
  }
  double lat = kUnset, lon = kUnset;
  EXPECT_TRUE(load_waypoint(99, lat, lon));
  EXPECT_EQ(ins_state.file_waypoint_number, 99);
}

TEST_F(WaypointFileTest, RefusesALineCountOutsideTheTable) {
  const WaypointLine lines[WAYPOINT_TABLE_SIZE + 1] = {};
  EXPECT_FALSE(write_waypoint_file(lines, WAYPOINT_TABLE_SIZE + 1));
  EXPECT_FALSE(write_waypoint_file(lines, -1));
  EXPECT_FALSE(workdir.exists(WAYPOINT_FILE_NAME));
  EXPECT_FALSE(workdir.exists(WAYPOINT_TEMP_FILE_NAME));
}

// The rewrite never loses the old file. Tests run as root, where a read-only folder does not stop
// a write, so each case makes one step fail in a way root cannot get around.
TEST_F(WaypointFileTest, AFailedRewriteLeavesTheOldFileExactlyAsItWas) {
  namespace fs = std::filesystem;
  const std::string old_content = "0 0.1 0.2\n1 0.3 0.4\n";
  const WaypointLine lines[] = {{1.0, 1.0}, {1.0, 1.0}, {1.0, 1.0}};

  {
    SCOPED_TRACE("the temporary cannot be created: a folder has its name");
    write_file(old_content);
    fs::create_directory(workdir.path() / WAYPOINT_TEMP_FILE_NAME);
    EXPECT_FALSE(write_waypoint_file(lines, 3));
    EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), old_content);
    EXPECT_TRUE(fs::is_directory(workdir.path() / WAYPOINT_TEMP_FILE_NAME));  // not ours
    fs::remove(workdir.path() / WAYPOINT_TEMP_FILE_NAME);
  }
#if !defined(_WIN32)
  {
    SCOPED_TRACE("the disk is full: the buffered lines fail at the flush");
    write_file(old_content);
    fs::create_symlink("/dev/full", workdir.path() / WAYPOINT_TEMP_FILE_NAME);
    EXPECT_FALSE(write_waypoint_file(lines, 3));
    EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), old_content);
    EXPECT_FALSE(fs::exists(fs::symlink_status(workdir.path() / WAYPOINT_TEMP_FILE_NAME)));
  }
#else
  {
    // On Windows a file another program holds open without delete sharing (an editor, a
    // backup tool, a second simulator) cannot be replaced; the rewrite must give up cleanly.
    SCOPED_TRACE("the replace fails: another program holds the waypoint file open");
    write_file(old_content);
    const std::wstring name = (workdir.path() / WAYPOINT_FILE_NAME).wstring();
    HANDLE held = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(write_waypoint_file(lines, 3));
    CloseHandle(held);
    EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), old_content);
    EXPECT_FALSE(workdir.exists(WAYPOINT_TEMP_FILE_NAME));
  }
#endif
  {
    SCOPED_TRACE("the rename fails: the waypoint file's name is a folder that is not empty");
    fs::remove(workdir.path() / WAYPOINT_FILE_NAME);
    fs::create_directories(workdir.path() / WAYPOINT_FILE_NAME / "keep");
    EXPECT_FALSE(write_waypoint_file(lines, 3));
    EXPECT_TRUE(fs::is_directory(workdir.path() / WAYPOINT_FILE_NAME / "keep"));
    EXPECT_FALSE(workdir.exists(WAYPOINT_TEMP_FILE_NAME));
  }
}

TEST_F(WaypointFileTest, AValueTooLargeForALineFailsTheWholeRewrite) {
  const std::string old_content = "0 0.1 0.2\n";
  write_file(old_content);
  const WaypointLine lines[] = {{0.1, 0.2}, {1e300, 0.0}};
  EXPECT_FALSE(write_waypoint_file(lines, 2));
  EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), old_content);
  EXPECT_FALSE(workdir.exists(WAYPOINT_TEMP_FILE_NAME));
}

// ---------------------------------------------------------------------------------------------
// read_waypoint_table
// ---------------------------------------------------------------------------------------------

TEST_F(WaypointFileTest, TableIsFilledByEachLinesOwnNumberFromZeros) {
  write_file(
      "5 0.3 0.4\n"
      "0 0.1 0.2\n"
      "99 0.5 0.6\n"
      "100 1 1\n"    // beyond the table: passed over
      "-1 1 1\n"     // likewise
      "waypoints\n"  // no number
      "7 nan 0.7\n"  // only the longitude converts
      "5 0.35 0.45\n");
  WaypointEntry table[WAYPOINT_TABLE_SIZE];
  for (WaypointEntry& e : table) e = {3.0f, 3.0f};  // stale values from an earlier use
  ASSERT_TRUE(read_waypoint_table(table));
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) {
    SCOPED_TRACE(i);
    float lat = 0.0f, lon = 0.0f;
    switch (i) {
      case 0:
        lat = 0.1f, lon = 0.2f;
        break;
      case 5:
        lat = 0.35f, lon = 0.45f;
        break;  // the later line
      case 7:
        lat = 0.0f, lon = 0.7f;
        break;
      case 99:
        lat = 0.5f, lon = 0.6f;
        break;
      default:
        break;
    }
    EXPECT_EQ(table[i].lat, lat);
    EXPECT_EQ(table[i].lon, lon);
  }
}

TEST_F(WaypointFileTest, TableOfAMissingFileIsAllZeros) {
  WaypointEntry table[WAYPOINT_TABLE_SIZE];
  for (WaypointEntry& e : table) e = {3.0f, 3.0f};
  EXPECT_FALSE(read_waypoint_table(table));
  for (const WaypointEntry& e : table) {
    EXPECT_EQ(e.lat, 0.0f);
    EXPECT_EQ(e.lon, 0.0f);
  }
}
