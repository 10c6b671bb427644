// ins-host as a user runs it, a child process on real files: it stops at once on Ctrl-C and
// SIGTERM after the sound library started, its memory stays flat over a long wait, and a
// scenario reads only the files that travel with it and writes only in its working folder.
#include "host_program.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

namespace host_test {
namespace {

namespace fs = std::filesystem;

bool is_empty_folder(const fs::path& folder) {
  return fs::is_directory(folder) && fs::is_empty(folder);
}

TEST(HostProgram, StopsAtOnceOnCtrlCOrSigtermAfterTheSoundLibraryStarted) {
  for (const auto& [signal_number, name] :
       {std::pair{SIGINT, std::string("SIGINT")}, std::pair{SIGTERM, std::string("SIGTERM")}}) {
    TempFolder folder;
    write_text(folder / "long.scn",
               "set battery 1\n"
               "click ALIGN CW  # the knob's click plays a sound: SDL's audio starts\n"
               "wait 100h\n");
    HostProgram host({"run", "long.scn"}, folder.path());
    ASSERT_TRUE(host.has_thread("SDLAudio", 60.0)) << "the sound library's audio never started";
    kill(host.pid(), signal_number);
    host.finish(10.0);
    EXPECT_FALSE(host.timed_out) << name << " did not stop the host";
    EXPECT_EQ(host.ended_by_signal, signal_number) << name << ": exit " << host.exit_code;
    EXPECT_NE(host.err().find("long.scn:3: stopped by " + name), std::string::npos) << host.err();
    EXPECT_TRUE(is_empty_folder(folder / "tmp")) << "the working folder was left behind";
  }
}

// HOLD sends the steering event every frame; a long wait must not keep them all.
TEST(HostProgram, MemoryStaysFlatOverALongWait) {
  auto scenario = [](const std::string& wait) {
    return "fps 18\n"
           "set lat 52.0\nset lon -10.0\nset heading 270\nset battery 1\nset main_power 1\n"
           "file WAYPOINTS.DAT\n0 0.90757121 0.17453293\n1 0.90757121 0.26179939\nend\n"
           "click ALIGN CW\nframes 1\nclick ALIGN CW\nwait 2m\nclick ALIGN CW\n"
           "click INS WYPT_CHG\nset ap_master 1\nset ap_heading 1\nclick INS HOLD\nwait 1s\n"
           "expect visible INS hold_lit yes\n"
           "wait " +
           wait +
           "\n"
           "expect visible INS hold_lit yes\n"
           "expect event 0x101FA 271\n";
  };
  long peak_kb[2] = {0, 0};
  const std::string waits[2] = {"1h", "6h"};  // 64 800 and 388 800 steering events
  for (int i = 0; i < 2; ++i) {
    TempFolder folder;
    write_text(folder / "hold.scn", scenario(waits[i]));
    HostProgram host({"run", "hold.scn"}, folder.path());
    host.finish(600.0);
    ASSERT_EQ(host.exit_code, 0) << host.err();
    peak_kb[i] = host.peak_rss_kb;
  }
  // Kept, the 324 000 more events of the longer wait alone would take about 4 MB.
  EXPECT_LT(peak_kb[1] - peak_kb[0], 1024)
      << "peak memory " << peak_kb[0] << " KB over 1 h, " << peak_kb[1] << " KB over 6 h";
}

TEST(HostProgram, CopyReadsOnlyBesideTheScenarioOrInTheWorkingFolder) {
  TempFolder folder;
  write_text(folder / "scenario/plans/A.TXT", "beside\n");
  write_text(folder / "work/W.TXT", "in the working folder\n");
  write_text(folder / "elsewhere/SECRET.TXT", "secret\n");
  fs::create_symlink(folder / "elsewhere/SECRET.TXT", folder / "scenario/LINK.TXT");
  const std::string work = (folder / "work").string();

  write_text(folder / "scenario/good.scn",
             "copy plans/A.TXT A.TXT\n"
             "expect file A.TXT line 0 \"beside\"\n"
             "copy \"" +
                 work +
                 "/W.TXT\" W2.TXT\n"
                 "expect file W2.TXT line 0 \"in the working folder\"\n");
  HostProgram good({"run", "scenario/good.scn", "--workdir", work}, folder.path());
  good.finish(60.0);
  EXPECT_EQ(good.exit_code, 0) << good.err();

  // A link beside the scenario that leads elsewhere is reading elsewhere.
  write_text(folder / "scenario/link.scn", "copy LINK.TXT S.TXT\n");
  HostProgram link({"run", "scenario/link.scn", "--workdir", work}, folder.path());
  link.finish(60.0);
  EXPECT_EQ(link.exit_code, 2);
  EXPECT_NE(link.err().find("link.scn:1: copy reads only files beside the scenario"),
            std::string::npos)
      << link.err();
  EXPECT_FALSE(fs::exists(folder / "work/S.TXT"));
}

// Links planted in the working folder: `file` and `copy` never write through one to a file
// elsewhere (a link in the file's own place is replaced, a folder on the way that leads out is
// refused), and `expect file` reads nothing out of the folder.
TEST(HostProgram, FileCommandsStayInTheWorkingFolderThroughLinks) {
  struct Case {
    std::string scenario;
    int exit_code;
    std::string message;  // in the error stream; empty when the run passes
  };
  const Case cases[] = {
      {"file OUT/X.TXT\nwritten\nend\n", 2,
       "t.scn:1: cannot write \"OUT/X.TXT\": a link on the way leads out of the working folder"},
      {"file VICTIM.TXT\nwritten\nend\nexpect file VICTIM.TXT line 0 \"written\"\n", 0, ""},
      {"file DANGLING.TXT\nwritten\nend\nexpect file DANGLING.TXT line 0 \"written\"\n", 0, ""},
      {"copy A.TXT DANGLING.TXT\nexpect file DANGLING.TXT line 0 \"beside\"\n", 0, ""},
      {"copy A.TXT OUT/A.TXT\n", 2,
       "t.scn:1: cannot write \"OUT/A.TXT\": a link on the way leads out of the working folder"},
      {"expect file VICTIM.TXT line 0 \"secret\"\n", 2,
       "t.scn:1: expect file \"VICTIM.TXT\": a link leads out of the working folder"},
      {"expect file OUT/SECRET.TXT lines 1\n", 2,
       "t.scn:1: expect file \"OUT/SECRET.TXT\": a link leads out of the working folder"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const fs::path work = folder / "work";
    const fs::path elsewhere = folder / "elsewhere";
    write_text(elsewhere / "SECRET.TXT", "secret\n");
    write_text(folder / "A.TXT", "beside\n");
    fs::create_directories(work);
    fs::create_directory_symlink(elsewhere, work / "OUT");
    fs::create_symlink(elsewhere / "SECRET.TXT", work / "VICTIM.TXT");
    fs::create_symlink(elsewhere / "NEW.TXT", work / "DANGLING.TXT");
    write_text(folder / "t.scn", c.scenario);
    HostProgram host({"run", "t.scn", "--workdir", work.string()}, folder.path());
    host.finish(60.0);
    EXPECT_EQ(host.exit_code, c.exit_code) << c.scenario << host.err();
    if (!c.message.empty()) {
      EXPECT_NE(host.err().find(c.message), std::string::npos) << host.err();
    }
    EXPECT_EQ(read_text(elsewhere / "SECRET.TXT"), "secret\n") << c.scenario;
    EXPECT_FALSE(fs::exists(elsewhere / "X.TXT")) << c.scenario;
    EXPECT_FALSE(fs::exists(elsewhere / "A.TXT")) << c.scenario;
    EXPECT_FALSE(fs::exists(elsewhere / "NEW.TXT")) << c.scenario;
  }
}

}  // namespace
}  // namespace host_test
