// The flight-plan import on real plans written by simulators and planners, read from the shared
// corpus (../shared/corpus/plans, never copied into the project). Each plan is copied into the
// test's temporary folder as PLAN.PLN and imported; every line of the waypoint file is checked
// against positions read from the plan's own text by a separate parser here (regular
// expressions over the documented shapes), to the precision the file holds.
//
// When the corpus folder is absent (a fresh clone without it), the whole group is skipped.
#include <iconv.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/gauge_vocabulary.h"
#include "cdu/flight_plan_import.h"
#include "state/ins_state.h"
#include "store/plan_import.h"
#include "test_support.h"

namespace {

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

// The plans the two syntaxes' rules read import exactly as they did before the import learned
// the shapes beyond them: each gives, byte for byte, the waypoint file the import wrote then
// (with this group's present position), known here by the FNV-1a hash of its bytes.
uint64_t fnv1a(const std::string& bytes) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

TEST_F(PlanCorpusTest, PlansTheRulesReadImportByteForByteAsBefore) {
  const struct {
    const char* file;
    uint64_t waypoint_file_hash;
  } before[] = {
      {"kv-fs9-EDDB-OMDB-61wp-east.PLN", 0x6d8f0f0cb159beaeull},
      {"kv-fs9-EGPB-EISG.PLN", 0x2911882da9e7c4deull},
      {"xml-EGPF-EGSS-E000-W004.PLN", 0xbadcc2f77e62fb9full},
      {"xml-LFPO-FMEE-equator-74wp.PLN", 0x86197a9648009b0dull},
      {"xml-SBKP-SBPP-south-zeropad.PLN", 0xa255051f337450ddull},
      {"xml-asterisk-deg-FACB-FABL.PLN", 0x88bc9089a6ded721ull},
      {"xml-fsx-rtm-LOWZ.PLN", 0xf91f1bd066b9a375ull},
      {"xml-lnm-KSEA-KFLL-121wp.PLN", 0x2457ee274e0b70daull},
      {"xml-lnm-SBEG-SBBE-south-1digit-lat.PLN", 0x292ab55d4d5511c4ull},
      {"xml-lnm-fsx-KEYW-KHWO-lf.PLN", 0x9940664e2a076e55ull},
      {"xml-lnm-msfs2024-KEYW-KHWO.PLN", 0xc196ae21e65cbe07ull},
      {"xml-lnm135-EINN-ENKR-intsec.PLN", 0xb478fb94161c1f8dull},
      {"xml-msfs2020-EDXW-EDDH.PLN", 0xdccc3e0eae3823a0ull},
      {"xml-planG-LEJR-comma-alt.PLN", 0x1d2b7fa2ac464bb8ull},
      {"xml-simbrief-msfs-KEYW-KMIA.PLN", 0x1b0d091cc3f94919ull},
      {"xml-tabs-EGAA-EGKK-W0.PLN", 0x760e9821e74ce3c9ull},
      {"xml-tabs-LGIR-HEGN.PLN", 0x534a00261d4b7b59ull},
  };
  ASSERT_EQ(std::size(before), std::size(TWO_SYNTAX_PLANS));
  for (const auto& plan : before) {
    SCOPED_TRACE(plan.file);
    import_text(read_bytes(CORPUS_PLANS / plan.file));
    EXPECT_EQ(fnv1a(workdir.read("WAYPOINTS.DAT")), plan.waypoint_file_hash);
  }
}

// Text in another encoding, through the C library's iconv (the test's own decoder, not the
// module's).
std::string converted(const std::string& text, const char* to, const char* from) {
  iconv_t conversion = iconv_open(to, from);
  if (conversion == reinterpret_cast<iconv_t>(-1)) return "";
  std::string in = text, out(text.size() * 4 + 16, '\0');
  char* in_pointer = in.data();
  char* out_pointer = out.data();
  std::size_t in_left = in.size(), out_left = out.size();
  const std::size_t result = iconv(conversion, &in_pointer, &in_left, &out_pointer, &out_left);
  iconv_close(conversion);
  if (result == static_cast<std::size_t>(-1)) return "";
  out.resize(out.size() - out_left);
  return out;
}

// The plan's text as UTF-8: UTF-16 (by its byte-order mark) decoded, anything else as it is.
std::string as_utf8(const std::string& bytes) {
  if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) {
    return converted(bytes, "UTF-8", "UTF-16");
  }
  return bytes;
}

// The plan saved again as UTF-16 with a byte-order mark.
std::string as_utf16(const std::string& utf8, bool little_endian) {
  return (little_endian ? "\xFF\xFE" : "\xFE\xFF") +
         converted(utf8, little_endian ? "UTF-16LE" : "UTF-16BE", "UTF-8");
}

// The plan's own positions, read here independently of the module: the value of every
// WorldPosition element, in whichever of the shapes real plans write it (degrees, minutes and
// seconds; degrees and decimal minutes; signed decimal degrees, east positive), with any run of
// non-digits between the numbers (a degree sign in any encoding).
std::vector<Position> plan_positions(const std::string& utf8) {
  static const std::regex element("<WorldPosition>([^<]*)</WorldPosition>");
  static const std::regex dms(
      "^([NS])(\\d+)\\D+?(\\d+)'\\s*(\\d+(?:\\.\\d+)?)\"\\s*,\\s*"
      "([EW])(\\d+)\\D+?(\\d+)'\\s*(\\d+(?:\\.\\d+)?)\"");
  static const std::regex dm(
      "^([NS])(\\d+)\\D+?(\\d+(?:\\.\\d+)?)'\\s*,\\s*([EW])(\\d+)\\D+?(\\d+(?:\\.\\d+)?)'");
  static const std::regex decimal("^\\s*([+-]?\\d+(?:\\.\\d+)?)\\s*,\\s*([+-]?\\d+(?:\\.\\d+)?)");
  std::vector<Position> positions;
  for (auto m = std::sregex_iterator(utf8.begin(), utf8.end(), element);
       m != std::sregex_iterator(); ++m) {
    const std::string value = (*m)[1];
    std::smatch f;
    if (std::regex_search(value, f, dms)) {
      positions.push_back(
          {radians(f[1], f[2], f[3], f[4], 'S'), radians(f[5], f[6], f[7], f[8], 'E')});
    } else if (std::regex_search(value, f, dm)) {
      positions.push_back({radians(f[1], f[2], f[3], "", 'S'), radians(f[4], f[5], f[6], "", 'E')});
    } else if (std::regex_search(value, f, decimal)) {
      positions.push_back({std::stod(f[1]) * PI / 180.0, -std::stod(f[2]) * PI / 180.0});
    } else {
      ADD_FAILURE() << "a position in no known shape: " << value;
    }
  }
  return positions;
}

// How close a plan in a shape beyond the rules must come to its own positions: within what
// single precision and 8 decimals hold, with a little room.
constexpr double NEW_SHAPE_TOLERANCE_RAD = 3e-7;

// Plans in the shapes the rules misread, as real tools wrote them, arrive at their own positions:
// signed decimal degrees, degrees and decimal minutes, UTF-16, and the whole document on one line
// (with a double-encoded degree sign). Before, the first gave latitudes beyond the poles and no
// longitude at all, the second lost its longitudes, the last two gave nothing.
TEST_F(PlanCorpusTest, PlansInTheShapesBeyondTheRulesArriveAtTheirOwnPositions) {
  const struct {
    const char* file;
    bool big_endian;  // the UTF-16 plan saved again in the other byte order
    std::size_t waypoints;
  } plans[] = {
      {"xml-decimal-degrees-noindent-CYPR-PAWG.PLN", false, 28},
      {"xml-decimal-minutes-SBGW-SBCT.PLN", false, 2},
      {"xml-fsx-utf16le-LOWZ.PLN", false, 14},
      {"xml-fsx-utf16le-LOWZ.PLN", true, 14},
      {"xml-oneline-mojibake-FYMQ.PLN", false, 6},
  };
  for (const auto& plan : plans) {
    SCOPED_TRACE(std::string(plan.file) + (plan.big_endian ? " (UTF-16 BE)" : ""));
    std::string text = read_bytes(CORPUS_PLANS / plan.file);
    const std::string utf8 = as_utf8(text);
    if (plan.big_endian)
      text = as_utf16(utf8.substr(utf8.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0), false);
    const std::vector<Position> positions = plan_positions(utf8);
    ASSERT_EQ(positions.size(), plan.waypoints);

    import_text(text);
    std::vector<Position> waypoints = imported_waypoints();
    ASSERT_EQ(waypoints.size(), 99u);
    for (std::size_t i = 0; i < waypoints.size(); ++i) {
      SCOPED_TRACE("waypoint " + std::to_string(i + 1));
      const Position want = i < positions.size() ? positions[i] : Position{0.0, 0.0};
      EXPECT_NEAR(waypoints[i].lat, want.lat, NEW_SHAPE_TOLERANCE_RAD);
      EXPECT_NEAR(waypoints[i].lon, want.lon, NEW_SHAPE_TOLERANCE_RAD);
    }
  }
}

// Every XML plan the rules read, saved again as UTF-16 in either byte order, or with its whole
// document on one line, gives the very same waypoint file.
TEST_F(PlanCorpusTest, EveryXmlPlanReEncodedOrOnOneLineGivesTheSameFile) {
  for (const CorpusPlan& plan : TWO_SYNTAX_PLANS) {
    if (plan.syntax != Syntax::Xml) continue;
    SCOPED_TRACE(plan.file);
    const std::string text = read_bytes(CORPUS_PLANS / plan.file);
    import_text(text);
    const std::string reference = workdir.read("WAYPOINTS.DAT");
    std::string one_line;
    for (char c : text) {
      if (c != '\n' && c != '\r') one_line += c;
    }
    for (const std::string& variant : {as_utf16(text, true), as_utf16(text, false), one_line}) {
      std::filesystem::remove(workdir.path() / "WAYPOINTS.DAT");
      import_text(variant);
      EXPECT_EQ(workdir.read("WAYPOINTS.DAT"), reference);
    }
  }
}

// Plans without a position of their own (the newest simulator's plans, which name navaids by
// ident only or hold procedures only; FS Commander's format) leave the stored waypoint file
// byte for byte: a plan that says nothing of where to fly must not replace the crew's waypoints
// by the present position and 99 zero lines.
TEST_F(PlanCorpusTest, PlansWithoutPositionsLeaveTheStoredPlanByteForByte) {
  const std::string stored = read_bytes(CORPUS_PLANS / "xml-fsx-rtm-LOWZ.PLN");
  for (const char* file : {
           "fscommander-LIDT-LSZS.PLN",
           "xml-msfs2024-EDDF-EDDM-nopos.PLN",
           "xml-msfs2024-KSEA-procs-only-0wp.PLN",
           "xml-simbrief-msfs2024-EKRK-EGLC-nopos.PLN",
       }) {
    SCOPED_TRACE(file);
    import_text(stored);
    const std::string before = workdir.read("WAYPOINTS.DAT");
    ins_state.reload_to_waypoint = 0;
    import_text(read_bytes(CORPUS_PLANS / file));
    EXPECT_EQ(workdir.read("WAYPOINTS.DAT"), before);
    EXPECT_EQ(ins_state.reload_to_waypoint, 0);
    EXPECT_EQ(ins_state.plan_import_request, 0);
    EXPECT_FALSE(workdir.exists(PLAN_SCRATCH_FILE_NAME));
  }
}

}  // namespace
