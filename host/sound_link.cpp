#include "host/sound_link.h"

#include <dlfcn.h>

namespace host {

SoundLink::SoundLink(const std::filesystem::path& library, ActivityLog& log) {
  handle_ = dlopen(library.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    load_error_ = message != nullptr ? message : "cannot load " + library.string();
    return;
  }
  set_listener_ = reinterpret_cast<SetListener>(dlsym(handle_, "GaugeSoundSetListener"));
  set_search_folders_ =
      reinterpret_cast<SetSearchFolders>(dlsym(handle_, "GaugeSoundSetSearchFolders"));
  if (set_listener_ != nullptr) set_listener_(&SoundLink::on_play, &log);
}

SoundLink::~SoundLink() {
  if (handle_ == nullptr) return;
  if (set_listener_ != nullptr) set_listener_(nullptr, nullptr);
  dlclose(handle_);
}

void SoundLink::on_play(const char* path, void* user) {
  if (path == nullptr || user == nullptr) return;
  static_cast<ActivityLog*>(user)->record_sound(path);
}

void SoundLink::set_search_folders(const std::filesystem::path& working_folder,
                                   const std::filesystem::path& assets_folder) {
  if (set_search_folders_ != nullptr) {
    set_search_folders_(working_folder.c_str(), assets_folder.c_str());
  }
}

std::filesystem::path program_folder() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::current_path();
  return self.parent_path();
}

}  // namespace host
