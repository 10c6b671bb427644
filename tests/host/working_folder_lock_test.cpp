// One ins-host per working folder, with the real program as a user runs it: while `serve` holds
// a folder, a second `serve`, a `link` or a `run` on it is refused at its start with the holder
// named, and the folder is free again once the holder ends, whether it stopped or was killed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/platform/working_folder.h"
#include "host_program.h"

namespace host_test {
namespace {

namespace fs = std::filesystem;

// True once `serve` printed its URL (it holds its folder from before it loads the module).
bool serving(const HostProgram& host) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (host.out().find("INS panel at http://") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::vector<std::string> serve_in(const fs::path& work) {
  return {"serve", "--port", "0", "--workdir", work.string()};
}

TEST(OneHostPerWorkingFolder, ASecondHostIsRefusedNamingTheHolderUntilTheHolderEnds) {
  TempFolder folder;
  const fs::path work = folder / "work";
  write_text(folder / "second" / "t.scn", "set battery 1\n");
  const std::string holder_named = "is in use by another ins-host (process ";

  HostProgram first(serve_in(work), folder / "first");
  ASSERT_TRUE(serving(first)) << first.err();
  const std::string held_by = holder_named + std::to_string(first.pid()) +
                              ": ins-host serve --port 0 --workdir " + work.string() + ")";
  struct Second {
    const char* what;
    std::vector<std::string> args;
    const char* says;
  };
  const Second seconds[] = {
      {"serve", serve_in(work), "cannot serve the panel: the working folder "},
      // (Nothing listens on port 1: a link that went on would report FlightGear missing.)
      {"link",
       {"link", "--flightgear", "127.0.0.1:1", "--port", "0", "--workdir", work.string()},
       "cannot link: the working folder "},
      {"run", {"run", "t.scn", "--workdir", work.string()}, "t.scn: the working folder "},
  };
  for (const Second& second : seconds) {
    SCOPED_TRACE(second.what);
    HostProgram refused(second.args, folder / "second");
    refused.finish(30.0);
    EXPECT_FALSE(refused.timed_out);
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_NE(refused.err().find(second.says), std::string::npos) << refused.err();
    EXPECT_NE(refused.err().find(held_by), std::string::npos) << refused.err();
    EXPECT_EQ(refused.err().find("FlightGear"), std::string::npos) << refused.err();
  }
  EXPECT_TRUE(first.running());

  // Stopped, the holder lets the folder go; killed, it does too (the lock is the process's).
  kill(first.pid(), SIGTERM);
  first.finish(10.0);
  EXPECT_EQ(first.exit_code, 0) << first.err();
  HostProgram after_stop(serve_in(work), folder / "after-stop");
  ASSERT_TRUE(serving(after_stop)) << after_stop.err();
  kill(after_stop.pid(), SIGKILL);
  after_stop.finish(10.0);
  EXPECT_EQ(after_stop.ended_by_signal, SIGKILL);
  HostProgram after_crash({"run", "t.scn", "--workdir", work.string()}, folder / "second");
  after_crash.finish(30.0);
  EXPECT_EQ(after_crash.exit_code, 0) << after_crash.err();
}

// `link` holds its folder before it reaches FlightGear and its panel server holds it again:
// within one process the second hold shares the first, and the lock file names this process.
TEST(OneHostPerWorkingFolder, HeldTwiceInOneProcessTheFolderIsHeldOnce) {
  TempFolder folder;
  const fs::path work = folder / "work";
  host::WorkingFolderLock first_hold(work);
  {
    host::WorkingFolder entered(work, false);
    EXPECT_EQ(fs::current_path(), fs::canonical(work));
  }
  EXPECT_EQ(read_text(work / host::WORKING_FOLDER_LOCK_NAME)
                .rfind("process " + std::to_string(getpid()) + ": ", 0),
            0U);
}

}  // namespace
}  // namespace host_test
