#include "host/platform/working_folder.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>

#include "host/platform/platform.h"

namespace host {

struct WorkingFolderLock::Held {
  std::intptr_t handle = -1;
  ~Held() { unlock_file(handle); }
};

namespace {

// The folders this process holds, by their resolved path, so that holding one again shares the
// lock (a second lock of the same file by this process would be refused like another's).
std::mutex held_folders_mutex;
std::map<std::filesystem::path, std::weak_ptr<WorkingFolderLock::Held>> held_folders;

std::string in_use_message(const std::filesystem::path& folder, std::string holder) {
  while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r')) holder.pop_back();
  if (holder.empty()) holder = "it has not said which yet";
  return "the working folder " + folder.string() + " is in use by another ins-host (" + holder +
         "); one ins-host works in a folder at a time: stop that one, or choose another "
         "--workdir";
}

}  // namespace

WorkingFolderLock::WorkingFolderLock(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    throw std::runtime_error("cannot make the working folder " +
                             std::filesystem::absolute(folder).string() + ": " + error.message() +
                             "; choose another --workdir, in a folder you may write to");
  }
  const std::filesystem::path resolved = std::filesystem::canonical(folder);
  const std::lock_guard<std::mutex> guard(held_folders_mutex);
  std::weak_ptr<Held>& entry = held_folders[resolved];
  held_ = entry.lock();
  if (held_) return;
  std::string holder;
  const std::intptr_t handle =
      lock_file(resolved / WORKING_FOLDER_LOCK_NAME, own_process_description() + "\n", holder);
  if (handle == -1) {
    held_folders.erase(resolved);
    throw FolderInUse(in_use_message(resolved, holder));
  }
  held_ = std::make_shared<Held>();
  held_->handle = handle;
  entry = held_;
}

WorkingFolder::WorkingFolder(const std::optional<std::filesystem::path>& chosen, bool keep)
    : previous_(std::filesystem::current_path()) {
  if (chosen) {
    path_ = std::filesystem::absolute(*chosen);
    lock_.emplace(path_);
  } else {
    path_ = make_temporary_folder("ins-host-");
    remove_ = !keep;
  }
  std::filesystem::current_path(path_);
}

WorkingFolder::~WorkingFolder() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  if (remove_) std::filesystem::remove_all(path_, ignored);
}

bool lies_within(const std::filesystem::path& resolved, const std::filesystem::path& folder) {
  std::error_code error;
  const std::filesystem::path real_folder = std::filesystem::canonical(folder, error);
  if (error || real_folder.empty()) return false;
  auto [folder_end, file_at] =
      std::mismatch(real_folder.begin(), real_folder.end(), resolved.begin(), resolved.end());
  return folder_end == real_folder.end() && file_at != resolved.end();
}

}  // namespace host
