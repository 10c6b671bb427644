// The files `ins-host` reads because a user named them and the folders it writes its outputs
// into, with real devices, FIFOs, links and processes: what is not a plain file of a bounded
// size is refused before a byte is read, an output never goes through a link planted beside it,
// and a plan is called loaded by `serve` and `link` only when the INS stores it as the host
// reads it, with `fly`'s own words when it does not.
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

// Far more than a refusal takes, and far less than reading /dev/zero for it would fill.
constexpr double REFUSAL_TIMEOUT_S = 10.0;
constexpr long BOUNDED_PEAK_KB = 256 * 1024;

// The example plan with a second <WorldPosition> in its third waypoint: the host reads the
// waypoint's first, the INS takes each as a waypoint of its own, so every later number shifts.
std::string plan_with_two_positions() {
  std::string text = read_text(EXAMPLE_PLAN);
  const std::string third =
      "<WorldPosition>N58\xC2\xB0 0' 0.00\",W20\xC2\xB0 0' 0.00\",+035000.00"
      "</WorldPosition>";
  const std::size_t at = text.find(third);
  if (at == std::string::npos) throw std::runtime_error("the example plan changed");
  text.insert(at + third.size(),
              "\n            <WorldPosition>N59\xC2\xB0 0' 0.00\",W21\xC2\xB0 0' 0.00\","
              "+035000.00</WorldPosition>");
  return text;
}

TEST(OutsideFiles, RunReadsOnlyAPlainScenarioOfBoundedSize) {
  struct Case {
    std::string scenario;
    std::string message;  // the whole error stream
  };
  const Case cases[] = {
      {"/dev/zero",
       "/dev/zero: not a plain file (a device); a scenario is a file of at most 4096 KiB\n"},
      {"zero.scn",
       "zero.scn: not a plain file (a device); a scenario is a file of at most 4096 KiB\n"},
      {"fifo.scn",
       "fifo.scn: not a plain file (a FIFO); a scenario is a file of at most 4096 KiB\n"},
      {"folder.scn",
       "folder.scn: not a plain file (a folder); a scenario is a file of at most 4096 KiB\n"},
      {"huge.scn", "huge.scn: the scenario file is larger than 4096 KiB\n"},
      {"missing.scn", "missing.scn: cannot read the scenario file: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    fs::create_symlink("/dev/zero", folder / "zero.scn");
    ASSERT_EQ(mkfifo((folder / "fifo.scn").c_str(), 0600), 0);
    fs::create_directory(folder / "folder.scn");
    write_text(folder / "huge.scn", "wait 1s\n");
    fs::resize_file(folder / "huge.scn", 5 * 1024 * 1024);  // sparse: takes no room
    HostProgram host({"run", c.scenario}, folder.path());
    host.finish(REFUSAL_TIMEOUT_S);
    EXPECT_FALSE(host.timed_out) << c.scenario << ": still reading (or waiting) when stopped";
    EXPECT_EQ(host.exit_code, 2) << c.scenario;
    EXPECT_EQ(host.err(), c.message);
    EXPECT_LT(host.peak_rss_kb, BOUNDED_PEAK_KB) << c.scenario;
  }
}

// Files `run` hands to others by name: a trace to a stream, a module to the loader. Either would
// wait for ever on a FIFO's other end; both are refused by kind at once.
TEST(OutsideFiles, RunTracesToAndLoadsModulesFromPlainFilesOnly) {
  struct Case {
    std::vector<std::string> options;
    std::string message;  // in the error stream, after the folder's path
  };
  const Case cases[] = {
      {{"--trace", "fifo"}, "/fifo: not a plain file (a FIFO)"},
      {{"--module", "fifo"}, "/fifo: not a plain file (a FIFO)"},
      {{"--module", "folder"}, "/folder: not a plain file (a folder)"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    fs::create_directory(folder / "folder");
    write_text(folder / "t.scn", "gauges INS\nwait 1s\n");
    std::vector<std::string> args = {"run", "t.scn"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    HostProgram host(args, folder.path());
    host.finish(REFUSAL_TIMEOUT_S);
    EXPECT_FALSE(host.timed_out) << c.options[0] << ": still waiting when stopped";
    EXPECT_EQ(host.exit_code, 2) << c.options[0];
    EXPECT_NE(host.err().find(c.message), std::string::npos) << host.err();
  }
}

// A link planted under an output's name: `fly` names it and writes nothing; its target, or the
// file a dangling one would make, stays as it was.
TEST(OutsideFiles, FlyRefusesALinkPlantedInItsOutputFolder) {
  struct Case {
    std::string output;  // the link's name in the output folder
    std::string target;  // where it points, in the folder `elsewhere`
  };
  const Case cases[] = {{"map.svg", "mine.txt"}, {"track.csv", "new.csv"}};
  for (const Case& c : cases) {
    TempFolder folder;
    write_text(folder / "elsewhere/mine.txt", "the user's own file\n");
    fs::create_directories(folder / "out");
    fs::create_symlink(folder / "elsewhere" / c.target, folder / "out" / c.output);
    HostProgram host({"fly", EXAMPLE_PLAN.string(), "--output", "out", "--quiet"}, folder.path());
    host.finish(600.0);
    EXPECT_EQ(host.exit_code, 2) << c.output << host.out();
    EXPECT_EQ(host.err(), "--output " + (folder / "out").string() + ": the folder holds " +
                              c.output +
                              ", a link; a flight writes only its own plain files there\n");
    EXPECT_TRUE(read_text(folder / "elsewhere/mine.txt") == "the user's own file\n") << c.output;
    EXPECT_FALSE(fs::exists(folder / "elsewhere/new.csv")) << c.output;
    EXPECT_FALSE(fs::exists(folder / "out" / "EINN-BIKF-oceanic.scn")) << c.output;
  }
}

// `run --output`: a snapshot replaces a link standing under its name, never writing through it.
TEST(OutsideFiles, RunSnapshotsReplaceALinkRatherThanWriteThroughIt) {
  TempFolder folder;
  write_text(folder / "elsewhere/mine.txt", "the user's own file\n");
  fs::create_directories(folder / "out");
  fs::create_symlink(folder / "elsewhere/mine.txt", folder / "out/shot.svg");
  fs::create_symlink(folder / "elsewhere/new.svg", folder / "out/dangling.svg");
  write_text(folder / "t.scn", "gauges INS\nwait 1s\nsnapshot shot.svg\nsnapshot dangling.svg\n");
  HostProgram host({"run", "t.scn", "--output", "out"}, folder.path());
  host.finish(120.0);
  EXPECT_EQ(host.exit_code, 0) << host.err();
  EXPECT_TRUE(read_text(folder / "elsewhere/mine.txt") == "the user's own file\n");
  EXPECT_FALSE(fs::exists(folder / "elsewhere/new.svg"));
  for (const char* shot : {"shot.svg", "dangling.svg"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "out" / shot))) << shot;
    EXPECT_EQ(read_text(folder / "out" / shot).rfind("<svg", 0), 0u) << shot;
  }
}

// Past a file-size limit (ulimit -f) each writer reports the write error, naming the file, and
// the program ends by its own exit status rather than by SIGXFSZ; an output it was replacing
// keeps its old content, with no temporary left beside it.
TEST(OutsideFiles, EveryWriterReportsAFileSizeLimitAndKeepsTheOldFile) {
  struct Case {
    std::vector<std::string> args;
    rlim_t limit_bytes;
    std::string kept;  // an earlier output the run replaces, in the folder `out`
    int exit_code;
    std::string what;  // in the error stream: "cannot write " WHAT FOLDER MESSAGE
    std::string message;
  };
  const Case cases[] = {
      {{"run", "long.scn", "--trace", "out/trace.jsonl"},
       100'000,
       "",
       2,
       "the trace ",
       "/out/trace.jsonl: File too large"},
      {{"run", "shot.scn", "--output", "out"},
       4096,
       "panel.png",
       2,
       "",
       "/out/panel.png: File too large"},
      {{"fly", EXAMPLE_PLAN.string(), "--output", "out", "--quiet"},
       200'000,
       "track.csv",
       1,
       "",
       "/out/track.csv: File too large"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    write_text(folder / "long.scn", "gauges INS\nwait 10m\n");
    write_text(folder / "shot.scn", "gauges INS\nwait 1s\nsnapshot panel.png\n");
    fs::create_directories(folder / "out");
    if (!c.kept.empty()) write_text(folder / "out" / c.kept, "the earlier output\n");
    HostProgram host(c.args, folder.path(), c.limit_bytes);
    host.finish(600.0);
    EXPECT_EQ(host.ended_by_signal, 0) << c.args[0] << " " << c.message;
    EXPECT_EQ(host.exit_code, c.exit_code) << c.message << host.err();
    EXPECT_NE(host.err().find("cannot write " + c.what + folder.path().string() + c.message),
              std::string::npos)
        << host.err();
    if (c.kept.empty()) continue;
    EXPECT_TRUE(read_text(folder / "out" / c.kept) == "the earlier output\n") << c.kept;
    EXPECT_FALSE(fs::exists(folder / "out" / (c.kept + ".partial"))) << c.kept;
  }
}

// The plan the host and the INS read differently: `fly` refuses it after the INS's import, and
// `serve` and `link` refuse it at start with the same words.
TEST(OutsideFiles, ServeAndLinkRefuseAPlanTheInsStoresDifferentlyAsFlyDoes) {
  TempFolder folder;
  write_text(folder / "TWO.PLN", plan_with_two_positions());
  HostProgram fly({"fly", "TWO.PLN", "--output", "out"}, folder.path());
  fly.finish(120.0);
  ASSERT_EQ(fly.exit_code, 2);
  const std::string flown = "plan refused, nothing flown: ";
  ASSERT_EQ(fly.err().rfind(flown + "TWO.PLN:39: the INS imported waypoint 04, 6122N", 0), 0u)
      << fly.err();
  const std::string refusal = fly.err().substr(flown.size() + std::string("TWO.PLN").size());

  const std::string plan_path = (folder / "TWO.PLN").string();
  const std::vector<std::vector<std::string>> commands = {
      {"serve", "--port", "0", "--plan", plan_path},
      {"link", "--flightgear", "127.0.0.1:9", "--port", "0", "--plan", plan_path},
  };
  for (const auto& args : commands) {
    HostProgram host(args, folder.path());
    host.finish(60.0);
    EXPECT_EQ(host.exit_code, 2) << args[0];
    EXPECT_NE(host.err().find("plan refused, nothing changed: " + plan_path + refusal),
              std::string::npos)
        << args[0] << ": " << host.err();
    EXPECT_EQ(host.out().find("INS panel at"), std::string::npos) << args[0];
  }
}

}  // namespace
}  // namespace host_test
