#include "host/web/plan_import_check.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "host/platform/checked_files.h"
#include "host/platform/platform.h"

extern char** environ;

namespace host::web {

namespace {

namespace fs = std::filesystem;
using CheckClock = std::chrono::steady_clock;

// What `check-plan` says on its error stream before the refusal.
constexpr std::string_view REFUSED = "plan refused: ";
// More than any refusal; the rest of a runaway report is not kept.
constexpr std::size_t MAX_REPORT_BYTES = 16 * 1024;

// Each check loads a module and simulates seconds of its time; a burst of plan loads takes
// turns rather than start a process each at once.
std::mutex one_check_at_a_time;

// A temporary folder, removed with what is in it however the check ends.
class CheckFolder {
 public:
  CheckFolder() : path_(make_temporary_folder("ins-plan-check-")) {}
  ~CheckFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  CheckFolder(const CheckFolder&) = delete;
  CheckFolder& operator=(const CheckFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The program started with its error stream into a pipe (its standard output discarded), its
// signals as a fresh program's: the server blocks SIGINT and SIGTERM in its threads, and a
// check must stay stoppable.
pid_t start_program(const std::vector<std::string>& args, int error_pipe[2]) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, error_pipe[1], STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    throw PlanCheckError("the INS's import could not be tried: cannot start " + args[0] + ": " +
                         std::strerror(failed));
  }
  return pid;
}

// Reads what the program says until it closes its error stream or `deadline` passes.
std::string read_report(int fd, CheckClock::time_point deadline) {
  std::string report;
  char chunk[4096];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - CheckClock::now());
    if (left.count() <= 0) break;
    pollfd waiting{fd, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (report.size() < MAX_REPORT_BYTES) report.append(chunk, static_cast<std::size_t>(got));
  }
  return report;
}

// The program's exit status, once it ended by `deadline`; past that it is killed, and -1.
int wait_for_exit(pid_t pid, CheckClock::time_point deadline) {
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 && errno != EINTR) return -1;
    if (CheckClock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string without_line_end(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

std::optional<std::string> ins_import_refusal_of(const std::string& label, const std::string& text,
                                                 const fs::path& module, int fps) {
  std::lock_guard turn(one_check_at_a_time);
  const CheckFolder folder;
  const fs::path plan_file = folder.path() / "plan.PLN";
  write_output_file(plan_file, text);
  // (Options as --name=VALUE, so a label that starts with a dash is still the label.)
  const std::vector<std::string> args = {(program_folder() / "ins-host").string(),
                                         "check-plan",
                                         plan_file.string(),
                                         "--label=" + label,
                                         "--module=" + module.string(),
                                         "--fps=" + std::to_string(fps)};
  int error_pipe[2];
  if (::pipe2(error_pipe, O_CLOEXEC) != 0) {
    throw PlanCheckError(std::string("the INS's import could not be tried: ") +
                         std::strerror(errno));
  }
  pid_t pid = -1;
  try {
    pid = start_program(args, error_pipe);
  } catch (...) {
    ::close(error_pipe[0]);
    ::close(error_pipe[1]);
    throw;
  }
  ::close(error_pipe[1]);
  const auto deadline = CheckClock::now() + PLAN_CHECK_TIMEOUT;
  const std::string report = without_line_end(read_report(error_pipe[0], deadline));
  ::close(error_pipe[0]);
  const int status = wait_for_exit(pid, deadline);
  if (status == 0) return std::nullopt;
  if (status == 2 && report.rfind(REFUSED, 0) == 0) return report.substr(REFUSED.size());
  if (status < 0) {
    throw PlanCheckError("the INS's import of the plan did not end within " +
                         std::to_string(PLAN_CHECK_TIMEOUT.count()) + " s");
  }
  throw PlanCheckError("the INS's import could not be tried: " + report);
}

std::optional<RequestError> refuse_unless_imported(const std::string& name, const std::string& text,
                                                   const fs::path& module, int fps) {
  try {
    if (auto refusal = ins_import_refusal_of(name, text, module, fps)) {
      return RequestError{422, "plan refused, nothing changed: " + *refusal};
    }
  } catch (const std::exception& error) {
    return RequestError{503, std::string("plan not loaded, nothing changed: ") + error.what()};
  }
  return std::nullopt;
}

}  // namespace host::web
