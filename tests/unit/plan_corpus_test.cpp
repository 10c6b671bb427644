// The flight-plan import on real plans written by simulators and planners, read from the shared
// corpus (../shared/corpus/plans, never copied into the project). Each plan is copied into the
// test's temporary folder as PLAN.PLN and imported; every line of the waypoint file is checked
// against positions read from the plan's own text by a separate parser here (regular
// expressions over the documented shapes), to the precision the file holds.
//
// When the corpus folder is absent (a fresh clone without it), the whole group is skipped.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "module/ins_state.h"
#include "store/plan_import.h"
#include "test_support.h"

namespace {

constexpr double PI = 3.14159265358979323846;
// The file holds single-precision radians printed with 8 decimals: half a single-precision step
// at pi (1.2e-7) plus the rounding of the print (5e-9), with room to spare.
constexpr double FILE_PRECISION_RAD = 2.5e-7;
constexpr double PRESENT_LAT = 0.1;
constexpr double PRESENT_LON = -0.2;

const std::filesystem::path CORPUS_PLANS = std::filesystem::path(INS_CORPUS_DIR) / "plans";

std::string read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Position {
  double lat;  // radians, north positive
  double lon;  // radians, WEST positive
};

double radians(const std::string& hemisphere, const std::string& deg, const std::string& min,
               const std::string& sec, char negative_letter) {
  double value =
      (std::stod(deg) + std::stod(min) / 60.0 + (sec.empty() ? 0.0 : std::stod(sec)) / 3600.0) *
      PI / 180.0;
  return hemisphere[0] == negative_letter ? -value : value;
}

// Positions of the XML form: N47° 17' 13.14",E12° 47' 7.96" (the degree sign as UTF-8 or '*').
std::vector<Position> xml_positions(const std::string& text) {
  static const std::regex shape(
      "<WorldPosition>([NS])(\\d{1,3})(?:\xC2\xB0|\\*) (\\d{1,2})' (\\d{1,2}(?:\\.\\d+)?)\","
      "([EW])(\\d{1,3})(?:\xC2\xB0|\\*) (\\d{1,2})' (\\d{1,2}(?:\\.\\d+)?)\"");
  std::vector<Position> positions;
  for (auto m = std::sregex_iterator(text.begin(), text.end(), shape); m != std::sregex_iterator();
       ++m) {
    const std::smatch& f = *m;
    positions.push_back(
        {radians(f[1], f[2], f[3], f[4], 'S'), radians(f[5], f[6], f[7], f[8], 'E')});
  }
  return positions;
}

// Positions of the key=value form: waypoint.1=KK, WIK, , WIK, V, N58* 27.53', W003* 06.02', ...
std::vector<Position> key_value_positions(const std::string& text) {
  static const std::regex shape(
      "waypoint\\.\\d+=[^\\r\\n]*?([NS])(\\d{1,3})\\* (\\d{1,2}\\.\\d+)', ([EW])(\\d{1,3})\\* "
      "(\\d{1,2}\\.\\d+)'");
  std::vector<Position> positions;
  for (auto m = std::sregex_iterator(text.begin(), text.end(), shape); m != std::sregex_iterator();
       ++m) {
    const std::smatch& f = *m;
    positions.push_back({radians(f[1], f[2], f[3], "", 'S'), radians(f[4], f[5], f[6], "", 'E')});
  }
  return positions;
}

class PlanCorpusTest : public test_support::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (!std::filesystem::is_directory(CORPUS_PLANS)) {
      GTEST_SKIP() << "flight-plan corpus not found at " << CORPUS_PLANS.string()
                   << "; the corpus tests are skipped";
    }
    ins_state.present_lat = PRESENT_LAT;
    ins_state.present_lon = PRESENT_LON;
  }

  void import_text(const std::string& plan) {
    workdir.write(PLAN_FILE_NAME, plan);
    request_flight_plan_import();
    ASSERT_EQ(ins_state.plan_import_request, 1);
    import_flight_plan();
  }

  // Reads the waypoint file back, checking its frame: 100 lines numbered 0..99, each a number
  // and two finite coordinates, line 0 the present position. Returns lines 1..99.
  std::vector<Position> imported_waypoints() {
    std::vector<Position> waypoints;
    std::istringstream file(workdir.read("WAYPOINTS.DAT"));
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
      SCOPED_TRACE("waypoint file line: " + line);
      int read_number = -1;
      double lat = NAN, lon = NAN;
      char rest = 0;
      EXPECT_EQ(std::sscanf(line.c_str(), "%d %lf %lf%c", &read_number, &lat, &lon, &rest), 3);
      EXPECT_EQ(read_number, number);
      EXPECT_TRUE(std::isfinite(lat) && std::isfinite(lon));
      if (number == 0) {
        EXPECT_NEAR(lat, PRESENT_LAT, 1e-9);
        EXPECT_NEAR(lon, PRESENT_LON, 1e-9);
      } else {
        waypoints.push_back({lat, lon});
      }
      ++number;
    }
    EXPECT_EQ(number, 100);
    EXPECT_FALSE(workdir.exists(PLAN_SCRATCH_FILE_NAME));
    EXPECT_EQ(ins_state.plan_import_request, 0);
    return waypoints;
  }

  // Lines 1..99 must hold `expected` in order (the first 99 of them), then zeros.
  void expect_waypoints(const std::vector<Position>& expected) {
    std::vector<Position> waypoints = imported_waypoints();
    ASSERT_EQ(waypoints.size(), 99u);
    for (std::size_t i = 0; i < waypoints.size(); ++i) {
      SCOPED_TRACE("waypoint " + std::to_string(i + 1));
      Position want = i < expected.size() ? expected[i] : Position{0.0, 0.0};
      EXPECT_NEAR(waypoints[i].lat, want.lat, FILE_PRECISION_RAD);
      EXPECT_NEAR(waypoints[i].lon, want.lon, FILE_PRECISION_RAD);
    }
  }
};

// ---------------------------------------------------------------------------------------------
// Plans in the two syntaxes: every waypoint arrives.

enum class Syntax { Xml, KeyValue };

struct CorpusPlan {
  const char* file;
  Syntax syntax;
  std::size_t waypoints;  // as the corpus documents them
  bool crlf;              // lines end with CR LF (else LF)
  bool bom;               // starts with the UTF-8 byte-order mark
  bool south;             // some latitude is south
  bool east;              // some longitude is east
};

const CorpusPlan TWO_SYNTAX_PLANS[] = {
    {"kv-fs9-EGPB-EISG.PLN", Syntax::KeyValue, 13, true, false, false, false},
    {"kv-fs9-EDDB-OMDB-61wp-east.PLN", Syntax::KeyValue, 61, true, false, false, true},
    {"xml-lnm-KSEA-KFLL-121wp.PLN", Syntax::Xml, 121, true, true, false, false},
    {"xml-lnm-SBEG-SBBE-south-1digit-lat.PLN", Syntax::Xml, 15, true, true, true, false},
    {"xml-msfs2020-EDXW-EDDH.PLN", Syntax::Xml, 10, true, true, false, true},
    {"xml-lnm135-EINN-ENKR-intsec.PLN", Syntax::Xml, 18, true, false, false, true},
    {"xml-LFPO-FMEE-equator-74wp.PLN", Syntax::Xml, 74, false, false, true, true},
    {"xml-SBKP-SBPP-south-zeropad.PLN", Syntax::Xml, 15, false, false, true, false},
    {"xml-EGPF-EGSS-E000-W004.PLN", Syntax::Xml, 15, false, false, false, true},
    {"xml-tabs-LGIR-HEGN.PLN", Syntax::Xml, 12, true, false, false, true},
    {"xml-tabs-EGAA-EGKK-W0.PLN", Syntax::Xml, 10, true, false, false, false},
    {"xml-lnm-fsx-KEYW-KHWO-lf.PLN", Syntax::Xml, 10, false, true, false, false},
    {"xml-lnm-msfs2024-KEYW-KHWO.PLN", Syntax::Xml, 8, false, true, false, false},
    {"xml-simbrief-msfs-KEYW-KMIA.PLN", Syntax::Xml, 11, false, true, false, false},
    {"xml-planG-LEJR-comma-alt.PLN", Syntax::Xml, 13, false, false, false, false},
    {"xml-fsx-rtm-LOWZ.PLN", Syntax::Xml, 6, true, true, false, true},
    {"xml-asterisk-deg-FACB-FABL.PLN", Syntax::Xml, 2, false, false, true, true},
};

class TwoSyntaxPlanTest : public PlanCorpusTest,
                          public ::testing::WithParamInterface<CorpusPlan> {};

TEST_P(TwoSyntaxPlanTest, EveryWaypointArrivesInOrder) {
  const CorpusPlan& plan = GetParam();
  const std::string text = read_bytes(CORPUS_PLANS / plan.file);
  ASSERT_FALSE(text.empty()) << plan.file;

  // The plan is what the table says it is, so the table's coverage is real.
  EXPECT_EQ(text.find("\r\n") != std::string::npos, plan.crlf);
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0) == 0, plan.bom);
  std::vector<Position> positions =
      plan.syntax == Syntax::Xml ? xml_positions(text) : key_value_positions(text);
  ASSERT_EQ(positions.size(), plan.waypoints);
  bool south = false, east = false;
  for (const Position& p : positions) {
    south = south || p.lat < 0.0;
    east = east || std::signbit(p.lon);
  }
  EXPECT_EQ(south, plan.south);
  EXPECT_EQ(east, plan.east);

  import_text(text);
  expect_waypoints(positions);
}

INSTANTIATE_TEST_SUITE_P(Corpus, TwoSyntaxPlanTest, ::testing::ValuesIn(TWO_SYNTAX_PLANS),
                         [](const ::testing::TestParamInfo<CorpusPlan>& param_info) {
                           std::string name = param_info.param.file;
                           name = name.substr(0, name.find('.'));
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// The same plan gives the same waypoint file whatever its line ends and with or without a
// byte-order mark.
TEST_F(PlanCorpusTest, LineEndsAndByteOrderMarkDoNotChangeTheResult) {
  for (const char* file : {"kv-fs9-EGPB-EISG.PLN", "xml-lnm-SBEG-SBBE-south-1digit-lat.PLN",
                           "xml-LFPO-FMEE-equator-74wp.PLN"}) {
    SCOPED_TRACE(file);
    const std::string text = read_bytes(CORPUS_PLANS / file);
    import_text(text);
    const std::string reference = workdir.read("WAYPOINTS.DAT");

    std::string lf, crlf;
    for (char c : text) {
      if (c != '\r') lf += c;
    }
    for (char c : lf) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    for (const std::string& variant :
         {lf, crlf, "\xEF\xBB\xBF" + lf, lf.substr(lf.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0)}) {
      import_text(variant);
      EXPECT_EQ(workdir.read("WAYPOINTS.DAT"), reference);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Plans in shapes the two syntaxes do not cover: the import runs to its end, writes a
// well-formed file and leaves no scratch file. What each yields is pinned here.

std::size_t non_zero_waypoints(const std::vector<Position>& waypoints) {
  std::size_t count = 0;
  for (const Position& p : waypoints) count += (p.lat != 0.0 || p.lon != 0.0) ? 1 : 0;
  return count;
}

TEST_F(PlanCorpusTest, PlansWithoutUsablePositionLinesGiveAnEmptyPlan) {
  for (const char* file : {
           "fscommander-LIDT-LSZS.PLN",                  // FS Commander, decimal degrees
           "xml-msfs2024-EDDF-EDDM-nopos.PLN",           // waypoints by ident only
           "xml-msfs2024-KSEA-procs-only-0wp.PLN",       // procedures only
           "xml-simbrief-msfs2024-EKRK-EGLC-nopos.PLN",  // waypoints by ident only
           "xml-fsx-utf16le-LOWZ.PLN",                   // UTF-16: a NUL after every character
           "xml-oneline-mojibake-FYMQ.PLN",              // the whole document on one line
       }) {
    SCOPED_TRACE(file);
    import_text(read_bytes(CORPUS_PLANS / file));
    EXPECT_EQ(non_zero_waypoints(imported_waypoints()), 0u);
    EXPECT_EQ(ins_state.reload_to_waypoint, 1);
  }
}

// Signed decimal degrees ("54.285833 , -130.444678,+116.0") are taken apart as if they were
// degrees, minutes and seconds: every waypoint arrives, but its latitude is nowhere near the
// plan's (mostly an impossible value beyond 90 degrees) and its longitude is zero.
TEST_F(PlanCorpusTest, DecimalDegreesGiveWrongPositions) {
  const std::string text = read_bytes(CORPUS_PLANS / "xml-decimal-degrees-noindent-CYPR-PAWG.PLN");
  static const std::regex shape("<WorldPosition>(-?\\d+\\.\\d+) , (-?\\d+\\.\\d+),");
  std::vector<double> plan_lat;
  for (auto m = std::sregex_iterator(text.begin(), text.end(), shape); m != std::sregex_iterator();
       ++m) {
    plan_lat.push_back(std::stod((*m)[1]) * PI / 180.0);
  }
  ASSERT_EQ(plan_lat.size(), 28u);

  import_text(text);
  std::vector<Position> waypoints = imported_waypoints();
  ASSERT_EQ(waypoints.size(), 99u);
  std::size_t impossible = 0;
  for (std::size_t i = 0; i < plan_lat.size(); ++i) {
    SCOPED_TRACE("waypoint " + std::to_string(i + 1));
    EXPECT_GT(std::fabs(waypoints[i].lat - plan_lat[i]), PI / 180);
    EXPECT_EQ(waypoints[i].lon, 0.0);
    impossible += std::fabs(waypoints[i].lat) > PI / 2 ? 1 : 0;
  }
  EXPECT_GT(impossible, 20u);
  EXPECT_EQ(non_zero_waypoints(waypoints), 28u);
}

// Degrees and decimal minutes in the XML form ("S22° 47.50',W45° 12.29'"): the latitude comes
// out within a minute of the plan's (the longitude degrees are read as its seconds), the
// longitude is lost and stays zero.
TEST_F(PlanCorpusTest, XmlDecimalMinutesLoseTheLongitude) {
  const std::string text = read_bytes(CORPUS_PLANS / "xml-decimal-minutes-SBGW-SBCT.PLN");
  static const std::regex shape(
      "<WorldPosition>([NS])(\\d{1,3})\xC2\xB0 (\\d{1,2}\\.\\d+)',([EW])(\\d{1,3})\xC2\xB0 "
      "(\\d{1,2}\\.\\d+)'");
  std::vector<Position> plan;
  for (auto m = std::sregex_iterator(text.begin(), text.end(), shape); m != std::sregex_iterator();
       ++m) {
    plan.push_back({radians((*m)[1], (*m)[2], (*m)[3], "", 'S'), 0.0});
  }
  ASSERT_EQ(plan.size(), 2u);

  import_text(text);
  std::vector<Position> waypoints = imported_waypoints();
  ASSERT_EQ(waypoints.size(), 99u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(waypoints[i].lat, plan[i].lat, PI / 180 / 60);
    EXPECT_GT(std::fabs(waypoints[i].lat - plan[i].lat), FILE_PRECISION_RAD);
    EXPECT_EQ(waypoints[i].lon, 0.0);
  }
  EXPECT_EQ(non_zero_waypoints(waypoints), 2u);
}

}  // namespace
