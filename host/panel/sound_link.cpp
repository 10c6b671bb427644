#include "host/panel/sound_link.h"

#include "host/platform/platform.h"

namespace host {

SoundLink::SoundLink(const std::filesystem::path& library, ActivityLog& log) {
  handle_ = load_library(library, LibraryScope::shared, load_error_);
  if (handle_ == nullptr) return;
  set_listener_ = reinterpret_cast<SetListener>(library_symbol(handle_, "GaugeSoundSetListener"));
  set_search_folders_ =
      reinterpret_cast<SetSearchFolders>(library_symbol(handle_, "GaugeSoundSetSearchFolders"));
  set_muted_ = reinterpret_cast<SetMuted>(library_symbol(handle_, "GaugeSoundSetMuted"));
  if (set_listener_ != nullptr) set_listener_(&SoundLink::on_play, &log);
}

SoundLink::~SoundLink() {
  if (handle_ == nullptr) return;
  if (set_listener_ != nullptr) set_listener_(nullptr, nullptr);
  free_library(handle_);
}

void SoundLink::on_play(const char* path, void* user) {
  if (path == nullptr || user == nullptr) return;
  static_cast<ActivityLog*>(user)->record_sound(path);
}

void SoundLink::set_search_folders(const std::filesystem::path& working_folder,
                                   const std::filesystem::path& assets_folder) {
  if (set_search_folders_ != nullptr) {
    set_search_folders_(utf8_path(working_folder).c_str(), utf8_path(assets_folder).c_str());
  }
}

void SoundLink::set_muted(bool muted) {
  if (set_muted_ != nullptr) set_muted_(muted ? 1 : 0);
}

}  // namespace host
