// The flight-plan import on small plans written by the tests: which lines are taken, how both
// syntaxes convert, and what the waypoint file and the state look like afterwards.
//
// Expected waypoint lines are computed here in double precision from the degrees and minutes
// the test wrote, rounded to single precision as the file holds them. Minutes and seconds are
// chosen exactly representable in binary so that the plan text itself adds no rounding.
#include "store/plan_import.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "boundary/gauge_vocabulary.h"
#include "cdu/flight_plan_import.h"
#include "state/ins_state.h"
#include "store/plan_positions.h"
#include "test_support.h"

using namespace std::string_literals;

namespace {

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

// An XML WorldPosition line holding `value` as it stands.
std::string xml_value(const std::string& value) {
  return "            <WorldPosition>" + value + "</WorldPosition>\n";
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
// A waypoint that is always taken, one line in each syntax, at N1°30' W2°15'.
const Deg MARKER = {1.5, 2.25};
const std::string KV_MARKER = "waypoint.9=KK, MARK, , MARK, I, N01* 30.00', W002* 15.00', +0.00,\n";
const std::string XML_MARKER =
    "<WorldPosition>N1" + DEG + " 30' 0.00\",W2" + DEG + " 15' 0.00\",+000100.00</WorldPosition>\n";
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
// other: a waypoint right after a 45-character line is the plan's waypoint 1. (A reader that
// dropped the line after a short one would lose the first waypoint here and make the second one
// line 1: its run of two short lines would drop only the second of them.)
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
// the file ends its lines with LF or CRLF. (Each plan ends with a waypoint that is always taken,
// so that a plan is imported whether or not the line under test is.)
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
    std::string plan = "[flightplan]\n" + line_of_length(content, c.length) + KV_MARKER;
    import(c.crlf ? with_crlf(plan) : plan);
    std::vector<Deg> positions;
    if (c.imported) positions.push_back({10 + 30.5 / 60, 20 + 15.25 / 60});
    positions.push_back(MARKER);
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
    import("[flightplan]\n" + c.line + KV_MARKER);
    std::vector<Deg> positions;
    if (c.imported) positions.push_back({10 + 30.5 / 60, 20 + 15.25 / 60});
    positions.push_back(MARKER);
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
    import("<?xml version=\"1.0\"?>\n" + c.line + XML_MARKER);
    std::vector<Deg> positions;
    if (c.imported)
      positions.push_back({10 + 30.0 / 60 + 30.0 / 3600, 20 + 15.0 / 60 + 15.0 / 3600});
    positions.push_back(MARKER);
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

// ---------------------------------------------------------------------------------------------
// The stored plan stays unless the import has a whole plan to put in its place.

class PlanKeptTest : public PlanImportTest {
 protected:
  // A hand-edited file, so that any rewrite would show.
  const std::string old_file = "0  0.1 0.2\r\n5 0.3 0.4\n# mine\n";

  void SetUp() override {
    PlanImportTest::SetUp();
    ins_state.entry_position = 9;
  }

  // Imports `plan` over the old file, and once more with no waypoint file at all: neither may
  // change, and nothing but the request may change in the state.
  void expect_plan_kept(const std::string& plan) {
    for (bool file_there : {true, false}) {
      SCOPED_TRACE(file_there ? "over a waypoint file" : "with no waypoint file");
      std::filesystem::remove(workdir.path() / "WAYPOINTS.DAT");
      if (file_there) workdir.write("WAYPOINTS.DAT", old_file);
      ins_state.reload_to_waypoint = 0;
      import(plan);
      EXPECT_EQ(workdir.exists("WAYPOINTS.DAT"), file_there);
      if (file_there) {
        EXPECT_EQ(waypoint_file(), old_file);
      }
      EXPECT_EQ(ins_state.plan_import_request, 0);
      EXPECT_EQ(ins_state.reload_to_waypoint, 0);
      EXPECT_EQ(ins_state.entry_position, 9);
      EXPECT_FALSE(workdir.exists(PLAN_SCRATCH_FILE_NAME));
    }
  }
};

// A plan in which no waypoint gives a position of its own (the newest simulator's plans name
// navaids by ident only; another program's format has no waypoint lines the import knows) would
// have replaced the pilot's stored plan by the present position and 99 zero lines.
TEST_F(PlanKeptTest, APlanWithoutAPositionLeavesTheStoredPlanByteForByte) {
  const std::string padding(40, ' ');
  for (const std::string& plan : {
           XML_HEAD + XML_TYPE + "            <ICAO><ICAOIdent>EDDF</ICAOIdent></ICAO>\n" +
               XML_TAIL,
           std::string(""),
           std::string("[FSCFP]\nWP=1,Fix,80VOR,TNT347008,46.15109,11.10340,0.00,353.2240,2.818\n"),
           XML_HEAD + padding + "<WorldPosition></WorldPosition>\n" + padding +
               "<WorldPosition>unknown</WorldPosition>\n" + XML_TAIL,
           std::string("[flightplan]\nwaypoint.0=, EGPB, , EGPB, A, X* no numbers here at all, "
                       "none\n"),
       }) {
    SCOPED_TRACE(plan);
    expect_plan_kept(plan);
  }
}

// A position that converts off the globe or to no number proves the line was misread (decimal
// degrees taken apart by the rule gave latitudes of 83 and 222 radians): the plan is not one to
// steer by, and the stored plan stays. So does it when the present position, line 0, is off.
TEST_F(PlanKeptTest, APositionOffTheGlobeLeavesTheStoredPlan) {
  const std::string good = xml_line("N10" + DEG + " 0' 0.00", "W20" + DEG + " 0' 0.00");
  for (const std::string& bad : {
           xml_line("N95" + DEG + " 0' 0.00", "W20" + DEG + " 0' 0.00"),
           xml_line("N89" + DEG + " 59' 60.50", "W20" + DEG + " 0' 0.00"),
           xml_line("S10" + DEG + " 0' 0.00", "E181" + DEG + " 0' 0.00"),
           xml_line("N999999999" + DEG + " 0' 0.00", "W20" + DEG + " 0' 0.00"),
           xml_value("95.5 , 10.25,+0"),
           xml_value("10.5 , 222.25,+0"),
           xml_value("N91" + DEG + " 00.00',W020" + DEG + " 00.00',+0"),
       }) {
    SCOPED_TRACE(bad);
    expect_plan_kept(XML_HEAD + good + bad + good + XML_TAIL);
  }
  for (double lat : {std::nan(""), 1.6, -HUGE_VAL}) {
    SCOPED_TRACE("present latitude " + std::to_string(lat));
    ins_state.present_lat = lat;
    expect_plan_kept(XML_HEAD + good + XML_TAIL);
  }
  ins_state.present_lat = 0.5;
  ins_state.present_lon = 3.2;
  expect_plan_kept(XML_HEAD + good + XML_TAIL);
}

// The poles and the antimeridian themselves are on the globe.
TEST_F(PlanImportTest, ThePolesAndTheAntimeridianAreOnTheGlobe) {
  import(XML_HEAD + xml_line("N90" + DEG + " 0' 0.00", "W180" + DEG + " 0' 0.00") +
         xml_line("S90" + DEG + " 0' 0.00", "E180" + DEG + " 0' 0.00") + xml_value("-90 , 180,+0") +
         XML_TAIL);
  EXPECT_EQ(waypoint_file(), expected_file(line0, {{90, 180}, {-90, -180}, {-90, -180}}));
}

// A plan as large as no plan is (a megabyte of anything before 99 waypoints) is not read to its
// end inside a frame; it is refused like a plan that cannot be read. A long plan whose 99
// waypoints come first is imported: nothing after the 99th waypoint is read.
TEST_F(PlanKeptTest, APlanBeyondAMegabyteIsNotReadPastIt) {
  const std::string comment = "<!-- " + std::string(90, 'x') + " -->\n";
  std::string filler;
  while (filler.size() <= (1u << 20)) filler += comment;
  const std::string good = xml_line("N10" + DEG + " 0' 0.00", "W20" + DEG + " 0' 0.00");
  expect_plan_kept(XML_HEAD + filler + good + XML_TAIL);

  std::string plan = XML_HEAD;
  for (int i = 0; i < 99; ++i) plan += good;
  import(plan + filler + filler + XML_TAIL);
  EXPECT_EQ(waypoint_file(), expected_file(line0, std::vector<Deg>(99, Deg{10, 20})));
}

// ---------------------------------------------------------------------------------------------
// Shapes real tools write beyond the two syntaxes' rules.

// Reads the waypoint file back and checks lines 1.. against `positions` (then zeros) within
// what the file's single precision holds.
void expect_positions(const std::string& file, const std::vector<Deg>& positions) {
  std::istringstream lines(file);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    SCOPED_TRACE(line);
    int read_number = -1;
    double lat = NAN, lon = NAN;
    ASSERT_EQ(std::sscanf(line.c_str(), "%d %lf %lf", &read_number, &lat, &lon), 3);
    ASSERT_EQ(read_number, number);
    if (number > 0) {
      const Deg want =
          number <= static_cast<int>(positions.size()) ? positions[number - 1] : Deg{0.0, 0.0};
      EXPECT_NEAR(lat, want.lat * PI / 180, 2.5e-7);
      EXPECT_NEAR(lon, want.lon_west * PI / 180, 2.5e-7);
    }
    ++number;
  }
  EXPECT_EQ(number, 100);
}

TEST_F(PlanImportTest, SignedDecimalDegreesArriveAtTheirPositions) {
  import(XML_HEAD + xml_value("54.285833 , -130.444678,+116.0") +
         xml_value("-33.946111,151.177222,+000021.00") + xml_value("+0.5 , -0.25,+0") +
         xml_value("7 , 8,+5000") + xml_value("-89.999999 , 179.999999 ,+0") +
         xml_value(" 12.5, -0.000001") + XML_TAIL);
  // East positive in the plan, west positive in the file.
  expect_positions(waypoint_file(), {{54.285833, 130.444678},
                                     {-33.946111, -151.177222},
                                     {0.5, 0.25},
                                     {7, -8},
                                     {-89.999999, -179.999999},
                                     {12.5, 0.000001}});
}

TEST_F(PlanImportTest, DegreesAndDecimalMinutesArriveAtTheirPositions) {
  import(XML_HEAD + xml_value("S22" + DEG + " 47.50',W45" + DEG + " 12.29',+1761.00") +
         xml_value("N47\xB0 26.98',E122\xB0 18.51',+0") +        // Latin-1 degree sign
         xml_value("N5* 3.5',W0* 59.99',+0") +                   // a star, one-digit degrees
         xml_value("S0" + DEG + "7.25' , E9" + DEG + "0.75'") +  // no blank, blank before comma
         xml_value("N47\xC3\x82\xC2\xB0 26',W122\xC3\x82\xC2\xB0 18',+0") +  // double-encoded sign
         XML_TAIL);
  expect_positions(waypoint_file(), {{-(22 + 47.50 / 60), 45 + 12.29 / 60},
                                     {47 + 26.98 / 60, -(122 + 18.51 / 60)},
                                     {5 + 3.5 / 60, 59.99 / 60},
                                     {-(7.25 / 60), -(9 + 0.75 / 60)},
                                     {47 + 26 / 60.0, 122 + 18 / 60.0}});
}

// Every waypoint line is read in its own form and shape, so a plan that mixes them (an edited
// plan, a tool that writes its own lines among the simulator's) gets each waypoint right.
TEST_F(PlanImportTest, APlanMixingShapesReadsEachLineInItsOwn) {
  import(XML_HEAD + xml_line("N10" + DEG + " 30' 15.50", "W020" + DEG + " 15' 45.25") +
         xml_value("54.25 , -130.5,+116.0") +
         xml_value("S22" + DEG + " 47.50',W45" + DEG + " 12.25',+1761.00") +
         kv_line(3, "S33* 56.25", "E151* 10.50") +
         xml_line("N11" + DEG + " 0' 0.00", "W021" + DEG + " 0' 0.00") + XML_TAIL);
  expect_positions(waypoint_file(), {{10 + 30 / 60.0 + 15.5 / 3600, 20 + 15 / 60.0 + 45.25 / 3600},
                                     {54.25, 130.5},
                                     {-(22 + 47.5 / 60), 45 + 12.25 / 60},
                                     {-(33 + 56.25 / 60), -(151 + 10.5 / 60)},
                                     {11, 21}});
}

// UTF-16 with its byte-order mark, either byte order: the plan reads exactly as the same plan
// saved in UTF-8 (characters beyond the basic plane and stray surrogates in its text included).
std::string utf16(const std::string& utf8, bool little_endian) {
  std::vector<uint32_t> code_points;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t cp = length == 1 ? c : c & (0x3F >> (length - 1));
    for (int k = 1; k < length; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    code_points.push_back(cp);
    i += length;
  }
  std::vector<uint16_t> units = {0xFEFF};
  for (uint32_t cp : code_points) {
    if (cp < 0x10000) {
      units.push_back(static_cast<uint16_t>(cp));
    } else {
      units.push_back(static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      units.push_back(static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  std::string bytes;
  for (uint16_t u : units) {
    const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
    bytes += little_endian ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

TEST_F(PlanImportTest, Utf16PlansReadAsTheSamePlanInUtf8) {
  const std::string plan =
      with_crlf(XML_HEAD + "    <Descr>Caf\xC3\xA9 \xF0\x9F\x9B\xAB " + DEG + "</Descr>\n" +
                XML_TYPE + xml_line("S22" + DEG + " 47' 30.00", "E045" + DEG + " 12' 15.00") +
                XML_TYPE + xml_value("54.285833 , -130.444678,+116.0") + XML_TYPE +
                xml_value("N47" + DEG + " 26.98',W122" + DEG + " 18.51',+0") + XML_TAIL);
  import(plan);
  const std::string reference = waypoint_file();
  ASSERT_NE(reference, expected_file(line0, {}));
  for (bool little_endian : {true, false}) {
    SCOPED_TRACE(little_endian ? "UTF-16 LE" : "UTF-16 BE");
    std::filesystem::remove(workdir.path() / "WAYPOINTS.DAT");
    import(utf16(plan, little_endian));
    EXPECT_EQ(waypoint_file(), reference);
  }
  // Stray surrogates and an odd last byte do not stop the reading.
  std::string broken = utf16(plan, true);
  const std::string lone_high = "\x3D\xD8", lone_low = "\x00\xDC";
  broken.insert(2, lone_high + "A\0"s + lone_low + lone_high + lone_high);
  std::filesystem::remove(workdir.path() / "WAYPOINTS.DAT");
  import(broken + "\x41");
  EXPECT_EQ(waypoint_file(), reference);
}

// A plan written on one line (or with several elements on a line) reads like the same plan
// written one element a line.
TEST_F(PlanImportTest, OneLinePlansReadAsTheSamePlanOnManyLines) {
  const std::string plan = XML_HEAD + XML_TYPE +
                           xml_line("N47" + DEG + " 26' 58.82", "W122" + DEG + " 18' 30.40") +
                           "        </ATCWaypoint>\n" + XML_TYPE +
                           xml_value("S22" + DEG + " 47.50',W45" + DEG + " 12.29',+1761.00") +
                           "        </ATCWaypoint>\n" + XML_TYPE +
                           xml_value("-33.946111,151.177222,+000021.00") + XML_TAIL;
  import(plan);
  const std::string reference = waypoint_file();
  std::string one_line;
  for (char c : plan) {
    if (c != '\n') one_line += c;
  }
  for (const std::string& variant :
       {one_line, with_crlf(one_line + "\n"), "\xEF\xBB\xBF" + one_line, utf16(one_line, true)}) {
    std::filesystem::remove(workdir.path() / "WAYPOINTS.DAT");
    import(variant);
    EXPECT_EQ(waypoint_file(), reference);
  }
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

// (POSIX file kinds, links and child processes: not on Windows.)
#if !defined(_WIN32)
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
#endif  // !_WIN32

}  // namespace

// ---------------------------------------------------------------------------------------------
// The XML rule read without sscanf: for lines in the rule's usual shape and lines a byte or a few
// away from it, the fields come out exactly as the rule's own sscanf format gives them, and so
// does whether the line gave both axes itself. The reference is the format the rule states,
// read here by the C library.
// ---------------------------------------------------------------------------------------------

namespace {

// The rule's conversion into `fields` as the format states it (fields it does not supply, and
// minutes or seconds that convert to no finite number, keep their values). Whether it read up to
// the longitude degrees.
bool fields_by_the_rule(const char* line, RuleFields& fields) {
  const RuleFields kept = fields;
  const int converted = std::sscanf(
      line,
      "%1c%9d%*99[^0123456789]%f%*99[^0123456789]%f%*99[^EW]"
      "%1c%9d%*99[^0123456789]%f%*99[^0123456789]%f",
      &fields.lat_hemisphere, &fields.lat_degrees, &fields.lat_minutes, &fields.lat_seconds,
      &fields.lon_hemisphere, &fields.lon_degrees, &fields.lon_minutes, &fields.lon_seconds);
  const auto keep_unless_finite = [](float& field, float old) {
    if (!std::isfinite(field)) field = old;
  };
  keep_unless_finite(fields.lat_minutes, kept.lat_minutes);
  keep_unless_finite(fields.lat_seconds, kept.lat_seconds);
  keep_unless_finite(fields.lon_minutes, kept.lon_minutes);
  keep_unless_finite(fields.lon_seconds, kept.lon_seconds);
  return converted >= 6;
}

bool same_fields(const RuleFields& a, const RuleFields& b) {
  return a.lat_hemisphere == b.lat_hemisphere && a.lat_degrees == b.lat_degrees &&
         std::memcmp(&a.lat_minutes, &b.lat_minutes, sizeof(float)) == 0 &&
         std::memcmp(&a.lat_seconds, &b.lat_seconds, sizeof(float)) == 0 &&
         a.lon_hemisphere == b.lon_hemisphere && a.lon_degrees == b.lon_degrees &&
         std::memcmp(&a.lon_minutes, &b.lon_minutes, sizeof(float)) == 0 &&
         std::memcmp(&a.lon_seconds, &b.lon_seconds, sizeof(float)) == 0;
}

TEST(XmlRuleShape, ReadsEveryFieldAsTheRulesFormatReadsIt) {
  const std::vector<std::string> shapes = {
      "N47" + DEG + " 26' 58.82\",W122" + DEG + " 18' 30.40\",+000433.00</WorldPosition>\n",
      "S22" + DEG + " 47' 30.00\",E045" + DEG + " 12' 17.40\",+001761.00\n",
      "N7\xB0 5' 0.5\",W0\xB0 0' 0\",+0\n",
      "N47* 26' 58.82\",W122* 18' 30.40\",+000433.00",
      "N047\xC2\xB0 26' 58.82\" W122\xC2\xB0 18' 30.4\"",
  };
  // Bytes that each decide a step of the rule: digits, points, exponents and hexadecimal
  // letters, signs, blanks, the longitude letters, degree bytes, marks, the end of the text.
  const std::string alphabet = "0123456789..eExXpP+- \tEWNS\xC2\xB0*'\",<>\ni";
  std::mt19937 random(1414);
  std::vector<std::string> lines(shapes);
  for (int i = 0; i < 60000; ++i) {
    std::string line = shapes[random() % shapes.size()];
    const int changes = 1 + static_cast<int>(random() % 3);
    for (int c = 0; c < changes; ++c) {
      const std::size_t at = random() % line.size();
      const char byte = alphabet[random() % alphabet.size()];
      switch (random() % 4) {
        case 0:
          line[at] = byte;
          break;
        case 1:
          line.insert(at, 1, byte);
          break;
        case 2:
          line.erase(at, 1);
          break;
        default:
          line.insert(at, std::string(1 + random() % 12, byte));
          break;
      }
      if (line.empty()) line = "N";
    }
    lines.push_back(line);
  }
  lines.push_back("N1234567890' 1' 1\",W1' 1' 1\"");                      // ten degree digits
  lines.push_back("N47' 1e5' 1\",W1' 1' 1\"");                            // an exponent
  lines.push_back("N47' 0x1p3' 1\",W1' 1' 1\"");                          // a hexadecimal number
  lines.push_back("N47' " + std::string(120, '9') + "' 1\",W1' 1' 1\"");  // beyond a float
  for (std::size_t run : {98, 99, 100, 101}) {  // the rule's separators read at most 99 bytes
    lines.push_back("N47" + std::string(run, '\'') + "1' 1\",W1' 1' 1\"");
    lines.push_back("N47' 1' 1" + std::string(run, '"') + "W1' 1' 1\"");
  }

  int checked = 0;
  for (const std::string& line : lines) {
    // Fields that no line holds, so that a field the line leaves alone shows.
    RuleFields before{'?', -7, -7.5f, -7.25f, '?', -8, -8.5f, -8.25f};
    RuleFields expected = before;
    const bool expected_own = fields_by_the_rule(line.c_str(), expected);
    RuleFields fields = before;
    const PlanPosition position = read_plan_position(line.c_str(), SYNTAX_XML, fields);
    // A line in one of the shapes beyond the rule is read as that shape, leaving the fields.
    if (position.own && same_fields(fields, before) && !same_fields(expected, before)) continue;
    ++checked;
    ASSERT_TRUE(same_fields(fields, expected)) << "line: " << line;
    ASSERT_EQ(position.own, expected_own) << "line: " << line;
  }
  EXPECT_GT(checked, 50000);
}

}  // namespace
