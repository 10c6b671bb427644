// The host's side of the sound library GaugeSound. The host loads the library before the module
// (globally, so the module's look-up by name finds this very copy), registers a listener that
// learns of every file the module asks to play, and tells the library where files are found.
// A missing library is not an error: the host runs and the module's cues stay silent.
#pragma once

#include <filesystem>
#include <string>

#include "host/panel/activity_log.h"
#include "host/platform/platform.h"

namespace host {

class SoundLink {
 public:
  SoundLink(const std::filesystem::path& library, ActivityLog& log);
  ~SoundLink();
  SoundLink(const SoundLink&) = delete;
  SoundLink& operator=(const SoundLink&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // Why the library is not loaded (empty when it is).
  const std::string& load_error() const { return load_error_; }

  void set_search_folders(const std::filesystem::path& working_folder,
                          const std::filesystem::path& assets_folder);
  // Muted, the module's requests are still logged but nothing plays (see GaugeSoundSetMuted).
  void set_muted(bool muted);

 private:
  using SetListener = void (*)(void (*listener)(const char* path, void* user), void* user);
  using SetSearchFolders = void (*)(const char* working_folder, const char* assets_folder);
  using SetMuted = void (*)(int muted);

  static void on_play(const char* path, void* user);

  void* handle_ = nullptr;
  SetListener set_listener_ = nullptr;
  SetSearchFolders set_search_folders_ = nullptr;
  SetMuted set_muted_ = nullptr;
  std::string load_error_;
};

}  // namespace host
