// The folder a run's module works in, made the process's current folder for the run (the
// module opens its files by relative name). A temporary folder is removed afterwards unless
// kept; a folder the user named is never removed.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace host {

// The lock file every ins-host that works in a folder holds there.
inline constexpr const char* WORKING_FOLDER_LOCK_NAME = "ins-host.lock";

// Thrown when another process holds the folder; what() names it.
class FolderInUse : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One ins-host per working folder: two that share one (two `serve`, or `serve` and `link`)
// would each rewrite the waypoint file from their own module's view of it, one INSERT undoing
// the other's. The folder is held by an advisory lock on its lock file, which says which process
// holds it; the lock ends with the process, however it ends, so a crash leaves no stale lock.
// Held twice in one process (`link` holds its folder before it reaches FlightGear, then its
// panel server holds it again), the folder is held once, until both let it go.
class WorkingFolderLock {
 public:
  // Creates the folder if need be. Throws FolderInUse when another process holds it,
  // std::runtime_error naming the folder when it cannot be made, and
  // std::filesystem::filesystem_error when the lock file cannot be made or locked.
  explicit WorkingFolderLock(const std::filesystem::path& folder);

  struct Held;  // the lock itself, shared by the holds of one folder in this process

 private:
  std::shared_ptr<Held> held_;
};

class WorkingFolder {
 public:
  // `chosen`: use (and create if need be) that folder, held against other processes for as long
  // as this object lives; else make a fresh temporary one. Throws FolderInUse when another
  // process holds the chosen folder, std::filesystem::filesystem_error when the folder cannot
  // be made or entered.
  WorkingFolder(const std::optional<std::filesystem::path>& chosen, bool keep);
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  bool removed_afterwards() const { return remove_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
  bool remove_ = false;
  std::optional<WorkingFolderLock> lock_;
};

// True when `resolved` (a path with its links and ".." already resolved) lies inside `folder`,
// below it rather than the folder itself; `folder`'s own links are resolved here.
bool lies_within(const std::filesystem::path& resolved, const std::filesystem::path& folder);

}  // namespace host
