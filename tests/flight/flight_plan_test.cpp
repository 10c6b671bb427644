// The host's own plan reader: coordinates as real plans write them, the two bundled plans
// checked against their positions worked by hand, and the plans the INS cannot import refused
// with a message that says why.
#include "host/flight/flight_plan.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::filesystem::path SOURCE_DIR = INS_SOURCE_DIR;
const std::filesystem::path CORPUS_PLANS = std::filesystem::path(INS_CORPUS_DIR) / "plans";

TEST(PlanCoordinates, ReadTheWaysPlansWriteThem) {
  struct Case {
    const char* text;
    bool is_latitude;
    double degrees;
  };
  const Case cases[] = {
      {"N52\xC2\xB0 42' 6.90\"", true, 52.0 + 42.0 / 60 + 6.90 / 3600},
      {"W8\xC2\xB0 55' 28.70\"", false, -(8.0 + 55.0 / 60 + 28.70 / 3600)},
      {"E000\xC2\xB0 05' 04.72\"", false, 5.0 / 60 + 4.72 / 3600},
      {"S22\xC2\xB0 47.50'", true, -(22.0 + 47.50 / 60)},                      // decimal minutes
      {"S17* 45.32'", true, -(17.0 + 45.32 / 60)},                             // key=value
      {" E6* 6.53'", false, 6.0 + 6.53 / 60},                                  // one-digit degrees
      {"N47\xC3\x82\xC2\xB0 17' 13\"", true, 47.0 + 17.0 / 60 + 13.0 / 3600},  // mojibake sign
      {"54.285833 ", true, 54.285833},                                         // decimal degrees
      {" -130.444678", false, -130.444678},
  };
  for (const Case& c : cases) {
    double degrees = 1e9;
    EXPECT_TRUE(flight::parse_coordinate(c.text, c.is_latitude, degrees)) << c.text;
    EXPECT_NEAR(degrees, c.degrees, 1e-12) << c.text;
  }
  for (const char* bad :
       {"", "X12* 3.00'", "N95* 0.00'", "N12* 61.00'", "E181", "N1 2 3 4", "abc"}) {
    double degrees = 0.0;
    EXPECT_FALSE(flight::parse_coordinate(bad, true, degrees) &&
                 flight::parse_coordinate(bad, false, degrees))
        << bad;
  }
  double degrees = 0.0;
  EXPECT_FALSE(flight::parse_coordinate("E12* 0.00'", true, degrees));  // a longitude letter
}

// Decimal degrees are read by from_chars, which also takes "nan" and "inf": NaN passes every
// range check, so without care a plan could place a waypoint nowhere.
TEST(PlanCoordinates, NotANumberAndInfinityAreRefused) {
  for (const char* bad : {"nan", "-nan", "+nan", "NAN", "-NaN(1)", "inf", "-inf", "+infinity"}) {
    for (const bool is_latitude : {true, false}) {
      double degrees = 7.0;
      EXPECT_FALSE(flight::parse_coordinate(bad, is_latitude, degrees)) << bad;
      EXPECT_EQ(degrees, 7.0) << bad;
    }
  }
  const std::string nan_position =
      "<FlightPlan.FlightPlan>\n"
      "<ATCWaypoint id=\"A\"><WorldPosition>-nan,5</WorldPosition></ATCWaypoint>\n"
      "<ATCWaypoint id=\"B\"><WorldPosition>1,2</WorldPosition></ATCWaypoint>\n";
  try {
    flight::parse_flight_plan(nan_position, "nan.PLN");
    ADD_FAILURE() << "a plan with a NaN position was accepted";
  } catch (const flight::PlanError& error) {
    EXPECT_NE(std::string(error.what()).find("nan.PLN:2: the position \"-nan,5\""),
              std::string::npos)
        << error.what();
  }
  // An infinite cruising altitude is unreadable, so the plan gives none.
  const flight::FlightPlan plan = flight::parse_flight_plan(
      "<CruisingAlt>inf</CruisingAlt>\n"
      "<ATCWaypoint><WorldPosition>1,5</WorldPosition></ATCWaypoint>\n"
      "<ATCWaypoint><WorldPosition>1,2</WorldPosition></ATCWaypoint>\n",
      "inf.PLN");
  EXPECT_EQ(plan.cruise_alt_ft, 0.0);
}

TEST(PlanReader, BundledPlansInBothSyntaxes) {
  const flight::FlightPlan xml =
      flight::read_flight_plan(SOURCE_DIR / "examples/EINN-BIKF-oceanic.PLN");
  EXPECT_EQ(xml.syntax, flight::PlanSyntax::Xml);
  EXPECT_EQ(xml.cruise_alt_ft, 35000.0);
  ASSERT_EQ(xml.waypoints.size(), 5u);
  EXPECT_EQ(xml.waypoints[0].ident, "EINN");
  EXPECT_NEAR(xml.waypoints[0].lat_deg, 52.0 + 42.0 / 60 + 6.9 / 3600, 1e-12);
  EXPECT_NEAR(xml.waypoints[0].lon_east_deg, -(8.0 + 55.0 / 60 + 28.7 / 3600), 1e-12);
  EXPECT_EQ(xml.waypoints[2].ident, "5820N");
  EXPECT_NEAR(xml.waypoints[2].lat_deg, 58.0, 1e-12);
  EXPECT_NEAR(xml.waypoints[2].lon_east_deg, -20.0, 1e-12);
  EXPECT_EQ(xml.waypoints[4].ident, "BIKF");

  const flight::FlightPlan kv =
      flight::read_flight_plan(SOURCE_DIR / "examples/NFFN-NSFA-antimeridian.PLN");
  EXPECT_EQ(kv.syntax, flight::PlanSyntax::KeyValue);
  EXPECT_EQ(kv.cruise_alt_ft, 33000.0);
  ASSERT_EQ(kv.waypoints.size(), 5u);
  EXPECT_EQ(kv.waypoints[0].ident, "NFFN");
  EXPECT_NEAR(kv.waypoints[0].lat_deg, -(17.0 + 45.32 / 60), 1e-12);
  EXPECT_NEAR(kv.waypoints[0].lon_east_deg, 177.0 + 26.61 / 60, 1e-12);
  EXPECT_NEAR(kv.waypoints[2].lon_east_deg, -178.0, 1e-12);
  EXPECT_EQ(kv.waypoints[2].line, 16);
}

TEST(PlanReader, RefusesWhatCannotBeFlownWithTheReason) {
  struct Case {
    std::string text;
    std::string says;
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\"?><SimBase.Document><FlightPlan.FlightPlan>\n"
       "<ATCWaypoint id=\"EDDF\"><ATCWaypointType>Airport</ATCWaypointType>\n"
       "<ICAO><ICAOIdent>EDDF</ICAOIdent></ICAO></ATCWaypoint>\n"
       "</FlightPlan.FlightPlan></SimBase.Document>\n",
       ":2: waypoint EDDF has no position"},
      {"[flightplan]\nwaypoint.0=, EGPB, , EGPB, A, N59* 52.73', W001* 17.70', +000020.00,\n",
       "at least two"},
      {"[flightplan]\nwaypoint.0=, EGPB, , EGPB, A, N59* 52.73', W001* 17.70', +000020.00,\n"
       "waypoint.1=, SUM, , SUM, V, N59* 61.00', W001* 17.70', +000020.00,\n",
       ":3: the position of waypoint SUM does not read"},
      {std::string("\xFF\xFE<\0?\0x\0", 8), "neither the XML form nor the key=value"},
      {"[FSCFP]\nWP=1,A,LIDT,,46.15109,11.10340\n", "neither the XML form nor the key=value"},
  };
  for (const Case& c : cases) {
    try {
      flight::parse_flight_plan(c.text, "plan.PLN");
      ADD_FAILURE() << "accepted: " << c.says;
    } catch (const flight::PlanError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
      EXPECT_EQ(std::string(error.what()).rfind("plan.PLN:", 0), 0u) << error.what();
    }
  }
  std::string many = "[flightplan]\n";
  for (int i = 0; i < 100; ++i) {
    many += "waypoint." + std::to_string(i) + "=, W" + std::to_string(i) +
            ", , W, I, N10* 00.00', W" + std::to_string(100 + i) + "* 00.00', +0,\n";
  }
  EXPECT_THROW(flight::parse_flight_plan(many, "many.PLN"), flight::PlanError);
}

// UTF-16 text, little- or big-endian after its byte order mark, from ASCII and Latin-1 text.
std::string utf16(const std::string& latin1, bool little_endian) {
  std::string out = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (const char c : latin1) {
    const char low = c, high = '\0';
    out += little_endian ? std::string{low, high} : std::string{high, low};
  }
  return out;
}

// Every shape of position and text the planning tools write, read to the plan's own positions.
TEST(PlanReader, EveryShapeOfPlanTheToolsWrite) {
  const std::string dms = "N47\xB0 17' 13.14\",E12\xB0 47' 7.96\",+002470.00";
  const std::string two_waypoints =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<SimBase.Document>\r\n"
      "<FlightPlan.FlightPlan>\r\n<ATCWaypoint id=\"LOWZ\">\r\n"
      "<WorldPosition>" +
      dms +
      "</WorldPosition>\r\n</ATCWaypoint>\r\n"
      "<ATCWaypoint id=\"SBG\">\r\n"
      "<WorldPosition>N47\xB0 58' 5.00\",E12\xB0 53' 44.00\",+041010.50</WorldPosition>\r\n"
      "</ATCWaypoint>\r\n</FlightPlan.FlightPlan>\r\n</SimBase.Document>\r\n";
  struct Case {
    const char* shape;
    std::string text;
    double lat_deg[2], lon_east_deg[2];
    int line[2];
  };
  const double lowz_lat = 47 + 17 / 60.0 + 13.14 / 3600, lowz_lon = 12 + 47 / 60.0 + 7.96 / 3600;
  const double sbg_lat = 47 + 58 / 60.0 + 5.0 / 3600, sbg_lon = 12 + 53 / 60.0 + 44.0 / 3600;
  const Case cases[] = {
      {"UTF-16 little-endian",
       utf16(two_waypoints, true),
       {lowz_lat, sbg_lat},
       {lowz_lon, sbg_lon},
       {5, 8}},
      {"UTF-16 big-endian",
       utf16(two_waypoints, false),
       {lowz_lat, sbg_lat},
       {lowz_lon, sbg_lon},
       {5, 8}},
      {"signed decimal degrees, no indentation",
       "<FlightPlan.FlightPlan>\n<ATCWaypoint id=\"CYPR\">\n<ATCWaypointType>AIRPORT"
       "</ATCWaypointType>\n<WorldPosition>54.285833 , -130.444678,+116.0</WorldPosition>\n"
       "</ATCWaypoint>\n<ATCWaypoint id=\"SV001\">\n<WorldPosition>-54.765892 , 130.647858,+5000"
       "</WorldPosition>\n</ATCWaypoint>\n",
       {54.285833, -54.765892},
       {-130.444678, 130.647858},
       {4, 7}},
      {"degrees and decimal minutes",
       "<FlightPlan.FlightPlan>\n  <ATCWaypoint id=\"SBGW\">\n"
       "    <WorldPosition>S22\xC2\xB0 47.50',W45\xC2\xB0 12.29',+1761.00</WorldPosition>\n"
       "  </ATCWaypoint>\n  <ATCWaypoint id=\"SBCT\">\n"
       "    <WorldPosition>S25\xC2\xB0 31.71',W49\xC2\xB0 10.55',+2988.00</WorldPosition>\n"
       "  </ATCWaypoint>\n",
       {-(22 + 47.50 / 60), -(25 + 31.71 / 60)},
       {-(45 + 12.29 / 60), -(49 + 10.55 / 60)},
       {3, 6}},
      {"one line, shapes mixed",
       "<?xml version=\"1.0\"?><SimBase.Document><FlightPlan.FlightPlan><ATCWaypoint id=\"A\">"
       "<WorldPosition>S24\xC3\x82\xC2\xB0 10' 50.29\",E15\xC3\x82\xC2\xB0 58' 39.67\", 003570.00"
       "</WorldPosition></ATCWaypoint><ATCWaypoint id=\"B\"><WorldPosition>-24.5,16.25,+0"
       "</WorldPosition></ATCWaypoint></FlightPlan.FlightPlan></SimBase.Document>",
       {-(24 + 10 / 60.0 + 50.29 / 3600), -24.5},
       {15 + 58 / 60.0 + 39.67 / 3600, 16.25},
       {1, 1}},
  };
  for (const Case& c : cases) {
    flight::FlightPlan plan;
    try {
      plan = flight::parse_flight_plan(c.text, "shape.PLN");
    } catch (const flight::PlanError& error) {
      ADD_FAILURE() << c.shape << ": " << error.what();
      continue;
    }
    ASSERT_EQ(plan.waypoints.size(), 2u) << c.shape;
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_NEAR(plan.waypoints[i].lat_deg, c.lat_deg[i], 1e-12) << c.shape << " " << i;
      EXPECT_NEAR(plan.waypoints[i].lon_east_deg, c.lon_east_deg[i], 1e-12) << c.shape << " " << i;
      EXPECT_EQ(plan.waypoints[i].line, c.line[i]) << c.shape << " " << i;
    }
  }
  // UTF-16 that does not decode (a lone surrogate on line 2) is refused where it stops.
  std::string broken = utf16("<FlightPlan.FlightPlan>\n<ATCWaypoint", true);
  broken += std::string("\x00\xD8", 2) + utf16(" id=\"X\">", true).substr(2);
  try {
    flight::parse_flight_plan(broken, "broken.PLN");
    ADD_FAILURE() << "UTF-16 with a lone surrogate was read";
  } catch (const flight::PlanError& error) {
    EXPECT_NE(
        std::string(error.what()).find("broken.PLN:2: the plan's UTF-16 text does not decode"),
        std::string::npos)
        << error.what();
  }
}

// More waypoints than the INS holds: refused at the first one too many, without reading on (the
// broken end of this plan is never reached), and a plan of 10 000 is refused the same way.
TEST(PlanReader, RefusesMoreThanTheInsHoldsAtTheFirstOneTooMany) {
  auto plan_of = [](int waypoints, const std::string& tail) {
    std::string text = "<FlightPlan.FlightPlan>\n";
    for (int i = 0; i < waypoints; ++i) {
      text += "<ATCWaypoint id=\"W" + std::to_string(i) +
              "\">\n<WorldPosition>N10\xC2\xB0 0' 0.00\","
              "W" +
              std::to_string(i % 180) + "\xC2\xB0 0' 0.00\",+0</WorldPosition>\n</ATCWaypoint>\n";
    }
    return text + tail;
  };
  for (const int count : {100, 10000}) {
    try {
      flight::parse_flight_plan(plan_of(count, "<ATCWaypoint id=\"BROKEN\">\n"), "many.PLN");
      ADD_FAILURE() << count << " waypoints accepted";
    } catch (const flight::PlanError& error) {
      EXPECT_NE(std::string(error.what())
                    .find("many.PLN:300: the plan has more than 99 waypoints (the 100th, W99, is "
                          "here); the INS holds 99"),
                std::string::npos)
          << error.what();
    }
  }
  EXPECT_EQ(flight::parse_flight_plan(plan_of(99, ""), "full.PLN").waypoints.size(), 99u);
}

TEST(PlanReader, CorpusPlansReadWithTheirDocumentedWaypointCounts) {
  if (!std::filesystem::exists(CORPUS_PLANS)) {
    GTEST_SKIP() << "flight-plan corpus not found at " << CORPUS_PLANS.string();
  }
  const std::pair<const char*, std::size_t> counts[] = {
      {"kv-fs9-EGPB-EISG.PLN", 13},
      {"kv-fs9-EDDB-OMDB-61wp-east.PLN", 61},
      {"xml-SBKP-SBPP-south-zeropad.PLN", 15},
      {"xml-tabs-LGIR-HEGN.PLN", 12},
      {"xml-planG-LEJR-comma-alt.PLN", 13},
      {"xml-asterisk-deg-FACB-FABL.PLN", 2},
      {"xml-decimal-minutes-SBGW-SBCT.PLN", 2},
      {"xml-decimal-degrees-noindent-CYPR-PAWG.PLN", 28},
      {"xml-fsx-utf16le-LOWZ.PLN", 14},
      {"xml-oneline-mojibake-FYMQ.PLN", 6},
  };
  for (const auto& [file, count] : counts) {
    const flight::FlightPlan plan = flight::read_flight_plan(CORPUS_PLANS / file);
    EXPECT_EQ(plan.waypoints.size(), count) << file;
  }
  EXPECT_THROW(flight::read_flight_plan(CORPUS_PLANS / "xml-msfs2024-EDDF-EDDM-nopos.PLN"),
               flight::PlanError);
  EXPECT_THROW(flight::read_flight_plan(CORPUS_PLANS / "xml-lnm-KSEA-KFLL-121wp.PLN"),
               flight::PlanError);
}

}  // namespace
