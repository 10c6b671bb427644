// The scenario parser: what it reads, and that every wrong word is reported with its line.
#include "host/scenario_parser.h"

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
      {"frames 1\nclik INS HOLD\n", 2, "\"clik\""},
      {"set latt 4\n", 1, "\"latt\""},
      {"set lat four\n", 1, "\"four\""},
      {"set lat nan\n", 1, "\"nan\""},
      {"fps 0\n", 1, "\"0\""},
      {"\n\nclick INS HOLDD\n", 3, "\"HOLDD\""},
      {"click FOO HOLD\n", 1, "\"HOLD\""},
      {"click INS 12;40\n", 1, "\"12;40\""},
      {"hold INS WYPT_CHG 3\n", 1, "\"3\""},
      {"keys 12a\n", 1, "\"12a\""},
      {"expect visible INS hold_lit maybe\n", 1, "\"maybe\""},
      {"expect visible INS hold_lt yes\n", 1, "\"hold_lt\""},
      {"expect text INS left \"open\n", 1, "no closing quote"},
      {"expect colour INS left red\n", 1, "\"colour\""},
      {"expect no smell\n", 1, "\"no smell\""},
      {"frames\n", 1, "\"frames\""},
      {"frames 1 2\n", 1, "\"frames\""},
      {"x\nfile A.TXT\nline\n", 1, "\"x\""},
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

}  // namespace
