// The waypoint file on real files in a temporary working folder.
#include "store/waypoint_file.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <bit>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "store/durable_file.h"
#include "tests/unit/test_support.h"

using test_support::ModuleTest;
#if !defined(_WIN32)
using test_support::run_in_child;
#endif
namespace fs = std::filesystem;

namespace {

constexpr double kUnset = 9.0;  // a destination value no test file holds

double f(double value) {
  return static_cast<double>(static_cast<float>(value));
}

}  // namespace

class WaypointFileTest : public ModuleTest {
 protected:
  void write_file(const std::string& content) { workdir.write(WAYPOINT_FILE_NAME, content); }
  // The rewrite's temporaries in the folder: none once a rewrite has ended, however it ended.
  std::vector<std::string> temporaries() const {
    return workdir.names_starting(WAYPOINT_TEMP_FILE_PREFIX);
  }
  const std::vector<std::string> NONE;
};

// ---------------------------------------------------------------------------------------------
// load_waypoint
// ---------------------------------------------------------------------------------------------

TEST_F(WaypointFileTest, LaterLineWithTheSameNumberWinsAndTheLastLineSetsTheFileNumber) {
  write_file("4 0.1 0.2\n5 0.1 0.2\n5 0.3 -0.4\n6 0.5 0.6\n");
  double lat = kUnset, lon = kUnset;
  EXPECT_TRUE(load_waypoint(5, lat, lon, ins_state.file_waypoint_number));
  EXPECT_EQ(lat, f(0.3));  // single precision, widened
  EXPECT_EQ(lon, f(-0.4));
  EXPECT_EQ(ins_state.file_waypoint_number, 6);
}

TEST_F(WaypointFileTest, FileNumberedZeroToTwoLeavesTwoWhicheverNumberIsLookedUp) {
  write_file("0 0.1 0.2\n1 0.3 0.4\n2 0.5 0.6\n");
  for (int32_t n : {0, 1, 2, 50}) {
    ins_state.file_waypoint_number = -7;
    double lat = kUnset, lon = kUnset;
    EXPECT_EQ(load_waypoint(n, lat, lon, ins_state.file_waypoint_number), n <= 2) << n;
    EXPECT_EQ(ins_state.file_waypoint_number, 2) << n;
  }
}

TEST_F(WaypointFileTest, MissingFileLeavesEverythingAsItWas) {
  ins_state.file_waypoint_number = 42;
  double lat = kUnset, lon = kUnset;
  EXPECT_FALSE(load_waypoint(0, lat, lon, ins_state.file_waypoint_number));
  EXPECT_EQ(lat, kUnset);
  EXPECT_EQ(lon, kUnset);
  EXPECT_EQ(ins_state.file_waypoint_number, 42);
}

TEST_F(WaypointFileTest, ReadsTheNameEveryWriterWrites) {
  const WaypointLine lines[] = {{0.1, 0.2}, {0.3, 0.4}};
  ASSERT_TRUE(write_waypoint_file(lines, 2));
  EXPECT_TRUE(workdir.exists("WAYPOINTS.DAT"));
  double lat = kUnset, lon = kUnset;
  EXPECT_TRUE(load_waypoint(1, lat, lon, ins_state.file_waypoint_number));
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
      {"nine digits", "123456789 0.25 0.5\n", 123456789, true, 0.25, 0.5, 123456789},
      {"ten digits that fit 32 bits", "2147483647 0.25 0.5\n", 2147483647, true, 0.25, 0.5,
       2147483647},
      {"ten digits just beyond 32 bits are no number", "7 0.25 0.5\n2147483648 1 1\n", 7, true,
       0.25, 0.5, 7},
      {"leading zeros", "007 0.25 0.5\n0000000000008 0 0\n", 7, true, 0.25, 0.5, 8},
      {"signed numbers", "+7 0.25 0.5\n-3 0 0\n", 7, true, 0.25, 0.5, -3},
      {"a number ends at the first character that is no digit", "7x 0.25 0.5\n7.5 0.25\n", 7, true,
       0.5, 0.25, 7},
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
    EXPECT_EQ(load_waypoint(c.number, lat, lon, ins_state.file_waypoint_number), c.matched);
    EXPECT_EQ(lat, c.lat == kUnset ? kUnset : f(c.lat));
    EXPECT_EQ(lon, c.lon == kUnset ? kUnset : f(c.lon));
    EXPECT_EQ(ins_state.file_waypoint_number, c.file_number);
  }
}

// A file several times the size of the file layer's read buffer, with lines of varied lengths
// and CR LF ends, so that lines, and a CR and its LF, fall across the buffer's refills: every
// line is still found, whole, and the last one gives the file's number.
TEST_F(WaypointFileTest, FindsEveryLineOfAFileLargerThanTheReadBuffer) {
  constexpr int kLines = 400;
  std::string content;
  for (int n = 0; n < kLines; ++n) {
    content += std::string(static_cast<std::size_t>(n % 37), ' ') + std::to_string(n) + " " +
               std::to_string(n * 0.25) + " " + std::to_string(n * -0.5) + "\r\n";
  }
  ASSERT_GT(content.size(), 4 * 4096u);
  write_file(content);
  for (int n = 0; n < kLines; ++n) {
    SCOPED_TRACE(n);
    ins_state.file_waypoint_number = -1;
    double lat = kUnset, lon = kUnset;
    ASSERT_TRUE(load_waypoint(n, lat, lon, ins_state.file_waypoint_number));
    EXPECT_EQ(lat, n * 0.25);
    EXPECT_EQ(lon, n * -0.5);
    EXPECT_EQ(ins_state.file_waypoint_number, kLines - 1);
  }
}

// The reader that looks for one waypoint passes over the lines of other numbers without parsing
// them as pieces; what it finds must be what the table reader, which parses every line, finds.
// Random files of every kind of line (ordinary, CR LF, blanks before the number, signs, ten
// digits, long lines starting with digits, NUL bytes, lone CRs, lines without a number), larger
// than the read buffer: for every waypoint the same coordinates, and from every lookup the same
// highest number.
TEST_F(WaypointFileTest, LookingUpOneWaypointFindsWhatTheWholeTableReadFinds) {
  std::mt19937 random(20261210);
  auto number = [&random] { return std::to_string(random() % 100); };
  auto coordinate = [&random] { return std::to_string(static_cast<int>(random() % 2001) - 1000); };
  const std::vector<std::function<std::string()>> kinds = {
      [&] { return number() + " " + coordinate() + " " + coordinate() + "\n"; },
      [&] { return number() + " " + coordinate() + " " + coordinate() + "\r\n"; },
      [&] { return "  " + number() + "\t" + coordinate() + " " + coordinate() + "\n"; },
      [&] { return "+" + number() + " " + coordinate() + "\n"; },
      [&] { return "00000000" + number() + " " + coordinate() + " " + coordinate() + "\n"; },
      [&] { return number() + " " + coordinate() + std::string(120, ' ') + "1 2 3\n"; },
      [&] { return number() + std::string("\0 1 2", 5) + "\n"; },
      [&] { return number() + " " + coordinate() + "\r" + coordinate() + "\n"; },
      [&] { return number() + "\r"; },
      [] { return std::string("# no number\n"); },
      [] { return std::string("\n"); },
  };
  for (int file = 0; file < 20; ++file) {
    std::string content;
    while (content.size() < 3 * 4096) content += kinds[random() % kinds.size()]();
    write_file(content);
    WaypointEntry table[WAYPOINT_TABLE_SIZE];
    ASSERT_EQ(read_waypoint_table(table), TABLE_READ);
    // No line is numbered -5: every numbered line of the file is passed over in this lookup.
    double unused_lat = 0.0, unused_lon = 0.0;
    int32_t first_last_number = -1;
    EXPECT_FALSE(load_waypoint(-5, unused_lat, unused_lon, first_last_number));
    for (int32_t n = 0; n < WAYPOINT_TABLE_SIZE; ++n) {
      SCOPED_TRACE("file " + std::to_string(file) + ", waypoint " + std::to_string(n));
      double lat = NAN, lon = NAN;
      int32_t last_number = -1;
      load_waypoint(n, lat, lon, last_number);
      EXPECT_EQ(std::isnan(lat) ? 0.0f : static_cast<float>(lat), table[n].lat);
      EXPECT_EQ(std::isnan(lon) ? 0.0f : static_cast<float>(lon), table[n].lon);
      EXPECT_EQ(last_number, first_last_number);
    }
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

// The longest line there is (the most negative number, both coordinates the most negative
// double: 652 characters) is written whole when the buffer holds it, and not at all when it is
// one byte short; a line of huge values never fits the file writer's line.
TEST(FormatWaypointLine, TheLongestLineIsWrittenWholeOrNotAtAll) {
  std::vector<char> printed(1024);
  const int expected = std::snprintf(printed.data(), printed.size(), "%d %.8f %.8f\n", INT32_MIN,
                                     -DBL_MAX, -DBL_MAX);
  ASSERT_EQ(expected, 652);
  for (std::size_t size : {std::size_t{653}, std::size_t{1024}}) {
    std::vector<char> buffer(size + 1, '#');
    EXPECT_EQ(format_waypoint_line(buffer.data(), size, INT32_MIN, -DBL_MAX, -DBL_MAX), expected);
    EXPECT_STREQ(buffer.data(), printed.data());
    EXPECT_EQ(buffer[size], '#');
  }
  std::vector<char> short_buffer(653, '#');
  EXPECT_EQ(format_waypoint_line(short_buffer.data(), 652, INT32_MIN, -DBL_MAX, -DBL_MAX), -1);
  EXPECT_EQ(short_buffer[0], '\0');
  EXPECT_EQ(short_buffer[652], '#');

  char line[128];
  EXPECT_EQ(format_waypoint_line(line, sizeof line, 7, 1.0e300, 0.0), -1);
  EXPECT_EQ(line[0], '\0');
}

// The formatter writes exactly what printf's "%d %.8f %.8f\n" writes, over a sweep of values:
// single-precision coordinates across the globe and far beyond it, the decimal ties (n / 512 lies
// exactly half way between two eighth decimals, and printf rounds those to even), magnitudes too
// small to show, signed zeros, values just below a carry into the next whole number, and doubles
// that no float holds: on the globe, of every magnitude up to the largest and down to the
// subnormals, on their own rounding edges, infinities and NaN of either sign.
TEST(FormatWaypointLine, WritesWhatPrintfWrites) {
  std::vector<double> values = {0.0,        -0.0,     1.0,    -1.0,   0.1,      0.82815301,
                                2.13468504, 1.0e6,    -1.0e6, 4.0e9,  INFINITY, -INFINITY,
                                NAN,        1.0e-300, 0.5e-8, -0.5e-8};
  for (int n = -3000; n <= 3000; ++n) values.push_back(n / 512.0);
  for (float edge : {0.5e-8f, 1.5e-8f, 0.99999999f, 9.99999999f, 999999.9f, 3.14159265f}) {
    float below = edge, above = edge;
    for (int i = 0; i < 8; ++i) {
      below = std::nextafter(below, 0.0f);
      above = std::nextafter(above, 2.0e6f);
      values.insert(values.end(), {below, above, -below, -above});
    }
  }
  values.push_back(std::numeric_limits<float>::denorm_min());
  values.push_back(std::numeric_limits<float>::max());
  std::mt19937 random(14);
  std::uniform_real_distribution<float> on_the_globe(-3.2f, 3.2f);
  std::uniform_real_distribution<double> exponent(-12.0, 6.5);
  for (int i = 0; i < 20000; ++i) {
    values.push_back(on_the_globe(random));
    const double magnitude = static_cast<float>(std::pow(10.0, exponent(random)));
    values.push_back(i % 2 == 0 ? magnitude : -magnitude);
  }
  for (int i = 0; i < 200; ++i) values.push_back(on_the_globe(random) + 1.0e-12);  // doubles
  std::uniform_real_distribution<double> on_the_globe_exactly(-3.2, 3.2);
  std::uniform_int_distribution<uint64_t> any_bits;
  for (int i = 0; i < 5000; ++i) {
    values.push_back(on_the_globe_exactly(random));
    values.push_back(std::bit_cast<double>(any_bits(random)));  // NaN payloads and subnormals too
  }
  for (double edge : {0.5e-8, 1.5e-8, 2.5e-8, 0.999999995, 3.141592655, 1.0e6 + 0.5e-8,
                      9007199254740993.0, 1.0e300, DBL_MAX, DBL_MIN, DBL_TRUE_MIN}) {
    for (double v : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, INFINITY)}) {
      values.insert(values.end(), {v, -v});
    }
  }
  values.push_back(-NAN);

  const int32_t numbers[] = {0, 1, 99, -1, 100, INT32_MIN, INT32_MAX};
  char formatted[1024];
  char printed[1024];
  int differences = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int32_t number = numbers[i % std::size(numbers)];
    const double lat = values[i];
    const double lon = values[(i * 7919) % values.size()];
    const int length = format_waypoint_line(formatted, sizeof formatted, number, lat, lon);
    const int expected = std::snprintf(printed, sizeof printed, "%d %.8f %.8f\n", number, lat, lon);
    if (length != expected || std::strcmp(formatted, printed) != 0) {
      if (++differences <= 5) ADD_FAILURE() << "formatted " << formatted << "printed   " << printed;
    }
  }
  EXPECT_EQ(differences, 0) << "of " << values.size() << " lines";
}

// Byte for byte (LF line ends on every platform), first as a new file, then over an existing
// one (which a plain rename refuses to replace on Windows).
TEST_F(WaypointFileTest, WritesEveryLineNumberedInOrder) {
  const WaypointLine lines[] = {{0.1, 0.2}, {-0.25, -0.5}, {0.0, 0.0}};
  ASSERT_TRUE(write_waypoint_file(lines, 3));
  EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME),
            "0 0.10000000 0.20000000\n1 -0.25000000 -0.50000000\n2 0.00000000 0.00000000\n");
  EXPECT_EQ(temporaries(), NONE);

  const WaypointLine replacement[] = {{-1.5, 3.0}};
  ASSERT_TRUE(write_waypoint_file(replacement, 1));
  EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), "0 -1.50000000 3.00000000\n");
  EXPECT_EQ(temporaries(), NONE);
}

TEST_F(WaypointFileTest, HundredLinesRoundTripThroughTheTable) {
  WaypointLine lines[WAYPOINT_TABLE_SIZE];
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) lines[i] = {i * 0.01 - 0.5, 1.5 - i * 0.03};
  ASSERT_TRUE(write_waypoint_file(lines, WAYPOINT_TABLE_SIZE));
  WaypointEntry table[WAYPOINT_TABLE_SIZE];
  ASSERT_EQ(read_waypoint_table(table), TABLE_READ);
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) {
    EXPECT_NEAR(table[i].lat, lines[i].lat, 1e-7) << i;
    EXPECT_NEAR(table[i].lon, lines[i].lon, 1e-7) << i;
  }
  double lat = kUnset, lon = kUnset;
  EXPECT_TRUE(load_waypoint(99, lat, lon, ins_state.file_waypoint_number));
  EXPECT_EQ(ins_state.file_waypoint_number, 99);
}

TEST_F(WaypointFileTest, RefusesALineCountOutsideTheTable) {
  const WaypointLine lines[WAYPOINT_TABLE_SIZE + 1] = {};
  EXPECT_FALSE(write_waypoint_file(lines, WAYPOINT_TABLE_SIZE + 1));
  EXPECT_FALSE(write_waypoint_file(lines, -1));
  EXPECT_FALSE(workdir.exists(WAYPOINT_FILE_NAME));
  EXPECT_EQ(temporaries(), NONE);
}

// The rewrite never loses the old file. Tests run as root, where a read-only folder does not stop
// a write, so each case makes one step fail in a way root cannot get around.
TEST_F(WaypointFileTest, AFailedRewriteLeavesTheOldFileExactlyAsItWas) {
  namespace fs = std::filesystem;
  const std::string old_content = "0 0.1 0.2\n1 0.3 0.4\n";
  const WaypointLine lines[] = {{1.0, 1.0}, {1.0, 1.0}, {1.0, 1.0}};

#if defined(_WIN32)
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
    EXPECT_EQ(temporaries(), NONE);
  }
#endif
  {
    SCOPED_TRACE("the rename fails: the waypoint file's name is a folder that is not empty");
    fs::remove(workdir.path() / WAYPOINT_FILE_NAME);
    fs::create_directories(workdir.path() / WAYPOINT_FILE_NAME / "keep");
    EXPECT_FALSE(write_waypoint_file(lines, 3));
    EXPECT_TRUE(fs::is_directory(workdir.path() / WAYPOINT_FILE_NAME / "keep"));
    EXPECT_EQ(temporaries(), NONE);
  }
}

TEST_F(WaypointFileTest, AValueTooLargeForALineFailsTheWholeRewrite) {
  const std::string old_content = "0 0.1 0.2\n";
  write_file(old_content);
  const WaypointLine lines[] = {{0.1, 0.2}, {1e300, 0.0}};
  EXPECT_FALSE(write_waypoint_file(lines, 2));
  EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), old_content);
  EXPECT_EQ(temporaries(), NONE);
}

// Temporaries a killed writer left are removed by the next rewrite once they are old enough
// that no live writer can own them; a young one (another writer's, mid-write), a folder and the
// folder's other files stay.
TEST_F(WaypointFileTest, ARewriteRemovesOnlyTemporariesOldEnoughToBeStale) {
  const std::string prefix = WAYPOINT_TEMP_FILE_PREFIX;
  struct Left {
    std::string name;
    std::chrono::seconds age;
    bool folder;
    bool kept;
  };
  const std::vector<Left> left = {
      {prefix + "9999999-1", std::chrono::seconds(STALE_WAYPOINT_TEMP_SECONDS + 60), false, false},
      {prefix + "9999999-2", std::chrono::seconds(STALE_WAYPOINT_TEMP_SECONDS - 60), false, true},
      {prefix + "9999999-3", std::chrono::seconds(STALE_WAYPOINT_TEMP_SECONDS * 10), true, true},
      {"WAYPOINTS.BAK", std::chrono::seconds(STALE_WAYPOINT_TEMP_SECONDS * 10), false, true},
  };
  for (const Left& l : left) {
    if (l.folder) {
      fs::create_directory(workdir.path() / l.name);
    } else {
      workdir.write(l.name, "0 0.1 0.2\n");
    }
    // (Windows' runtime cannot date a folder back: there the folder stays young.)
    std::error_code folder_on_windows;
    fs::last_write_time(workdir.path() / l.name, fs::file_time_type::clock::now() - l.age,
                        folder_on_windows);
    ASSERT_TRUE(!folder_on_windows || l.folder) << folder_on_windows.message();
  }
  const WaypointLine lines[] = {{0.1, 0.2}};
  ASSERT_TRUE(write_waypoint_file(lines, 1));
  for (const Left& l : left) EXPECT_EQ(workdir.exists(l.name), l.kept) << l.name;
}

// When every name a temporary may take is taken, nothing is created and nothing of what stands
// there is removed.
TEST_F(WaypointFileTest, ATemporaryWithEveryNameTakenFailsAndRemovesNothing) {
#if defined(_WIN32)
  const std::string pid = std::to_string(GetCurrentProcessId());
#else
  const std::string pid = std::to_string(getpid());
#endif
  const std::string own = std::string(WAYPOINT_TEMP_FILE_PREFIX) + pid + "-";
  for (unsigned i = 0; i < STORE_TEMPORARY_ATTEMPTS; ++i) {
    workdir.write(own + std::to_string(40 + i), "taken\n");
  }
  StoreFile file;
  TemporaryName name{};
  EXPECT_FALSE(create_temporary(file, WAYPOINT_TEMP_FILE_PREFIX, 40, name));
  EXPECT_STREQ(name.text, "");
  EXPECT_EQ(temporaries().size(), STORE_TEMPORARY_ATTEMPTS);
  EXPECT_EQ(workdir.read(own + "40"), "taken\n");
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
  ASSERT_EQ(read_waypoint_table(table), TABLE_READ);
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
  EXPECT_EQ(read_waypoint_table(table), TABLE_NO_FILE);
  for (const WaypointEntry& e : table) {
    EXPECT_EQ(e.lat, 0.0f);
    EXPECT_EQ(e.lon, 0.0f);
  }
}

// What stands in the waypoint file's place, links and killed processes: POSIX file kinds and
// processes (Windows has no FIFO, no fork, and symbolic links only with privileges).
#if !defined(_WIN32)
// ---------------------------------------------------------------------------------------------
// What stands in the file's place
// ---------------------------------------------------------------------------------------------

// Only a regular file that reads to its end is the waypoint file. A FIFO would block the open,
// a device would never end the read (both inside a frame), a folder holds no lines, and a file
// whose reading fails part way (here /proc/self/mem, which fails at its first byte) must not be
// taken for a shorter file. Each gives nothing: no waypoint, no highest number, and for INSERT's
// table "unreadable", so that it is not replaced. The readers run in a child that is killed if
// it blocks or spins.
TEST_F(WaypointFileTest, OnlyARegularFileReadToItsEndIsTheWaypointFile) {
  std::vector<test_support::OddFile> cases = test_support::odd_files();
  cases.push_back({"a folder", [](const fs::path& p) { fs::create_directory(p); }});
  for (const test_support::OddFile& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = workdir.path() / WAYPOINT_FILE_NAME;
    fs::remove_all(path);
    c.make(path);
    const test_support::ChildOutcome outcome = run_in_child(
        [] {
          ins_state.file_waypoint_number = -5;
          double lat = kUnset, lon = kUnset;
          const bool matched = load_waypoint(0, lat, lon, ins_state.file_waypoint_number);
          WaypointEntry table[WAYPOINT_TABLE_SIZE];
          const TableRead read = read_waypoint_table(table);
          const bool untouched =
              !matched && lat == kUnset && lon == kUnset && ins_state.file_waypoint_number == -5;
          return untouched && read == TABLE_UNREADABLE ? 0 : 1;
        },
        5.0);
    EXPECT_TRUE(outcome.finished) << "the reader blocked or never finished";
    EXPECT_EQ(outcome.exit_code, 0);
  }
}

// A waypoint file that is a link to a regular file is read through the link (a pilot may keep
// the plan elsewhere); only the temporaries are never followed.
TEST_F(WaypointFileTest, ALinkToARegularFileIsRead) {
  workdir.write("elsewhere.dat", "0 0.5 0.25\n");
  fs::create_symlink(workdir.path() / "elsewhere.dat", workdir.path() / WAYPOINT_FILE_NAME);
  double lat = kUnset, lon = kUnset;
  EXPECT_TRUE(load_waypoint(0, lat, lon, ins_state.file_waypoint_number));
  EXPECT_EQ(lat, 0.5);
  EXPECT_EQ(lon, 0.25);
}

// A temporary is created afresh under a name of its writer's own. Whatever already stands under
// the name it tries first (a link planted to a file outside the folder, a dangling link, a hard
// link, a file or a folder: another copy of the module in this process, or a trap) is left as
// it was and never followed: the next number is taken, and nothing outside the folder is written.
TEST_F(WaypointFileTest, ATemporaryNeverTouchesWhatStandsUnderItsName) {
  const test_support::OutsideFolder outside;
  const std::string own = std::string(WAYPOINT_TEMP_FILE_PREFIX) + std::to_string(getpid()) + "-";
  const fs::path first = workdir.path() / (own + "7");
  struct Case {
    const char* name;
    std::function<void()> plant;
  };
  const Case cases[] = {
      {"a link to a file outside",
       [&] { fs::create_symlink(outside.path() / "precious.txt", first); }},
      {"a dangling link", [&] { fs::create_symlink(outside.path() / "created.txt", first); }},
      {"a hard link to a file outside",
       [&] { fs::create_hard_link(outside.path() / "precious.txt", first); }},
      {"a file", [&] { workdir.write(own + "7", std::string(5000, '7')); }},
      {"a folder", [&] { fs::create_directory(first); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.plant();
    const fs::file_status planted = fs::symlink_status(first);
    StoreFile file;
    TemporaryName name{};
    ASSERT_TRUE(create_temporary(file, WAYPOINT_TEMP_FILE_PREFIX, 7, name));
    EXPECT_EQ(std::string(name.text), own + "8");
    EXPECT_TRUE(write_bytes(file, "0 0.1 0.2\n", 10));
    EXPECT_TRUE(close_file(file));
    EXPECT_EQ(workdir.read(own + "8"), "0 0.1 0.2\n");
    EXPECT_EQ(fs::symlink_status(first).type(), planted.type());  // left where it was
    EXPECT_EQ(outside.precious(), "not a waypoint file\n");
    EXPECT_FALSE(fs::exists(outside.path() / "created.txt"));
    fs::remove_all(first);
    fs::remove(workdir.path() / (own + "8"));
  }
}

// A process killed at any moment of a rewrite leaves the old file or the new one, whole, and the
// temporary it may leave behind does not stop the next rewrite. Each round starts a child that
// rewrites the file over and over with two alternating contents and kills it after a random
// moment; the file must then hold one of the two, byte for byte.
TEST_F(WaypointFileTest, AProcessKilledDuringRewritesLeavesTheOldFileOrTheNewOne) {
  WaypointLine first[WAYPOINT_TABLE_SIZE], second[WAYPOINT_TABLE_SIZE];
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) {
    first[i] = {0.01 * i, -0.02 * i};
    second[i] = {-0.5 + 0.003 * i, 1.5 - 0.007 * i};
  }
  ASSERT_TRUE(write_waypoint_file(second, WAYPOINT_TABLE_SIZE));
  const std::string second_text = workdir.read(WAYPOINT_FILE_NAME);
  ASSERT_TRUE(write_waypoint_file(first, WAYPOINT_TABLE_SIZE));
  const std::string first_text = workdir.read(WAYPOINT_FILE_NAME);

  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> delay_us(0, 4000);
  int stale_temporaries = 0;
  for (int round = 0; round < 200; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) write_waypoint_file(i % 2 == 0 ? second : first, WAYPOINT_TABLE_SIZE);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string text = workdir.read(WAYPOINT_FILE_NAME);
    ASSERT_TRUE(text == first_text || text == second_text) << "round " << round;
    stale_temporaries += temporaries().empty() ? 0 : 1;
  }
  // The kills landed inside rewrites often enough to leave temporaries behind, and one left
  // behind does not stop the next rewrite.
  EXPECT_GT(stale_temporaries, 0);
  EXPECT_TRUE(write_waypoint_file(second, WAYPOINT_TABLE_SIZE));
  EXPECT_EQ(workdir.read(WAYPOINT_FILE_NAME), second_text);
}
#endif  // !_WIN32
