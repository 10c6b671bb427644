// Two writers and a reader on one working folder, as real processes: two copies of the module
// (two simulators, two hosts, or one simulator that loads the module twice) each make 300 of
// INSERT's rewrites through the store's real code while this process reads the waypoint file
// continually, as the alignment check does on every frame. No reader may ever find the file
// empty, missing, short or torn, and no rewrite may fail: a missing waypoint 0 at ALIGN throws
// the alignment away.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "store/waypoint_file.h"
#include "tests/unit/test_support.h"

#if !defined(_WIN32)
extern char** environ;
#endif

namespace {

constexpr int REWRITES_PER_WRITER = 300;

// A writer process, started in the current folder (the test's working folder).
class Rewriter {
 public:
  Rewriter(int count, int tag) {
    std::string count_text = std::to_string(count), tag_text = std::to_string(tag);
#if defined(_WIN32)
    std::string command =
        std::string("\"") + WAYPOINT_REWRITER + "\" " + count_text + " " + tag_text;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_) != 0;
    if (started_) CloseHandle(process_.hThread);
#else
    char* arguments[] = {const_cast<char*>(WAYPOINT_REWRITER), count_text.data(), tag_text.data(),
                         nullptr};
    started_ = posix_spawn(&pid_, WAYPOINT_REWRITER, nullptr, nullptr, arguments, environ) == 0;
#endif
  }
  ~Rewriter() {
    wait();
  }
  Rewriter(const Rewriter&) = delete;
  Rewriter& operator=(const Rewriter&) = delete;

  bool started() const {
    return started_;
  }

  // True once the process has ended (with status 0 in `ok`).
  bool ended() {
    if (!started_ || done_) return true;
#if defined(_WIN32)
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) return false;
    DWORD code = 1;
    GetExitCodeProcess(process_.hProcess, &code);
    CloseHandle(process_.hProcess);
    ok_ = code == 0;
#else
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    ok_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
    done_ = true;
    return true;
  }
  void wait() {
    while (!ended()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  bool ok() const {
    return ok_;
  }

 private:
  bool started_ = false;
  bool done_ = false;
  bool ok_ = false;
#if defined(_WIN32)
  PROCESS_INFORMATION process_{};
#else
  pid_t pid_ = -1;
#endif
};

// The whole file as the module writes it: lines 0..99 in order, each "N LAT LON" with eight
// decimals, the last one ended.
bool is_whole_waypoint_file(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  int expected = 0;
  while (std::getline(lines, line)) {
    int number = -1, consumed = 0;
    double lat = 0.0, lon = 0.0;
    if (std::sscanf(line.c_str(), "%d %lf %lf%n", &number, &lat, &lon, &consumed) != 3 ||
        number != expected || consumed != static_cast<int>(line.size())) {
      return false;
    }
    ++expected;
  }
  return expected == WAYPOINT_TABLE_SIZE && text.back() == '\n';
}

struct Figures {
  long reads = 0;         // reads of the raw file
  long busy = 0;          // opens refused for a moment (Windows, while the file is replaced)
  long empty = 0;         // found missing or empty
  long torn = 0;          // found with anything but the 100 whole lines
  long zero_missing = 0;  // the store's own reader found no waypoint 0 (the alignment's check)
  std::set<std::string> contents;  // the distinct whole files seen
};

// The file's bytes. On Windows an open racing a replace is refused for a moment (a sharing
// violation), which is not an empty file: the open is tried again, as the store's reader does.
// On POSIX a reader finds the old file or the new one, so every open must succeed.
std::string read_whole(const std::filesystem::path& path, Figures& figures) {
  std::ifstream in(path, std::ios::binary);
#if defined(_WIN32)
  for (int attempt = 0; !in.is_open() && attempt < 1000; ++attempt) {
    ++figures.busy;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    in.open(path, std::ios::binary);
  }
#else
  (void)figures;
#endif
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void read_once(const test_support::TempWorkdir& workdir, Figures& figures) {
  const std::string text = read_whole(workdir.path() / WAYPOINT_FILE_NAME, figures);
  ++figures.reads;
  if (text.empty()) {
    ++figures.empty;
  } else if (!is_whole_waypoint_file(text)) {
    ++figures.torn;
  } else if (figures.contents.size() < 1000) {
    figures.contents.insert(text);
  }
  double lat = NAN, lon = NAN;
  int32_t last = -1;
  if (!load_waypoint(0, lat, lon, last) || last != WAYPOINT_TABLE_SIZE - 1) ++figures.zero_missing;
}

// The rewrites a writer made and those that failed, from its result file.
std::pair<int, int> writer_result(const test_support::TempWorkdir& workdir, int tag) {
  std::ifstream in(workdir.path() / ("rewriter-" + std::to_string(tag) + ".result"));
  int made = -1, failed = -1;
  in >> made >> failed;
  return {made, failed};
}

TEST(WaypointRewriteRace, TwoWritersNeverLeaveAReaderAnEmptyOrTornFileNorFail) {
  test_support::TempWorkdir workdir;
  WaypointLine start[WAYPOINT_TABLE_SIZE];
  for (int i = 0; i < WAYPOINT_TABLE_SIZE; ++i) start[i] = {0.01 * i, -0.01 * i};
  ASSERT_TRUE(write_waypoint_file(start, WAYPOINT_TABLE_SIZE));

  Figures figures;
  {
    Rewriter first(REWRITES_PER_WRITER, 1), second(REWRITES_PER_WRITER, 2);
    ASSERT_TRUE(first.started() && second.started());
    workdir.write("START", "");
    while (!(first.ended() && second.ended())) read_once(workdir, figures);
    EXPECT_TRUE(first.ok());
    EXPECT_TRUE(second.ok());
  }
  read_once(workdir, figures);
  const auto [made_1, failed_1] = writer_result(workdir, 1);
  const auto [made_2, failed_2] = writer_result(workdir, 2);
  std::cout << "reads " << figures.reads << " (opens refused for a moment " << figures.busy
            << "), empty " << figures.empty << ", torn " << figures.torn
            << ", waypoint 0 not found " << figures.zero_missing << "; rewrites " << made_1 + made_2
            << ", failed " << failed_1 + failed_2 << "; distinct files seen "
            << figures.contents.size() << std::endl;
  // The reader read while the writers wrote: it saw the file change many times.
  EXPECT_GT(figures.contents.size(), 10U);
  EXPECT_EQ(made_1, REWRITES_PER_WRITER);
  EXPECT_EQ(made_2, REWRITES_PER_WRITER);
  EXPECT_EQ(failed_1, 0);
  EXPECT_EQ(failed_2, 0);
  EXPECT_EQ(figures.empty, 0);
  EXPECT_EQ(figures.torn, 0);
  EXPECT_EQ(figures.zero_missing, 0);
}

}  // namespace
