// The real ins-host program run as a child process, as a user runs it: its exit status or the
// signal that ended it, what it printed, and its peak memory (from the kernel's own account of
// the child). A child that outlives its time is killed, and the test says so.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace host_test {

// A fresh temporary folder, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ins-host-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline void write_text(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

inline std::string read_text(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class HostProgram {
 public:
  // Starts `ins-host ARGS...` in `folder` (its current folder), printing into files there, with
  // its temporary files (the working folder of a run) in `folder`/tmp.
  // With `file_size_limit` bytes, the program runs under that limit (as under `ulimit -f`).
  HostProgram(const std::vector<std::string>& args, const std::filesystem::path& folder,
              rlim_t file_size_limit = RLIM_INFINITY)
      : out_(folder / "host.stdout"), err_(folder / "host.stderr") {
    std::filesystem::create_directories(folder / "tmp");
    std::vector<std::string> argv_text = {INS_HOST_PROGRAM};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("cannot start ins-host");
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (std::string& arg : argv_text) argv.push_back(arg.data());
      argv.push_back(nullptr);
      const bool ready = chdir(folder.c_str()) == 0 &&
                         freopen(out_.c_str(), "w", stdout) != nullptr &&
                         freopen(err_.c_str(), "w", stderr) != nullptr;
      setenv("TMPDIR", (folder / "tmp").c_str(), 1);
      // The test's own handling of signals is not the program's.
      signal(SIGINT, SIG_DFL);
      signal(SIGTERM, SIG_DFL);
      const rlimit file_size{file_size_limit, file_size_limit};
      if (file_size_limit != RLIM_INFINITY) setrlimit(RLIMIT_FSIZE, &file_size);
      if (ready) execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~HostProgram() {
    if (running()) {
      kill(pid_, SIGKILL);
      finish(10.0);
    }
  }
  HostProgram(const HostProgram&) = delete;
  HostProgram& operator=(const HostProgram&) = delete;

  pid_t pid() const { return pid_; }
  bool running() const { return !finished_; }

  // Waits up to `timeout_s` for the program to end; past that it is killed and `timed_out` set.
  void finish(double timeout_s) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(timeout_s * 1000));
    while (!finished_) {
      int status = 0;
      rusage usage{};
      const pid_t done = wait4(pid_, &status, WNOHANG, &usage);
      if (done == pid_) {
        finished_ = true;
        exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ended_by_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        peak_rss_kb = usage.ru_maxrss;
        break;
      }
      if (std::chrono::steady_clock::now() > deadline && !timed_out) {
        timed_out = true;
        kill(pid_, SIGKILL);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // True once one of the program's threads has a name starting with `prefix` (SDL names its
  // audio thread "SDLAudioP..."), waiting up to `timeout_s`.
  bool has_thread(const std::string& prefix, double timeout_s) const {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(timeout_s * 1000));
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid_) + "/task";
    while (std::chrono::steady_clock::now() < deadline) {
      std::error_code error;
      for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        if (read_text(task.path() / "comm").rfind(prefix, 0) == 0) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::string out() const { return read_text(out_); }
  std::string err() const { return read_text(err_); }

  int exit_code = -1;
  int ended_by_signal = 0;
  long peak_rss_kb = 0;
  bool timed_out = false;

 private:
  std::filesystem::path out_, err_;
  pid_t pid_ = -1;
  bool finished_ = false;
};

}  // namespace host_test
