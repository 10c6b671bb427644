#include "host/platform/working_folder.h"

#include <algorithm>
#include <system_error>

#include "host/platform/platform.h"

namespace host {

WorkingFolder::WorkingFolder(const std::optional<std::filesystem::path>& chosen, bool keep)
    : previous_(std::filesystem::current_path()) {
  if (chosen) {
    path_ = std::filesystem::absolute(*chosen);
    std::filesystem::create_directories(path_);
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
