// ins-host's command line as a newcomer types it, wrong: each mistake is named in the message,
// with the command or option most likely meant, and nothing runs. And the folders a run reports
// are where its files are.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host_program.h"

namespace host_test {
namespace {

namespace fs = std::filesystem;

struct WrongCommandLine {
  std::vector<std::string> args;
  std::string message;  // what the program must print on stderr
};

TEST(CommandLine, AWrongWordIsNamedWithTheNearestRightOne) {
  const std::vector<WrongCommandLine> cases = {
      {{}, "a command is required: run, fly, serve, link, check-plan or check-lesson"},
      {{"serv"}, "unknown command \"serv\"; did you mean serve?"},
      {{"foo"},
       "unknown command \"foo\" (the commands: run, fly, serve, link, check-plan or check-lesson)"},
      {{"check-lesons"}, "unknown command \"check-lesons\"; did you mean check-lesson?"},
      {{"check-lesson", "--modul", "x.so", "a.lesson"},
       "check-lesson: unknown option --modul; did you mean --module?"},
      {{"--bogus"}, "unknown option --bogus (ins-host takes a command first: run, fly"},
      {{"--verison"}, "unknown option --verison; did you mean --version?"},
      {{"run", "--kep", "x.scn"}, "run: unknown option --kep; did you mean --keep?"},
      {{"run", "x.scn", "--output=out", "--trase", "t.json"},
       "run: unknown option --trase; did you mean --trace?"},
      {{"serve", "--prot", "80"}, "serve: unknown option --prot; did you mean --port?"},
      {{"fly", "--wnd", "270/40", "a.PLN"}, "fly: unknown option --wnd; did you mean --wind?"},
      {{"check-plan", "--fsp", "30", "a.PLN"},
       "check-plan: unknown option --fsp; did you mean --fps?"},
      {{"link", "--flightgear", "127.0.0.1:99999"},
       "--flightgear 127.0.0.1:99999: port 99999 is out of range: a TCP port is 1 to 65535"},
      {{"link", "--flightgear", "127.0.0.1:0"}, "port 0 is out of range"},
      {{"serve", "--port", "70000"}, "--port 70000: a TCP port is 0 to 65535"},
  };
  for (const WrongCommandLine& wrong : cases) {
    std::string typed = "ins-host";
    for (const std::string& arg : wrong.args) typed += " " + arg;
    TempFolder folder;
    HostProgram host(wrong.args, folder.path());
    host.finish(30.0);
    EXPECT_EQ(host.exit_code, 2) << typed;
    EXPECT_NE(host.err().find(wrong.message), std::string::npos)
        << typed << "\n  said: " << host.err() << "  expected: " << wrong.message;
  }
}

// A working folder that cannot be made is named, with what to do, in place of the library's
// raw "filesystem error".
TEST(CommandLine, AWorkingFolderThatCannotBeMadeIsNamed) {
  TempFolder folder;
  write_text(folder / "x.scn", "set battery 1\n");
  write_text(folder / "a-file", "not a folder\n");
  const std::string inside_a_file = (folder / "a-file" / "work").string();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"run", "x.scn", "--workdir", inside_a_file},
        std::vector<std::string>{"serve", "--port", "0", "--workdir", inside_a_file}}) {
    HostProgram host(args, folder.path());
    host.finish(60.0);
    EXPECT_EQ(host.exit_code, 2) << args[0];
    const std::string err = host.err();
    EXPECT_NE(err.find("cannot make the working folder " + inside_a_file + ": "), std::string::npos)
        << args[0] << ": " << err;
    EXPECT_NE(err.find("choose another --workdir"), std::string::npos) << args[0] << ": " << err;
    EXPECT_EQ(err.find("filesystem error"), std::string::npos) << args[0] << ": " << err;
  }
}

// `run --output out` writes its snapshot into ./out and says so, not a temporary folder that
// is gone once the run ends.
TEST(CommandLine, RunReportsTheOutputFolderItsSnapshotIsIn) {
  TempFolder folder;
  write_text(folder / "s.scn", "set battery 1\nsnapshot panel.svg\n");
  HostProgram host({"run", "s.scn", "--output", "out"}, folder.path());
  host.finish(120.0);
  ASSERT_EQ(host.exit_code, 0) << host.err();
  const fs::path out = fs::canonical(folder / "out");
  EXPECT_TRUE(fs::is_regular_file(out / "panel.svg"));
  EXPECT_NE(host.out().find("1 snapshot in " + out.string() + "\n"), std::string::npos)
      << host.out();
}

}  // namespace
}  // namespace host_test
