#include "host/working_folder.h"

#include <stdlib.h>

#include <string>
#include <system_error>

namespace host {

WorkingFolder::WorkingFolder(const std::optional<std::filesystem::path>& chosen, bool keep)
    : previous_(std::filesystem::current_path()) {
  if (chosen) {
    path_ = std::filesystem::absolute(*chosen);
    std::filesystem::create_directories(path_);
  } else {
    std::string pattern = (std::filesystem::temp_directory_path() / "ins-host-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::filesystem::filesystem_error("cannot make a temporary working folder", pattern,
                                              std::error_code(errno, std::generic_category()));
    }
    path_ = pattern;
    remove_ = !keep;
  }
  std::filesystem::current_path(path_);
}

WorkingFolder::~WorkingFolder() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  if (remove_) std::filesystem::remove_all(path_, ignored);
}

}  // namespace host
