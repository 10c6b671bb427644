// The folder a run's module works in, made the process's current folder for the run (the
// module opens its files by relative name). A temporary folder is removed afterwards unless
// kept; a folder the user named is never removed.
#pragma once

#include <filesystem>
#include <optional>

namespace host {

class WorkingFolder {
 public:
  // `chosen`: use (and create if need be) that folder; else make a fresh temporary one.
  // Throws std::filesystem::filesystem_error when the folder cannot be made or entered.
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
};

// True when `resolved` (a path with its links and ".." already resolved) lies inside `folder`,
// below it rather than the folder itself; `folder`'s own links are resolved here.
bool lies_within(const std::filesystem::path& resolved, const std::filesystem::path& folder);

}  // namespace host
