// A scenario saved as UTF-8 with a byte order mark (as Notepad may save it) reads as the same
// scenario without it; the mark is taken only at the file's start.
#include <gtest/gtest.h>

#include <string>

#include "host/scenario/scenario_parser.h"
#include "host_program.h"

namespace {

using namespace host::scenario;

const std::string MARK = "\xEF\xBB\xBF";

TEST(ScenarioByteOrderMark, IsSkippedAtTheStartOnly) {
  const ParseResult marked = parse_scenario(MARK + "gauges INS\nframes 2\n");
  ASSERT_FALSE(marked.error) << marked.error->message;
  ASSERT_EQ(marked.commands.size(), 2u);
  EXPECT_EQ(marked.commands[0].line, 1);
  EXPECT_EQ(std::get<Frames>(marked.commands[1].action).count, 2);

  const ParseResult inside = parse_scenario("gauges INS\n" + MARK + "frames 2\n");
  ASSERT_TRUE(inside.error) << "a mark inside the text is a wrong word like any other";
  EXPECT_EQ(inside.error->line, 2);
}

TEST(ScenarioByteOrderMark, ARunPlaysAMarkedScenario) {
  host_test::TempFolder folder;
  host_test::write_text(folder / "marked.scn", MARK + "set battery 1\nexpect no file NONE\n");
  host_test::HostProgram host({"run", "marked.scn"}, folder.path());
  host.finish(60.0);
  EXPECT_EQ(host.exit_code, 0) << host.err();
  EXPECT_NE(host.out().find("marked.scn: 1 expectation held"), std::string::npos) << host.out();
}

}  // namespace
