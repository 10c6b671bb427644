// The scenario parser: what it reads, and that every wrong word is reported with its line.
#include "host/scenario/scenario_parser.h"

#include <gtest/gtest.h>

namespace {

using namespace host::scenario;

TEST(ScenarioParser, Durations) {
  struct Case {
    const char* word;
    double seconds;
  };
  const Case good[] = {{"0.5s", 0.5}, {"15s", 15},   {"2m", 120},      {"1h30m", 5400},
                       {"1h", 3600},  {"1m30s", 90}, {"1h0m2s", 3602}, {"0s", 0}};
  for (const Case& c : good) EXPECT_EQ(parse_duration_s(c.word), c.seconds) << c.word;
  for (const char* bad : {"", "s", "15", "1x", "30m1h", "1s1s", "-1s", "1..5s", "h", "1hm"}) {
    EXPECT_FALSE(parse_duration_s(bad)) << bad;
  }
}

TEST(ScenarioParser, ReadsEveryCommand) {
  const ParseResult result = parse_scenario(
      "# a comment\n"
      "gauges INS ALIGN   # trailing comment\n"
      "\n"
      "fps 18\n"
      "file WAYPOINTS.DAT crlf\n"
      "  0 N 1 2 # kept as written\n"
      "end\n"
      "copy ../plans/PLAN.PLN\n"
      "remove PLAN.PLN\n"
      "set lat -33.5\n"
      "var 0x47 12\n"
      "click INS 120,44\n"
      "hold INS WYPT_CHG 1.5s\n"
      "keys 0247\n"
      "frames 3\n"
      "wait 1h30m\n"
      "wait until expect text INS left \"N 1\\\"2\\\\\" max 2m\n"
      "expect event 0x101FA -1\n"
      "expect sound \"sound\\tavren\\ins_tog.wav\"\n"
      "expect file WAYPOINTS.DAT line 0 \"0 N\"\n");
  ASSERT_FALSE(result.error) << result.error->line << ": " << result.error->message;
  ASSERT_EQ(result.commands.size(), 16u);
  const auto& c = result.commands;
  EXPECT_EQ(std::get<Gauges>(c[0].action).names, (std::vector<std::string>{"INS", "ALIGN"}));
  EXPECT_EQ(c[0].line, 2);
  EXPECT_EQ(std::get<Fps>(c[1].action).fps, 18);
  const auto& file = std::get<WriteFile>(c[2].action);
  EXPECT_EQ(file.lines, (std::vector<std::string>{"  0 N 1 2 # kept as written"}));
  EXPECT_TRUE(file.crlf);
  EXPECT_EQ(std::get<CopyFile>(c[3].action).name, "PLAN.PLN");
  EXPECT_EQ(c[3].line, 8);
  EXPECT_EQ(std::get<SetCondition>(c[5].action).value, -33.5);
  EXPECT_EQ(std::get<SetVar>(c[6].action).token_id, 71u);
  const auto& click = std::get<Click>(c[7].action);
  EXPECT_TRUE(click.control.is_point);
  EXPECT_EQ(click.control.x, 120);
  EXPECT_EQ(click.control.y, 44);
  EXPECT_EQ(std::get<Hold>(c[8].action).duration_s, 1.5);
  EXPECT_EQ(std::get<Keys>(c[9].action).digits, "0247");
  EXPECT_EQ(std::get<Wait>(c[11].action).duration_s, 5400);
  const auto& until = std::get<WaitUntil>(c[12].action);
  EXPECT_EQ(until.max_s, 120);
  EXPECT_EQ(std::get<ExpectText>(until.expectation).text, "N 1\"2\\");
  EXPECT_EQ(std::get<ExpectEvent>(std::get<Expectation>(c[13].action)).value, 0xFFFFFFFFu);
  // A backslash before anything but a quote or a backslash stays, so paths read as written.
  EXPECT_EQ(std::get<ExpectSound>(std::get<Expectation>(c[14].action)).path,
            "sound\\tavren\\ins_tog.wav");
}

TEST(ScenarioParser, WaitUntilDefaultsToTenHours) {
  const ParseResult result = parse_scenario("wait until visible ALIGN ready_nav yes\n");
  ASSERT_FALSE(result.error);
  EXPECT_EQ(std::get<WaitUntil>(result.commands[0].action).max_s, 36000);
}

TEST(ScenarioParser, WrongWordsAreReportedWithTheirLine) {
  struct Case {
    const char* text;
    int line;
    const char* names;  // the message must hold this
  };
  const Case cases[] = {
      {"frames 1\nclik INS HOLD\n", 2, "clik"},
      {"set latt 4\n", 1, "latt"},
      {"set lat four\n", 1, "\"four\""},
      {"set lat nan\n", 1, "\"nan\""},
      {"fps 0\n", 1, "\"0\""},
      {"\n\nclick INS HOLDD\n", 3, "HOLDD"},
      {"click FOO HOLD\n", 1, "HOLD"},
      {"click INS 12;40\n", 1, "12;40"},
      {"hold INS WYPT_CHG 3\n", 1, "\"3\""},
      {"keys 12a\n", 1, "\"12a\""},
      {"expect visible INS hold_lit maybe\n", 1, "\"maybe\""},
      {"expect visible INS hold_lt yes\n", 1, "hold_lt"},
      {"expect text INS left \"open\n", 1, "no closing quote"},
      {"expect colour INS left red\n", 1, "colour"},
      {"expect no smell\n", 1, "no smell"},
      {"frames\n", 1, "\"frames\""},
      {"frames 1 2\n", 1, "\"frames\""},
      {"x\nfile A.TXT\nline\n", 1, "command x"},
      {"file A.TXT\nline\n", 1, "no \"end\""},
      {"file ../escape.txt\nend\n", 1, "\"../escape.txt\""},
      {"file /etc/passwd\nend\n", 1, "\"/etc/passwd\""},
      {"remove a/../../b\n", 1, "\"a/../../b\""},
      {"end\n", 1, "\"end\""},
      {"\"click\" INS HOLD\n", 1, "\"click\""},
      {"wait until text INS left \"X\" max soon\n", 1, "\"soon\""},
      {"expect event 0x101FA\n", 1, "event ID VALUE"},
      {"var 71 x\n", 1, "\"x\""},
      // One sign at most, and none after 0x; the most negative 64-bit value with a second sign
      // must be refused, not negated.
      {"frames --5\n", 1, "\"--5\""},
      {"var 0x-1 0\n", 1, "\"0x-1\""},
      {"fps --9223372036854775808\n", 1, "\"--9223372036854775808\""},
      {"expect event 1 --9223372036854775808\n", 1, "\"--9223372036854775808\""},
  };
  for (const Case& c : cases) {
    const ParseResult result = parse_scenario(c.text);
    ASSERT_TRUE(result.error) << c.text;
    EXPECT_EQ(result.error->line, c.line) << c.text;
    EXPECT_NE(result.error->message.find(c.names), std::string::npos)
        << c.text << " -> " << result.error->message;
  }
}

TEST(ScenarioParser, CrlfScenarioReadsLikeLf) {
  const ParseResult result = parse_scenario("gauges INS\r\nfile A\r\nx\r\nend\r\nframes 2\r\n");
  ASSERT_FALSE(result.error);
  ASSERT_EQ(result.commands.size(), 3u);
  EXPECT_EQ(std::get<WriteFile>(result.commands[1].action).lines, std::vector<std::string>{"x"});
  EXPECT_EQ(std::get<Frames>(result.commands[2].action).count, 2);
}

// A file written on a system that ends lines with a CR alone reads line by line, not as one
// comment that checks nothing.
TEST(ScenarioParser, CrOnlyLineEndsEndLines) {
  const ParseResult result =
      parse_scenario("# old Mac line ends\rgauges INS\rfile A\rx\rend\rframes 2\r");
  ASSERT_FALSE(result.error) << result.error->message;
  ASSERT_EQ(result.commands.size(), 3u);
  EXPECT_EQ(result.commands[0].line, 2);
  EXPECT_EQ(std::get<WriteFile>(result.commands[1].action).lines, std::vector<std::string>{"x"});
  EXPECT_EQ(result.commands[2].line, 6);
  EXPECT_EQ(std::get<Frames>(result.commands[2].action).count, 2);
}

// A scenario that would run nothing proves nothing: it is refused, not passed.
TEST(ScenarioParser, AScenarioWithoutACommandIsRefused) {
  for (const char* text : {"", "\n\n", "# only a comment\n   # and another\n", "\t \r\n"}) {
    const ParseResult result = parse_scenario(text);
    ASSERT_TRUE(result.error) << '"' << text << '"';
    EXPECT_EQ(result.error->line, 1);
    EXPECT_NE(result.error->message.find("no command"), std::string::npos) << result.error->message;
  }
}

TEST(ScenarioParser, ConditionsOutsideTheirRangeAreRefused) {
  struct Case {
    const char* text;
    const char* names;  // the message must hold this
  };
  const Case refused[] = {
      {"set lat 95\n", "\"95\""},
      {"set lat 1e308\n", "\"1e308\""},
      {"set lat -90.5\n", "-90 to 90"},
      {"set lon 180.01\n", "\"180.01\""},
      {"set heading 361\n", "\"361\""},
      {"set magvar -181\n", "\"-181\""},
      {"set wind_dir -1\n", "\"-1\""},
      {"set wind_speed 1e308\n", "\"1e308\""},
      {"set gs -3\n", "\"-3\""},
      {"set battery 2\n", "0 or 1"},
      {"set ap_master 0.5\n", "0 or 1"},
      {"set tick -1\n", "\"-1\""},
      {"set tick 4294967296\n", "\"4294967296\""},
      {"set tick 12.5\n", "\"12.5\""},
      {"set altitude 1e308\n", "\"1e308\""},
      {"set tas -1\n", "\"-1\""},
      {"set mach 1e9\n", "\"1e9\""},
      {"set oat -300\n", "\"-300\""},
      {"wind 1e308 270 40\n", "\"1e308\""},
      {"wind 30000 400 40\n", "\"400\""},
  };
  for (const Case& c : refused) {
    const ParseResult result = parse_scenario(std::string("frames 1\n") + c.text);
    ASSERT_TRUE(result.error) << c.text;
    EXPECT_EQ(result.error->line, 2) << c.text;
    EXPECT_NE(result.error->message.find(c.names), std::string::npos)
        << c.text << " -> " << result.error->message;
  }
  // The ends of each range are values a scenario may set.
  const ParseResult edges = parse_scenario(
      "set lat -90\nset lat 90\nset lon -180\nset lon 180\nset heading 360\n"
      "set tick 0\nset tick 4294967295\nset battery 0\nset main_power 1\nset gs 0\n"
      "set magvar 180\nset wind_dir 360\nset altitude 65000\nwind -2000 0 0\n");
  EXPECT_FALSE(edges.error) << edges.error->line << ": " << edges.error->message;
}

TEST(ScenarioParser, WaitsBeyondTheMaximumAreRefused) {
  const char* refused[] = {
      "wait 100h1s\n",        "wait 1000h\n",
      "hold INS HOLD 101h\n", "wait until text INS to \"01\" max 200h\n",
      "frames 10000001\n",
  };
  for (const char* text : refused) {
    const ParseResult result = parse_scenario(text);
    ASSERT_TRUE(result.error) << text;
    EXPECT_EQ(result.error->line, 1);
    EXPECT_NE(result.error->message.find("at most"), std::string::npos)
        << text << " -> " << result.error->message;
  }
  EXPECT_FALSE(parse_scenario("wait 100h\nframes 10000000\nhold INS HOLD 100h\n").error);
}

// A misspelt name is named with its line and answered with the nearest valid one.
TEST(ScenarioParser, UnknownNamesSuggestTheNearestValidOne) {
  struct Case {
    const char* text;
    const char* message;  // the whole message
  };
  const Case cases[] = {
      {"click INS HOLDD\n", "unknown control HOLDD of gauge INS; did you mean HOLD?"},
      {"click INS hold\n", "unknown control hold of gauge INS; did you mean HOLD?"},
      {"click INS WYPTCHG\n", "unknown control WYPTCHG of gauge INS; did you mean WYPT_CHG?"},
      {"click ALIGN CWW\n", "unknown control CWW of gauge ALIGN; did you mean CW?"},
      {"clik INS HOLD\n", "unknown command clik; did you mean click?"},
      {"set latt 4\n", "unknown condition latt; did you mean lat?"},
      {"expect visible INS hold_lt yes\n",
       "unknown element hold_lt of gauge INS; did you mean hold_lit?"},
      {"expect txt INS left \"x\"\n", "unknown expectation txt; did you mean text?"},
      {"wait until visble ALIGN ready_nav yes\n",
       "unknown expectation visble; did you mean visible?"},
      {"click INS QQQQQQQQ\n", "unknown control QQQQQQQQ of gauge INS"},
      {"expect image INS knob WAYPT\n",
       "\"WAYPT\" is not a number nor a legend of INS knob; did you mean WAY_PT?"},
      {"expect image ALIGN knob nav\n",
       "\"nav\" is not a number nor a legend of ALIGN knob; did you mean NAV?"},
      {"expect image INS tens POS\n", "\"POS\" is not a number"},
      // A misspelt INS gauge is named as such, not taken for another module's gauge.
      {"click INSS HOLD\n", "unknown gauge INSS; did you mean INS?"},
      {"expect text ALIGNN left \"x\"\n", "unknown gauge ALIGNN; did you mean ALIGN?"},
      {"click FIXTURE HOLD\n",
       "unknown control HOLD of gauge FIXTURE (this gauge takes points X,Y)"},
  };
  for (const Case& c : cases) {
    const ParseResult result = parse_scenario(c.text);
    ASSERT_TRUE(result.error) << c.text;
    EXPECT_EQ(result.error->line, 1);
    EXPECT_EQ(result.error->message, c.message) << c.text;
  }
}

// A knob's positions by the legends around it; its image index stands for the same position.
TEST(ScenarioParser, KnobPositionsByLegendOrNumber) {
  struct Case {
    const char* text;
    double position;
  };
  const Case cases[] = {
      {"expect image INS knob TK_GS\n", 0},     {"expect image INS knob WAY_PT\n", 4},
      {"expect image INS knob DSRTK_STS\n", 7}, {"expect image INS 22 DIS_TIME\n", 5},
      {"expect image INS knob 4\n", 4},         {"expect image ALIGN knob OFF\n", 0},
      {"expect image ALIGN knob NAV\n", 3},     {"wait until image ALIGN knob ALIGN\n", 2},
  };
  for (const Case& c : cases) {
    const ParseResult result = parse_scenario(c.text);
    ASSERT_FALSE(result.error) << c.text << result.error->message;
    const Action& action = result.commands[0].action;
    const Expectation& expectation = std::holds_alternative<WaitUntil>(action)
                                         ? std::get<WaitUntil>(action).expectation
                                         : std::get<Expectation>(action);
    EXPECT_EQ(std::get<ExpectImage>(expectation).value, c.position) << c.text;
  }
  // The data selector's legends are not the mode knob's, and the wheels have none.
  EXPECT_TRUE(parse_scenario("expect image ALIGN knob POS\n").error);
  EXPECT_TRUE(parse_scenario("expect image INS knob NAV\n").error);
}

TEST(ScenarioParser, WaitUntilNearReadsLikeExpectNear) {
  const ParseResult result =
      parse_scenario("wait until near 52.5 -8.25 1.5 max 2h\nexpect near -10 170 0\n");
  ASSERT_FALSE(result.error) << result.error->message;
  const auto& until = std::get<WaitUntil>(result.commands[0].action);
  const auto& near = std::get<ExpectNear>(until.expectation);
  EXPECT_EQ(near.lat_deg, 52.5);
  EXPECT_EQ(near.lon_east_deg, -8.25);
  EXPECT_EQ(near.within_nm, 1.5);
  EXPECT_EQ(until.max_s, 7200);
  EXPECT_EQ(std::get<ExpectNear>(std::get<Expectation>(result.commands[1].action)).lat_deg, -10);
  for (const char* bad : {"wait until near 95 0 1\n", "wait until near 0 0\n"}) {
    EXPECT_TRUE(parse_scenario(bad).error) << bad;
  }
}

}  // namespace
