// Text from outside on its way to a terminal or into JSON: which bytes are UTF-8, what a
// terminal may be sent, and plans in 8-bit code pages read as such.
#include "host/platform/plain_text.h"

#include <gtest/gtest.h>

#include <string>

#include "host/flight/flight_plan.h"

namespace {

TEST(PlainText, OnlyWellFormedUtf8IsUtf8) {
  const struct {
    std::string text;
    bool utf8;
  } cases[] = {
      {"", true},
      {"EINN to BIKF", true},
      {"Z\xC3\xBCrich", true},      // ü
      {"\xE2\x82\xAC", true},       // €
      {"\xF0\x9F\x9B\xAB", true},   // a four-byte character
      {"\xFC", false},              // ü in Latin-1
      {"\x80", false},              // a continuation byte alone
      {"\xC0\xAF", false},          // '/' written long
      {"\xE0\x80\xAF", false},      // '/' written longer
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xE2\x82", false},          // cut short
      {"\xE2\x82"
       "A",
       false},  // cut short by an ASCII byte
  };
  for (const auto& c : cases) EXPECT_EQ(flight::is_utf8(c.text), c.utf8) << c.text;
}

TEST(PlainText, ControlCharactersAndStrayBytesAreShownAsQuestionMarks) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"GEN\xC3\x88V", "GEN\xC3\x88V"},    // letters of any script stay
      {"\x1B]0;title\x07", "?]0;title?"},  // set the window's title, ring the bell
      {"\x1B[2J", "?[2J"},                 // clear the screen
      {"a\tb\r\nc\x7F", "a?b??c?"},
      {"\xC2\x9B"
       "2J",
       "?2J"},  // the C1 control sequence introducer, as UTF-8
      {"\x9B"
       "2J",
       "?2J"},  // ... and as the 8-bit byte terminals also obey
      {"\xC0\xAF", "??"},
  };
  for (const auto& c : cases) EXPECT_EQ(flight::printable(c.text), c.shown) << c.text;
}

TEST(PlainText, AColumnIsCutBetweenCharactersAndPadded) {
  EXPECT_EQ(flight::printable_column("GEN\xC3\x88VE-LONG", 8), "GEN\xC3\x88VE-L");
  EXPECT_EQ(flight::printable_column("\xC3\x89"
                                     "CHO",
                                     8),
            "\xC3\x89"
            "CHO    ");
  EXPECT_EQ(flight::printable_column("\x1B[2J", 3), "?[2");
  EXPECT_EQ(flight::printable_column("", 2), "  ");
}

// The same plan in UTF-8 and in an older planner's code page: the same positions, and the
// title and idents as the same text.
std::string plan_text(const std::string& declaration, const std::string& title,
                      const std::string& ident) {
  return "<?xml version=\"1.0\"" + declaration + "?>\r\n<SimBase.Document>\r\n" +
         "<FlightPlan.FlightPlan>\r\n<Title>" + title + "</Title>\r\n" + "<ATCWaypoint id=\"" +
         ident + "\">\r\n" +
         "<WorldPosition>N52\xB0 42' 6.90\",W8\xB0 55' 28.70\",+000046.00</WorldPosition>\r\n" +
         "</ATCWaypoint>\r\n<ATCWaypoint id=\"EAST\">\r\n" +
         "<WorldPosition>N52\xB0 42' 0.00\",W8\xB0 25' 0.00\",+005000.00</WorldPosition>\r\n" +
         "</ATCWaypoint>\r\n</FlightPlan.FlightPlan>\r\n</SimBase.Document>\r\n";
}

TEST(PlanCodePages, TitlesAndIdentsAreReadInThePlansCodePage) {
  const struct {
    std::string declaration;
    std::string title_bytes, ident_bytes;
    std::string title, ident;  // UTF-8
  } cases[] = {
      // Latin-1, as declared.
      {" encoding=\"ISO-8859-1\"", "Z\xFCrich",
       "\xC9"
       "CHO",
       "Z\xC3\xBCrich",
       "\xC3\x89"
       "CHO"},
      // Central European, as declared: the letters of the same bytes differ from Latin-1's.
      {" encoding=\"windows-1250\"",
       "\xA3\xF3"
       "d\x9F",
       "\x8A"
       "UM",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       "\xC5\xA0"
       "UM"},
      // Declared UTF-8 (wrongly) or not declared: Windows' Western code page, € and ’ included.
      {" encoding=\"UTF-8\"", "Pilot\x92s",
       "\x80"
       "URO",
       "Pilot\xE2\x80\x99s",
       "\xE2\x82\xAC"
       "URO"},
      {"", "Caf\xE9",
       "A\x81"
       "B",
       "Caf\xC3\xA9",
       "A\xC2\x81"
       "B"},  // 0x81: none there; Latin-1
  };
  std::string utf8 = plan_text("", "title", "EINN");
  for (std::size_t at = utf8.find('\xB0'); at != std::string::npos;
       at = utf8.find('\xB0', at + 2)) {
    utf8.insert(at, "\xC2");  // the degree sign in UTF-8
  }
  const flight::FlightPlan reference = flight::parse_flight_plan(utf8, "UTF8.PLN");
  for (const auto& c : cases) {
    const flight::FlightPlan plan = flight::parse_flight_plan(
        plan_text(c.declaration, c.title_bytes, c.ident_bytes), "OLD.PLN");
    EXPECT_EQ(plan.title, c.title) << c.declaration;
    ASSERT_EQ(plan.waypoints.size(), 2u);
    EXPECT_EQ(plan.waypoints[0].ident, c.ident) << c.declaration;
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(plan.waypoints[i].lat_deg, reference.waypoints[i].lat_deg);
      EXPECT_EQ(plan.waypoints[i].lon_east_deg, reference.waypoints[i].lon_east_deg);
      EXPECT_EQ(plan.waypoints[i].line, reference.waypoints[i].line);
    }
  }
}

}  // namespace
