// GaugeSound for Windows: the same entry points as the SDL2 library (see gauge_sound.h), played
// through Windows' own sound call, PlaySound from winmm. Requests reach the host's listener
// exactly as on Linux, before playback is tried, so what a run reports does not depend on an
// audio device.
//
// PlaySound plays one sound at a time: a cue that starts while another is playing cuts the
// first short. The gauges' cues are single clicks of a fraction of a second, one per pilot
// action, so this loses nothing a pilot would hear apart.
#include <windows.h>
// (after windows.h, whose types it uses)
#include <mmsystem.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "host/sound/gauge_sound.h"

#define GAUGE_SOUND_EXPORT __declspec(dllexport)

namespace {

namespace fs = std::filesystem;

using Listener = void (*)(const char* path, void* user);

fs::path from_utf8(const char* text) {
  if (text == nullptr || text[0] == '\0') return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length) - 1);
  return fs::path(wide);
}

std::string to_utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// "assets" beside this library's own file, where the build writes the bundled sounds.
fs::path default_assets_folder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&default_assets_folder), &self)) {
    return {};
  }
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(self, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    if (length < name.size())
      return fs::path(std::wstring(name.data(), length)).parent_path() / "assets";
    name.resize(name.size() * 2);
  }
}

class SoundLibrary {
 public:
  void set_listener(Listener listener, void* user) {
    std::lock_guard lock(mutex_);
    listener_ = listener;
    listener_user_ = user;
  }

  void set_search_folders(const char* working, const char* assets) {
    std::lock_guard lock(mutex_);
    working_folder_ = from_utf8(working);
    assets_folder_ = from_utf8(assets);
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

  fs::path resolve(const char* path) {
    std::lock_guard lock(mutex_);
    return resolve_locked(path);
  }

  bool play(const char* path) {
    std::lock_guard lock(mutex_);
    const fs::path file = resolve_locked(path);
    if (file.empty()) return false;
    pin_sound_system();
    if (!PlaySoundW(file.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT)) {
      return false;
    }
    playing_ = path;
    return true;
  }

  bool stop(const char* path) {
    std::lock_guard lock(mutex_);
    if (playing_.empty() || playing_ != path) return false;
    stop_locked();
    return true;
  }

  void stop_all() {
    std::lock_guard lock(mutex_);
    stop_locked();
  }

 private:
  // Relative paths with either separator, first in the working folder, then in the assets.
  fs::path resolve_locked(const char* path) const {
    const fs::path relative = from_utf8(path);
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

  // PlaySound leaves a worker thread of winmm running after the sound. When the host unloads
  // this library, winmm would go with it while that thread still runs in it, and the process
  // would crash later; pinned, winmm stays until the process ends, as a system library may.
  static void pin_sound_system() {
    static const bool pinned = [] {
      HMODULE winmm = nullptr;
      return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"winmm.dll", &winmm) != 0;
    }();
    (void)pinned;
  }

  void stop_locked() {
    PlaySoundW(nullptr, nullptr, 0);
    playing_.clear();
  }

  std::mutex mutex_;
  Listener listener_ = nullptr;
  void* listener_user_ = nullptr;
  fs::path working_folder_;
  fs::path assets_folder_;
  std::string playing_;  // the path of the last sound started, as the gauge gave it
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
  library().stop_all();
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
  const std::string file = to_utf8(library().resolve(path));
  if (file.empty() || file.size() >= out_size) return 0;
  std::memcpy(out, file.c_str(), file.size() + 1);
  return file.size();
}

}  // extern "C"
