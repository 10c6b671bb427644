// GaugeSound's entry points, the same on every platform (see gauge_sound.h): the listener told
// of every request, the search folders, and the resolution of a gauge's path to a file. The
// playing is the platform's (sound_player.h).
#include "host/sound/gauge_sound.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "host/sound/sound_player.h"

#if defined(_WIN32)
#define GAUGE_SOUND_EXPORT __declspec(dllexport)
#else
#define GAUGE_SOUND_EXPORT __attribute__((visibility("default")))
#endif

namespace {

namespace fs = std::filesystem;
using namespace gauge_sound;

using Listener = void (*)(const char* path, void* user);

class SoundLibrary {
 public:
  void set_listener(Listener listener, void* user) {
    std::lock_guard lock(mutex_);
    listener_ = listener;
    listener_user_ = user;
  }

  void set_search_folders(const char* working, const char* assets) {
    std::lock_guard lock(mutex_);
    working_folder_ = path_from_text(working);
    assets_folder_ = path_from_text(assets);
  }

  void notify(const char* path) {
    Listener listener;
    void* user;
    {
      std::lock_guard lock(mutex_);
      listener = listener_;
      user = listener_user_;
    }
    // Called outside the lock, so a listener may call back into the library.
    if (listener != nullptr) listener(path, user);
  }

  // The file `path` stands for, or empty when there is none.
  fs::path resolve(const char* path) {
    std::lock_guard lock(mutex_);
    return resolve_locked(path);
  }

  bool play(const char* path) {
    std::lock_guard lock(mutex_);
    if (muted_) return false;
    const fs::path file = resolve_locked(path);
    return !file.empty() && play_file(file, path);
  }

  bool stop(const char* path) {
    std::lock_guard lock(mutex_);
    return stop_playing(path);
  }

  void stop_all() {
    std::lock_guard lock(mutex_);
    stop_all_playing();
  }

  void terminate() {
    std::lock_guard lock(mutex_);
    shut_down_playing();
  }

  void set_muted(bool muted) {
    std::lock_guard lock(mutex_);
    muted_ = muted;
    if (muted_) stop_all_playing();
  }

 private:
  // Gauges write their paths with backslashes; either separator is taken, on every platform.
  // A relative path is looked for first in the working folder, then in the assets.
  fs::path resolve_locked(const char* path) const {
    if (path == nullptr || path[0] == '\0') return {};
    std::string mapped(path);
    std::replace(mapped.begin(), mapped.end(), '\\', '/');
    const fs::path relative = path_from_text(mapped.c_str()).make_preferred();
    if (relative.empty()) return {};

    std::vector<fs::path> candidates;
    if (relative.is_absolute()) {
      candidates.push_back(relative);
    } else {
      candidates.push_back(working_folder_.empty() ? relative : working_folder_ / relative);
      const fs::path assets = assets_folder_.empty() ? default_assets_folder() : assets_folder_;
      if (!assets.empty()) candidates.push_back(assets / relative);
    }
    for (const fs::path& candidate : candidates) {
      std::error_code error;
      if (fs::is_regular_file(candidate, error)) return candidate;
    }
    return {};
  }

  // "assets" beside this library's own file, where the build writes the bundled sounds.
  static fs::path default_assets_folder() {
    const fs::path folder = library_folder();
    return folder.empty() ? fs::path() : folder / "assets";
  }

  std::mutex mutex_;  // guards everything below, and every call into the platform's player
  Listener listener_ = nullptr;
  void* listener_user_ = nullptr;
  fs::path working_folder_;
  fs::path assets_folder_;
  bool muted_ = false;
};

SoundLibrary& library() {
  static SoundLibrary instance;
  return instance;
}

}  // namespace

extern "C" {

GAUGE_SOUND_EXPORT void GaugeStopAll() {
  library().stop_all();
}

GAUGE_SOUND_EXPORT int GaugePlaySound(const char* path, const char* /*options*/, int /*flags*/) {
  if (path == nullptr) return 0;
  library().notify(path);
  return library().play(path) ? 1 : 0;
}

GAUGE_SOUND_EXPORT int GaugeStopSound(const char* path) {
  if (path == nullptr) return 0;
  return library().stop(path) ? 1 : 0;
}

GAUGE_SOUND_EXPORT void TerminateSounds() {
  library().terminate();
}

GAUGE_SOUND_EXPORT void GaugeSoundSetListener(Listener listener, void* user) {
  library().set_listener(listener, user);
}

GAUGE_SOUND_EXPORT void GaugeSoundSetSearchFolders(const char* working_folder,
                                                   const char* assets_folder) {
  library().set_search_folders(working_folder, assets_folder);
}

GAUGE_SOUND_EXPORT std::size_t GaugeSoundResolvePath(const char* path, char* out,
                                                     std::size_t out_size) {
  if (out == nullptr || out_size == 0) return 0;
  out[0] = '\0';
  const std::string file = path_to_text(library().resolve(path));
  if (file.empty() || file.size() >= out_size) return 0;
  std::memcpy(out, file.c_str(), file.size() + 1);
  return file.size();
}

GAUGE_SOUND_EXPORT void GaugeSoundSetMuted(int muted) {
  library().set_muted(muted != 0);
}

}  // extern "C"
