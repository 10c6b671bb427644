// `ins-host fly` as a user runs it, the real module flying: options and plans it cannot fly are
// refused before anything is printed or made, with what is wrong; nothing from a plan becomes a
// command of the scenario it writes, nor a control character on the terminal; any plan file name
// works or is refused clearly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host_program.h"

namespace host_test {
namespace {

namespace fs = std::filesystem;

const fs::path SOURCE_DIR = INS_SOURCE_DIR;
const fs::path EXAMPLE_PLAN = SOURCE_DIR / "examples/EINN-BIKF-oceanic.PLN";

// Nothing of a refused flight exists: no line on the standard output, no output folder.
void expect_nothing_made(const HostProgram& host, const fs::path& output, const std::string& why) {
  EXPECT_EQ(host.out(), "") << why;
  EXPECT_FALSE(fs::exists(output)) << why << ": the output folder was made";
}

TEST(FlyCommand, OptionsAreCheckedBeforeAnythingRuns) {
  struct Case {
    std::vector<std::string> options;
    std::string message;  // stderr starts with this
  };
  const Case cases[] = {
      {{"--cruise-alt", "90000"}, "--cruise-alt 90000: a cruise level is 1000 to 65000 ft"},
      {{"--cruise-alt", "-5"}, "--cruise-alt -5: a cruise level is 1000 to 65000 ft"},
      {{"--wind", "400/40"}, "--wind 400/40: the direction the wind blows from is 0 to 360"},
      {{"--wind", "270/-3"}, "--wind 270/-3: a wind speed is 0 to 500 kt"},
      {{"--wind", "270/490", "--tas", "300"}, "--wind 270/490: a wind of 490 kt is not below"},
      {{"--wind-aloft", "99999:270/80"}, "--wind-aloft 99999:270/80: a wind layer's altitude"},
      {{"--wind-aloft", "30000:361/80"}, "--wind-aloft 30000:361/80: the direction"},
      {{"--wind-aloft", "30000abc:270/80"}, "--wind-aloft 30000abc:270/80: expected ALT_FT:DIR/KT"},
      {{"--tas", "nan"}, "--tas nan: a cruise speed is 100 to 700 kt"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    std::vector<std::string> args = {"fly", EXAMPLE_PLAN.string(), "--output", "out"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    HostProgram host(args, folder.path());
    host.finish(120.0);
    EXPECT_EQ(host.exit_code, 2) << c.message;
    EXPECT_EQ(host.err().rfind(c.message, 0), 0u) << host.err();
    expect_nothing_made(host, folder / "out", c.message);
  }
}

// A plan the INS does not import as the plan says: its position line of 45 characters is passed
// over by the INS (as by the simulator's own import), so the INS's waypoint 02 is the plan's
// third waypoint. The refusal names the plan's line, the waypoint, both positions.
TEST(FlyCommand, APlanTheInsMisimportsIsRefusedWithBothPositions) {
  TempFolder folder;
  fs::copy_file(SOURCE_DIR / "tests/flights/short-position-line.PLN", folder / "SHORT.PLN");
  HostProgram host({"fly", "SHORT.PLN", "--output", "out"}, folder.path());
  host.finish(300.0);
  EXPECT_EQ(host.exit_code, 2);
  EXPECT_EQ(host.err(),
            "plan refused, nothing flown: SHORT.PLN:10: the INS imported waypoint 02, SHORT, at "
            "53.100001 -8.200000 (0.92676985 0.14311700 in WAYPOINTS.DAT); the plan puts it at "
            "52.900000 -8.600000\n");
  expect_nothing_made(host, folder / "out", "misimported plan");
}

TEST(FlyCommand, APlanFileNameWithALineEndIsRefusedClearly) {
  TempFolder folder;
  fs::copy_file(EXAMPLE_PLAN, folder / "two\nlines.PLN");
  HostProgram host({"fly", "two\nlines.PLN", "--output", "out"}, folder.path());
  host.finish(120.0);
  EXPECT_EQ(host.exit_code, 2);
  EXPECT_NE(host.err().find("the file name \"two?lines.PLN\" holds a control character"),
            std::string::npos)
      << host.err();
  expect_nothing_made(host, folder / "out", "file name with a line end");
}

// A crafted ident with line ends (LF and CR) and a file name with quotes and a backslash: the
// plan flies, the scenario it leaves runs no command of the plan's, and replays as flown.
TEST(FlyCommand, NothingFromAPlanBecomesACommand) {
  TempFolder folder;
  const std::string plan_name = "say \"hi\" \\ there.PLN";
  write_text(folder / plan_name,
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document>\n"
             "<FlightPlan.FlightPlan>\n<CruisingAlt>5000</CruisingAlt>\n"
             "<ATCWaypoint id=\"EINN\rsnapshot injected-cr.svg #\nsnapshot injected.svg #\">\n"
             "    <ATCWaypointType>Airport</ATCWaypointType>\n"
             "    <WorldPosition>N52\xC2\xB0 42' 6.90\",W8\xC2\xB0 55' 28.70\",+000046.00"
             "</WorldPosition>\n</ATCWaypoint>\n"
             "<ATCWaypoint id=\"EAST\">\n    <ATCWaypointType>User</ATCWaypointType>\n"
             "    <WorldPosition>N52\xC2\xB0 42' 0.00\",W8\xC2\xB0 25' 0.00\",+005000.00"
             "</WorldPosition>\n</ATCWaypoint>\n</FlightPlan.FlightPlan>\n</SimBase.Document>\n");
  HostProgram fly({"fly", plan_name, "--output", "out", "--quiet"}, folder.path());
  fly.finish(600.0);
  ASSERT_EQ(fly.exit_code, 0) << fly.out() << fly.err();

  const fs::path scenario = folder / "out" / "say \"hi\" \\ there.scn";
  const std::string text = read_text(scenario);
  ASSERT_NE(text, "");
  for (std::size_t at = text.find("snapshot injected"); at != std::string::npos;
       at = text.find("snapshot injected", at + 1)) {
    EXPECT_TRUE(at > 0 && text[at - 1] != '\n' && text[at - 1] != '\r')
        << "a plan's ident starts a scenario line:\n"
        << text;
  }
  for (const fs::path& where : {folder.path(), folder / "out"}) {
    EXPECT_FALSE(fs::exists(where / "injected.svg"));
    EXPECT_FALSE(fs::exists(where / "injected-cr.svg"));
  }

  HostProgram replay({"run", scenario.string()}, folder.path());
  replay.finish(600.0);
  EXPECT_EQ(replay.exit_code, 0) << replay.err();
}

// Only a plain file of a plan's size is read: /dev/zero would be read until memory ran out, a FIFO
// would wait for a writer for ever.
TEST(FlyCommand, OnlyAPlainFileOfAPlansSizeIsRead) {
  struct Case {
    std::string plan;
    std::string message;
  };
  const Case cases[] = {
      {"/dev/zero", "plan refused, nothing flown: /dev/zero: not a plain file"},
      {"FIFO.PLN", "plan refused, nothing flown: FIFO.PLN: not a plain file"},
      {"HUGE.PLN", "plan refused, nothing flown: HUGE.PLN: the plan file is larger than 512 KiB"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    ASSERT_EQ(mkfifo((folder / "FIFO.PLN").c_str(), 0600), 0);
    write_text(folder / "HUGE.PLN", read_text(EXAMPLE_PLAN) + std::string(600 * 1024, ' '));
    HostProgram host({"fly", c.plan, "--output", "out"}, folder.path());
    host.finish(60.0);
    EXPECT_EQ(host.exit_code, 2) << c.plan;
    EXPECT_EQ(host.err().rfind(c.message, 0), 0u) << host.err();
    expect_nothing_made(host, folder / "out", c.plan);
  }
}

// "...PLN" has the stem "..": its outputs' folder would be fly-output/.., the current folder.
TEST(FlyCommand, APlanNameThatGivesNoFolderNeedsAnOutputFolder) {
  for (const std::string name : {"...PLN", "..PLN"}) {
    TempFolder folder;
    fs::copy_file(EXAMPLE_PLAN, folder / name);
    HostProgram host({"fly", name}, folder.path());
    host.finish(120.0);
    EXPECT_EQ(host.exit_code, 2) << name;
    EXPECT_NE(host.err().find("\"" + name + "\" gives the output folder no name"),
              std::string::npos)
        << host.err();
    expect_nothing_made(host, folder / "fly-output", name);
    EXPECT_FALSE(fs::exists(folder / "track.csv")) << name;
  }
}

// A plan from an old planner: idents in Latin-1, one of them with a terminal's escape sequences
// (set the window title, ring the bell). The leg table shows the letters as text and no control
// character reaches the terminal.
TEST(FlyCommand, TheLegTableShowsIdentsAsTextAndNoControlCharacters) {
  TempFolder folder;
  write_text(folder / "OLD.PLN",
             "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<SimBase.Document>\n"
             "<FlightPlan.FlightPlan>\n<CruisingAlt>5000</CruisingAlt>\n"
             "<ATCWaypoint id=\"\x1B]0;owned\x07\x1B[2J\">\n"
             "    <WorldPosition>N52\xB0 42' 6.90\",W8\xB0 55' 28.70\",+000046.00"
             "</WorldPosition>\n</ATCWaypoint>\n"
             "<ATCWaypoint id=\"\xC9"
             "CHO\">\n"
             "    <WorldPosition>N52\xB0 42' 0.00\",W8\xB0 25' 0.00\",+005000.00"
             "</WorldPosition>\n</ATCWaypoint>\n</FlightPlan.FlightPlan>\n</SimBase.Document>\n");
  HostProgram fly({"fly", "OLD.PLN", "--output", "out", "--quiet"}, folder.path());
  fly.finish(600.0);
  ASSERT_EQ(fly.exit_code, 0) << fly.out() << fly.err();
  const std::string shown = fly.out() + fly.err();
  EXPECT_NE(shown.find(" 01-02  ?]0;owne  \xC3\x89"
                       "CHO    "),
            std::string::npos)
      << shown;
  for (const char c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 || c == '\n') << "byte " << int{byte} << " printed";
  }
}

}  // namespace
}  // namespace host_test
