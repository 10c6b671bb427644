// Shared pieces of the unit tests: a fresh module per test, a temporary working folder, and a
// minimal panel-services table that answers host variables from a map and records key events.
#pragma once

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "boundary/gauge_api.h"
#include "module/gauge_tables.h"
#include "state/ins_state.h"

namespace test_support {

// Host variables by token id, and the key events the module sent, for the current test.
struct TestHost {
  std::map<uint32_t, double> vars;
  std::vector<std::pair<uint32_t, uint32_t>> events;
  int lookups = 0;
};

inline TestHost& test_host() {
  static TestHost host;
  return host;
}

inline void GAUGE_CALLBACK test_lookup_var(HostVar* var) {
  ++test_host().lookups;
  auto found = test_host().vars.find(var->token_id);
  if (found != test_host().vars.end()) var->value = found->second;
}

inline int32_t GAUGE_CALLBACK test_trigger_key_event(uint32_t event_id, uint32_t value) {
  test_host().events.emplace_back(event_id, value);
  return 0;
}

inline PanelServiceTable& test_panel_services() {
  static PanelServiceTable table = [] {
    PanelServiceTable t{};
    t.routines[PANEL_ROUTINE_LOOKUP_VAR] = reinterpret_cast<PanelService>(&test_lookup_var);
    t.routines[PANEL_ROUTINE_TRIGGER_KEY_EVENT] =
        reinterpret_cast<PanelService>(&test_trigger_key_event);
    return t;
  }();
  return table;
}

// Sound cues heard by the real sound library, through the listener it offers its host.
using ListenerFn = void (*)(const char* path, void* user);
using SetListenerFn = void (*)(ListenerFn listener, void* user);

inline std::vector<std::string>& cues_heard() {
  static std::vector<std::string> paths;
  return paths;
}

inline void record_cue(const char* path, void*) {
  cues_heard().emplace_back(path);
}

// A new, empty folder of our own under the temporary folder (on every platform: creating a
// folder fails when the name is taken, so a name is ours once its creation succeeds).
inline std::filesystem::path make_temp_folder(const std::string& prefix) {
  static std::mt19937_64 names{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(names() % 1000000000));
    if (std::filesystem::create_directory(candidate)) return candidate;
  }
  throw std::runtime_error("cannot make a temporary folder");
}

// A temporary working folder that the test runs in; the previous folder comes back afterwards.
class TempWorkdir {
 public:
  TempWorkdir() : previous_(std::filesystem::current_path()) {
    path_ = make_temp_folder("ins-test-");
    std::filesystem::current_path(path_);
  }
  ~TempWorkdir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempWorkdir(const TempWorkdir&) = delete;
  TempWorkdir& operator=(const TempWorkdir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  void write(const std::string& name, const std::string& content) const {
    std::ofstream(path_ / name, std::ios::binary) << content;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }
  // The names in the folder that start with `prefix` (the temporaries a writer left), sorted.
  std::vector<std::string> names_starting(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      const std::string name = entry.path().filename().string();
      if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// The POSIX side's odd files and child processes; Windows has neither FIFOs nor fork.
#if !defined(_WIN32)
// How a call run in a child process ended: with its exit code, or not within the time allowed
// (the child, blocked or spinning, was killed).
struct ChildOutcome {
  bool finished;
  int exit_code;
};

// Runs `body` in a forked child and gives it `seconds` to return; its result becomes the exit
// code. A call that blocks (opening a FIFO) or never ends (reading a device) would otherwise hang
// the whole test program.
inline ChildOutcome run_in_child(const std::function<int()>& body, double seconds) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) _exit(body());
  if (child < 0) return {false, -1};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return {false, -1};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return {WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// A folder outside the working folder, with a file that nothing of the waypoint store may
// touch.
class OutsideFolder {
 public:
  OutsideFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ins-outside-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    std::ofstream(path_ / "precious.txt") << "not a waypoint file\n";
  }
  ~OutsideFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string precious() const {
    std::ifstream in(path_ / "precious.txt");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path path_;
};

// What may stand where the store expects a regular file, and must be refused without blocking
// or spinning: a FIFO (its open blocks until a writer comes), devices whose reading never ends,
// and a file whose first read fails (/proc/self/mem).
struct OddFile {
  const char* name;
  void (*make)(const std::filesystem::path& path);
};

inline std::vector<OddFile> odd_files() {
  return {
      {"a FIFO", [](const std::filesystem::path& p) { mkfifo(p.c_str(), 0644); }},
      {"a link to /dev/zero",
       [](const std::filesystem::path& p) { std::filesystem::create_symlink("/dev/zero", p); }},
      {"a link to /dev/urandom",
       [](const std::filesystem::path& p) { std::filesystem::create_symlink("/dev/urandom", p); }},
      {"a link to a file that fails to read",
       [](const std::filesystem::path& p) {
         std::filesystem::create_symlink("/proc/self/mem", p);
       }},
  };
}
#endif

// Base fixture: a freshly loaded module connected to the test host, in a temporary folder.
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_module_for_tests();
    test_host() = TestHost{};
    ImportTable.panel_services.table = &test_panel_services();
  }
  void TearDown() override { ImportTable.panel_services.table = nullptr; }

  void set_var(uint32_t token, double value) { test_host().vars[token] = value; }
  const std::vector<std::pair<uint32_t, uint32_t>>& events() { return test_host().events; }

  TempWorkdir workdir;
};

}  // namespace test_support
