// The flight-plan import on small plans written by the tests: which lines are taken, how both
// syntaxes convert, and what the waypoint file and the state look like afterwards.
//
// Expected waypoint lines are computed here in double precision from the degrees and minutes
// the test wrote, rounded to single precision as the file holds them. Minutes and seconds are
// chosen exactly representable in binary so that the plan text itself adds no rounding.
#include "store/plan_import.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "module/ins_state.h"
#include "test_support.h"

namespace {

constexpr double PI = 3.14159265358979323846;
const std::string DEG = "\xC2\xB0";  // the degree sign as UTF-8 plans hold it

// A position in signed degrees: north positive, WEST positive, as the waypoint file has them.
struct Deg {
  double lat;
  double lon_west;
};

std::string waypoint_line(int number, Deg position) {
  float lat = static_cast<float>(position.lat * PI / 180.0);
  float lon = static_cast<float>(position.lon_west * PI / 180.0);
  char text[100];
  std::snprintf(text, sizeof text, "%d %.8f %.8f\n", number, static_cast<double>(lat),
                static_cast<double>(lon));
  return text;
}

// The whole file an import must write: the present position line, the plan's positions as
// lines 1.., zeros up to line 99.
std::string expected_file(const std::string& line0, const std::vector<Deg>& positions) {
  std::string text = line0;
  for (int i = 1; i <= 99; ++i) {
    Deg position = i <= static_cast<int>(positions.size()) ? positions[i - 1] : Deg{0.0, 0.0};
    text += waypoint_line(i, position);
  }
  return text;
}

// An XML WorldPosition line with the usual 4-space indentation.
std::string xml_line(const std::string& lat, const std::string& lon) {
  return "            <WorldPosition>" + lat + "\"," + lon + "\",+000100.00</WorldPosition>\n";
}

// A key=value waypoint line in the FS2004 nine-field layout.
std::string kv_line(int number, const std::string& lat, const std::string& lon) {
  return "waypoint." + std::to_string(number) + "=KK, FIX" + std::to_string(number) + ", , FIX" +
         std::to_string(number) + ", I, " + lat + "', " + lon + "', +000000.00,\n";
}

// A text line of exactly `length` characters, line feed included.
std::string line_of_length(std::string start, std::size_t length) {
  start.resize(length - 1, ' ');
  return start + "\n";
}

std::string with_crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

const std::string XML_HEAD =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SimBase.Document Type=\"AceXML\" version=\"1,0\">\n"
    "    <FlightPlan.FlightPlan>\n";
const std::string XML_TYPE =
    "        <ATCWaypoint id=\"FIX\">\n"
    "            <ATCWaypointType>Intersection</ATCWaypointType>\n";
const std::string XML_TAIL = "    </FlightPlan.FlightPlan>\n</SimBase.Document>\n";
const std::string KV_HEAD =
    "[flightplan]\nAppVersion=9.1.40901\ntitle=EGPB to EISG\ntype=IFR\n"
    "departure_id=EGPB, N59* 52.73', W001* 17.73', +000020.00\nalternate_name=\n";

class PlanImportTest : public test_support::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    ins_state.present_lat = 0.5;
    ins_state.present_lon = -0.25;
  }

  // Writes the plan, requests the import as the hidden spot does, and runs it.
  void import(const std::string& plan) {
    workdir.write(PLAN_FILE_NAME, plan);
    request_flight_plan_import();
    ASSERT_EQ(ins_state.plan_import_request, 1);
    import_flight_plan();
  }

  std::string waypoint_file() const { return workdir.read("WAYPOINTS.DAT"); }

  std::vector<std::string> waypoint_file_lines() const {
    std::vector<std::string> lines;
    std::string text = waypoint_file();
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size() - 1;
      lines.push_back(text.substr(start, end + 1 - start));
      start = end + 1;
    }
    return lines;
  }

  const std::string line0 = "0 0.50000000 -0.25000000\n";
};

// ---------------------------------------------------------------------------------------------
// The two worked examples, exactly as the file must hold them.

TEST_F(PlanImportTest, XmlWorkedExampleWritesTheWholeFile) {
  import(XML_HEAD + XML_TYPE + xml_line("N47" + DEG + " 26' 58.82", "W122" + DEG + " 18' 30.40") +
         XML_TAIL);

  std::vector<std::string> lines = waypoint_file_lines();
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[0], line0);
  EXPECT_EQ(lines[1], "1 0.82815301 2.13468504\n");
  for (int i = 2; i <= 99; ++i) {
    EXPECT_EQ(lines[i], std::to_string(i) + " 0.00000000 0.00000000\n");
  }
}

TEST_F(PlanImportTest, KeyValueWorkedExampleWritesTheWholeFile) {
  import(KV_HEAD + "waypoint.1=WPT1, A, N47* 26.98', W122* 18.51', +000429.00\n");

  std::vector<std::string> lines = waypoint_file_lines();
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[0], line0);
  EXPECT_EQ(lines[1], "1 0.82815289 2.13468599\n");
  EXPECT_EQ(lines[99], "99 0.00000000 0.00000000\n");
}

// ---------------------------------------------------------------------------------------------
// End of a successful import.

TEST_F(PlanImportTest, ImportResetsTheRequestAndAsksForTheToWaypointAgain) {
  ins_state.to_waypoint = 7;
  ins_state.reload_to_waypoint = 0;
  ins_state.entry_position = 9;
  import(KV_HEAD + kv_line(0, "N10* 30.50", "W020* 15.25"));

  EXPECT_EQ(ins_state.to_waypoint, 7);
  EXPECT_EQ(ins_state.reload_to_waypoint, 1);
  EXPECT_EQ(ins_state.entry_position, 0);
  EXPECT_EQ(ins_state.plan_import_request, 0);
  EXPECT_EQ(ins_state.plan_waypoint_count, 0);
  EXPECT_FALSE(workdir.exists(PLAN_SCRATCH_FILE_NAME));
  EXPECT_TRUE(workdir.exists(PLAN_FILE_NAME));  // the plan itself is only read
}

// ---------------------------------------------------------------------------------------------
// Which lines are taken.

// A line of 45 characters or less is passed over, and the line after it is examined like any
// other: a waypoint right after a 45-character line is the plan's waypoint 1. (Dropping the line
// after a short one, as the import was first described, would lose the first waypoint here and
// make the second one line 1: its run of two short lines would drop only the second of them.)
TEST_F(PlanImportTest, ShortLinesArePassedOverButTheNextLineIsExamined) {
  const std::string type_line = "            <ATCWaypointType>Intersection</ATCWaypointType>\n";
  const std::string short_line = line_of_length("            <ATCWaypointType>VOR", 45);
  ASSERT_EQ(short_line.size(), 45u);
  import(type_line + short_line +
         xml_line("N10" + DEG + " 30' 15.50", "W020" + DEG + " 15' 45.25") + type_line +
         short_line + short_line + xml_line("N11" + DEG + " 0' 0.00", "W021" + DEG + " 0' 0.00"));

  EXPECT_EQ(waypoint_file(),
            expected_file(line0, {{10 + 30 / 60.0 + 15.5 / 3600, 20 + 15 / 60.0 + 45.25 / 3600},
                                  {11.0, 21.0}}));
}

TEST_F(PlanImportTest, KeyValueDepartureAfterAlternateNameIsImported) {
  import(KV_HEAD + kv_line(0, "N59* 52.50", "W001* 17.75") +
         kv_line(1, "N58* 27.25", "W003* 06.50"));

  EXPECT_EQ(waypoint_file(), expected_file(line0, {{59 + 52.5 / 60, 1 + 17.75 / 60},
                                                   {58 + 27.25 / 60, 3 + 6.5 / 60}}));
}

// The 45/46 boundary applies to the waypoint line itself, counted with one line feed whether
// the file ends its lines with LF or CRLF.
TEST_F(PlanImportTest, WaypointLineLengthBoundary) {
  const std::string content = "waypoint.0=A, N10* 30.50', W020* 15.25',";
  struct Case {
    std::size_t length;  // line feed included
    bool crlf;
    bool imported;
  };
  for (Case c : {Case{45, false, false}, Case{46, false, true}, Case{45, true, false},
                 Case{46, true, true}}) {
    SCOPED_TRACE("length " + std::to_string(c.length) + (c.crlf ? " CRLF" : " LF"));
    std::string plan = "[flightplan]\n" + line_of_length(content, c.length);
    import(c.crlf ? with_crlf(plan) : plan);
    std::vector<Deg> positions;
    if (c.imported) positions.push_back({10 + 30.5 / 60, 20 + 15.25 / 60});
    EXPECT_EQ(waypoint_file(), expected_file(line0, positions));
  }
}

// The first token is compared over its first eight characters.
TEST_F(PlanImportTest, FirstTokenDecidesTheSyntax) {
  struct Case {
    std::string line;
    bool imported;
  };
  const std::string kv_position = "=A, N10* 30.50', W020* 15.25', +000000.00,\n";
  const std::string xml_position = "N10" + DEG + " 30' 30.00\",W020" + DEG + " 15' 15.00\",+0\n";
  for (const Case& c : {
           Case{"waypoint.0" + kv_position, true},
           Case{"waypoints" + kv_position, true},
           Case{"  \twaypoint.3" + kv_position, true},
           Case{"waypoin" + kv_position, false},
           Case{"Waypoint.0" + kv_position, false},
           Case{"departure_id" + kv_position, false},
           Case{"waypoint.0=A, N10*30.50', W020*15.25', +000000.00, padding....\n", false},
       }) {
    SCOPED_TRACE(c.line);
    import("[flightplan]\n" + c.line);
    std::vector<Deg> positions;
    if (c.imported) positions.push_back({10 + 30.5 / 60, 20 + 15.25 / 60});
    EXPECT_EQ(waypoint_file(), expected_file(line0, positions));
  }
  for (const Case& c : {
           Case{"<WorldPosition>" + xml_position, true},
           Case{"\t\t<WorldPos>" + xml_position, true},
           Case{"<WorldPo x=\"1\">" + xml_position, true}, Case{"<WorldP>" + xml_position, false},
           Case{"<DepartureLLA>" + xml_position, false},
           Case{"<WorldPosition " + xml_position, false},  // no '>' on the line
       }) {
    SCOPED_TRACE(c.line);
    import("<?xml version=\"1.0\"?>\n" + c.line);
    std::vector<Deg> positions;
    if (c.imported)
      positions.push_back({10 + 30.0 / 60 + 30.0 / 3600, 20 + 15.0 / 60 + 15.0 / 3600});
    EXPECT_EQ(waypoint_file(), expected_file(line0, positions));
  }
}

// ---------------------------------------------------------------------------------------------
// Conversion.

TEST_F(PlanImportTest, SouthAndEastComeOutNegative) {
  import(XML_HEAD + XML_TYPE + xml_line("S22" + DEG + " 47' 30.00", "E045" + DEG + " 12' 15.00") +
         XML_TYPE + xml_line("N1" + DEG + " 2' 3.00", "W0" + DEG + " 30' 0.00") + XML_TYPE +
         xml_line("S0" + DEG + " 30' 0.00", "E179" + DEG + " 59' 59.75") + XML_TAIL);
  EXPECT_EQ(
      waypoint_file(),
      expected_file(line0, {{-(22 + 47 / 60.0 + 30 / 3600.0), -(45 + 12 / 60.0 + 15 / 3600.0)},
                            {1 + 2 / 60.0 + 3 / 3600.0, 0.5},
                            {-0.5, -(179 + 59 / 60.0 + 59.75 / 3600)}}));

  import(KV_HEAD + kv_line(0, "S33* 56.25", "E151* 10.50") +
         kv_line(1, "N01* 00.00", "W000* 30.00"));
  EXPECT_EQ(waypoint_file(),
            expected_file(line0, {{-(33 + 56.25 / 60), -(151 + 10.5 / 60)}, {1.0, 0.5}}));
}

// With one degree digit the copy starts at the blank before the hemisphere letter.
TEST_F(PlanImportTest, KeyValueOneDigitDegrees) {
  import(KV_HEAD + kv_line(0, "N7* 30.00", "E6* 6.50") +
         "waypoint.1=LSGG, A, S9* 15.75', W1* 0.25', +001410.76,\n");
  EXPECT_EQ(waypoint_file(),
            expected_file(line0, {{7.5, -(6 + 6.5 / 60)}, {-(9 + 15.75 / 60), 1 + 0.25 / 60}}));
}

// A field the line does not supply, or that reads as NaN or infinity, keeps the previous
// line's value; the first line's missing fields are zero.
TEST_F(PlanImportTest, FieldsThatDoNotParseKeepThePreviousValues) {
  import("<?xml version=\"1.0\"?>\n" +
         xml_line("N10" + DEG + " 20' 30.00", "W030" + DEG + " 40' 50.00") +  // complete
         "<WorldPosition>N11" + DEG + " 21' seconds missing and no longitude at all\n" +
         "<WorldPosition>S12" + DEG + " 1e99' 15.00\",E031" + DEG + " 2e50' 45.00\",+0\n" +
         "<WorldPosition>garbage without any digit in it, long enough to be examined\n");
  const double lat1 = 10 + 20 / 60.0 + 30 / 3600.0;
  const double lon1 = 30 + 40 / 60.0 + 50 / 3600.0;
  const double lat2 = 11 + 21 / 60.0 + 30 / 3600.0;
  const double lat3 = -(12 + 21 / 60.0 + 15 / 3600.0);
  const double lon3 = -(31 + 40 / 60.0 + 45 / 3600.0);
  // The last line supplies only its first character as the latitude letter 'g': positive.
  EXPECT_EQ(waypoint_file(),
            expected_file(line0, {{lat1, lon1}, {lat2, lon1}, {lat3, lon3}, {-lat3, lon3}}));

  import("[flightplan]\n" + kv_line(0, "N10* 30.50", "W020* 15.25") +
         "waypoint.1=A, N11* nan', W021* infinity', +000000.00, padding\n");
  EXPECT_EQ(waypoint_file(), expected_file(line0, {{10 + 30.5 / 60, 20 + 15.25 / 60},
                                                   {11 + 30.5 / 60, 21 + 15.25 / 60}}));
}

TEST_F(PlanImportTest, FirstLineWithoutPositionGivesZeros) {
  import("[flightplan]\nwaypoint.0=, EGPB, , EGPB, A, X* no numbers here at all, none\n" +
         kv_line(1, "N10* 30.50", "W020* 15.25"));
  EXPECT_EQ(waypoint_file(), expected_file(line0, {{0.0, 0.0}, {10 + 30.5 / 60, 20 + 15.25 / 60}}));
}

// A plan line longer than the 99-character pieces it is read in still gives one waypoint, and
// the waypoint after it keeps its place.
TEST_F(PlanImportTest, LongLinesDoNotShiftTheWaypointsAfterThem) {
  const std::string comment(120, 'x');
  const std::string kv_long =
      "waypoint.0=A, N10* 30.50', W020* 15.25', +000000.00, " + comment + "\n";
  import("[flightplan]\n" + kv_long + kv_line(1, "N11* 00.00", "W021* 00.00"));
  EXPECT_EQ(waypoint_file(),
            expected_file(line0, {{10 + 30.5 / 60, 20 + 15.25 / 60}, {11.0, 21.0}}));

  // A line whose position lies beyond its first piece gives no waypoint: the piece holding the
  // position does not start with the key.
  const std::string far_star =
      "waypoint.0=" + std::string(100, 'y') + "N12* 15.00', W022* 45.00',\n";
  import("[flightplan]\n" + far_star + kv_line(1, "N11* 00.00", "W021* 00.00"));
  EXPECT_EQ(waypoint_file(), expected_file(line0, {{11.0, 21.0}}));

  const std::string xml_long = "<WorldPosition>N10" + DEG + " 30' 15.50\",W020" + DEG +
                               " 15' 45.25\",+000100.00<!--" + comment + "-->\n";
  import("<?xml version=\"1.0\"?>\n" + xml_long +
         xml_line("N11" + DEG + " 0' 0.00", "W021" + DEG + " 0' 0.00"));
  EXPECT_EQ(waypoint_file(),
            expected_file(line0, {{10 + 30 / 60.0 + 15.5 / 3600, 20 + 15 / 60.0 + 45.25 / 3600},
                                  {11.0, 21.0}}));
}

TEST_F(PlanImportTest, CrlfAndLfGiveTheSameFile) {
  std::string plan = KV_HEAD;
  std::vector<Deg> positions;
  for (int i = 0; i < 5; ++i) {
    plan += kv_line(i, "N5" + std::to_string(i) + "* 15.50", "W00" + std::to_string(i) + "* 45.25");
    positions.push_back({50 + i + 15.5 / 60, i + 45.25 / 60});
  }
  import(plan);
  EXPECT_EQ(waypoint_file(), expected_file(line0, positions));
  import(with_crlf(plan));
  EXPECT_EQ(waypoint_file(), expected_file(line0, positions));
}

TEST_F(PlanImportTest, MoreThan99WaypointsKeepsTheFirst99) {
  std::string plan = KV_HEAD;
  std::vector<Deg> positions;
  for (int i = 0; i < 120; ++i) {
    int lat = i % 80, lon = i + 10;
    char lat_text[16], lon_text[16];
    std::snprintf(lat_text, sizeof lat_text, "N%02d* 30.25", lat);
    std::snprintf(lon_text, sizeof lon_text, "W%03d* 07.75", lon);
    plan += kv_line(i, lat_text, lon_text);
    positions.push_back({lat + 30.25 / 60, lon + 7.75 / 60});
  }
  import(plan);
  positions.resize(99);
  std::vector<std::string> lines = waypoint_file_lines();
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(waypoint_file(), expected_file(line0, positions));
}

TEST_F(PlanImportTest, PlanWithoutWaypointLinesGivesPresentPositionAndZeros) {
  import(XML_HEAD + XML_TYPE + "            <ICAO><ICAOIdent>EDDF</ICAOIdent></ICAO>\n" + XML_TAIL);
  EXPECT_EQ(waypoint_file(), expected_file(line0, {}));
  EXPECT_EQ(ins_state.reload_to_waypoint, 1);

  import("");
  EXPECT_EQ(waypoint_file(), expected_file(line0, {}));
}

// ---------------------------------------------------------------------------------------------
// An import that cannot run changes nothing but the request.

class PlanImportFailureTest : public PlanImportTest {
 protected:
  const std::string old_file = "0 0.1 0.2\n5 0.3 0.4\n";

  void SetUp() override {
    PlanImportTest::SetUp();
    workdir.write("WAYPOINTS.DAT", old_file);
    ins_state.plan_import_request = 1;
    ins_state.reload_to_waypoint = 0;
    ins_state.entry_position = 9;
  }

  void expect_nothing_changed() {
    EXPECT_EQ(waypoint_file(), old_file);
    EXPECT_EQ(ins_state.plan_import_request, 0);
    EXPECT_EQ(ins_state.plan_waypoint_count, 0);
    EXPECT_EQ(ins_state.reload_to_waypoint, 0);
    EXPECT_EQ(ins_state.entry_position, 9);
  }
};

TEST_F(PlanImportFailureTest, RequestFollowsWhetherThePlanOpens) {
  request_flight_plan_import();
  EXPECT_EQ(ins_state.plan_import_request, 0);  // a pending request is cancelled
  workdir.write(PLAN_FILE_NAME, "");
  request_flight_plan_import();
  EXPECT_EQ(ins_state.plan_import_request, 1);
  EXPECT_EQ(waypoint_file(), old_file);
}

TEST_F(PlanImportFailureTest, PlanGoneBeforeTheFrame) {
  import_flight_plan();
  expect_nothing_changed();
  EXPECT_FALSE(workdir.exists(PLAN_SCRATCH_FILE_NAME));
}

TEST_F(PlanImportFailureTest, PlanThatOpensButCannotBeRead) {
  std::filesystem::create_directory(workdir.path() / PLAN_FILE_NAME);
  import_flight_plan();
  expect_nothing_changed();
  EXPECT_FALSE(workdir.exists(PLAN_SCRATCH_FILE_NAME));
}

TEST_F(PlanImportFailureTest, ScratchFileCannotBeCreated) {
  workdir.write(PLAN_FILE_NAME, KV_HEAD + kv_line(0, "N10* 30.50", "W020* 15.25"));
  std::filesystem::create_directory(workdir.path() / PLAN_SCRATCH_FILE_NAME);
  import_flight_plan();
  expect_nothing_changed();
  // What stood in the scratch file's place was not the import's to delete.
  EXPECT_TRUE(std::filesystem::is_directory(workdir.path() / PLAN_SCRATCH_FILE_NAME));
}

TEST_F(PlanImportFailureTest, WaypointFileCannotBeReplaced) {
  workdir.write(PLAN_FILE_NAME, KV_HEAD + kv_line(0, "N10* 30.50", "W020* 15.25"));
  // A non-empty folder in the waypoint file's place cannot be replaced by a file.
  std::filesystem::remove(workdir.path() / "WAYPOINTS.DAT");
  std::filesystem::create_directory(workdir.path() / "WAYPOINTS.DAT");
  workdir.write("WAYPOINTS.DAT/keep", "x");
  import_flight_plan();
  EXPECT_EQ(ins_state.plan_import_request, 0);
  EXPECT_EQ(ins_state.reload_to_waypoint, 0);
  EXPECT_EQ(ins_state.entry_position, 9);
  EXPECT_EQ(workdir.read("WAYPOINTS.DAT/keep"), "x");
  EXPECT_FALSE(workdir.exists(PLAN_SCRATCH_FILE_NAME));
}

// A FIFO or a device in the plan's place would block the click on the hidden spot, or never end
// the import's reading, inside a frame: only a regular file is a plan. The click and the import
// run in a child that is killed if either blocks or spins; neither may change the waypoint file.
TEST_F(PlanImportFailureTest, OnlyARegularFileIsAPlan) {
  namespace fs = std::filesystem;
  for (const test_support::OddFile& c : test_support::odd_files()) {
    SCOPED_TRACE(c.name);
    const fs::path plan = workdir.path() / PLAN_FILE_NAME;
    fs::remove(plan);
    c.make(plan);
    const test_support::ChildOutcome outcome = test_support::run_in_child(
        [] {
          request_flight_plan_import();
          ins_state.plan_import_request = 1;  // as if the plan had been a file at the click
          import_flight_plan();
          return ins_state.plan_import_request == 0 && ins_state.reload_to_waypoint == 0 ? 0 : 1;
        },
        5.0);
    EXPECT_TRUE(outcome.finished) << "the click or the import blocked or never finished";
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(waypoint_file(), old_file);
  }
}

// The scratch file is created afresh: a link planted in its place, pointing out of the folder,
// is removed without being followed, and what it points to is not touched.
TEST_F(PlanImportTest, TheScratchFileIsNeverWrittenThroughALinkInItsPlace) {
  const test_support::OutsideFolder outside;
  for (const char* target : {"precious.txt", "created.txt"}) {
    SCOPED_TRACE(target);
    std::filesystem::create_symlink(outside.path() / target,
                                    workdir.path() / PLAN_SCRATCH_FILE_NAME);
    import(KV_HEAD + kv_line(0, "N10* 30.50", "W020* 15.25"));
    EXPECT_EQ(waypoint_file(), expected_file(line0, {{10 + 30.5 / 60, 20 + 15.25 / 60}}));
    EXPECT_FALSE(std::filesystem::exists(
        std::filesystem::symlink_status(workdir.path() / PLAN_SCRATCH_FILE_NAME)));
    EXPECT_EQ(outside.precious(), "not a waypoint file\n");
    EXPECT_FALSE(std::filesystem::exists(outside.path() / "created.txt"));
  }
}

}  // namespace
