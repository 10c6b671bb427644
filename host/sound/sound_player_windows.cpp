// GaugeSound's playing on Windows: Windows' own sound call, PlaySound from winmm. Requests
// reach the host's listener exactly as on Linux (gauge_sound.cpp), before playback is tried, so
// what a run reports does not depend on an audio device.
//
// PlaySound plays one sound at a time: a cue that starts while another is playing cuts the
// first short. The gauges' cues are single clicks of a fraction of a second, one per pilot
// action, so this loses nothing a pilot would hear apart.
#include <windows.h>
// (after windows.h, whose types it uses)
#include <mmsystem.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/sound/sound_player.h"

namespace {

namespace fs = std::filesystem;

std::string playing;  // the path of the last sound started, as the gauge gave it

// PlaySound leaves a worker thread of winmm running after the sound. When the host unloads
// this library, winmm would go with it while that thread still runs in it, and the process
// would crash later; pinned, winmm stays until the process ends, as a system library may.
void pin_sound_system() {
  static const bool pinned = [] {
    HMODULE winmm = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"winmm.dll", &winmm) != 0;
  }();
  (void)pinned;
}

}  // namespace

namespace gauge_sound {

fs::path path_from_text(const char* text) {
  if (text == nullptr || text[0] == '\0') return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length) - 1);
  return fs::path(wide);
}

std::string path_to_text(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

fs::path library_folder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&library_folder), &self)) {
    return {};
  }
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(self, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    if (length < name.size()) return fs::path(std::wstring(name.data(), length)).parent_path();
    name.resize(name.size() * 2);
  }
}

bool play_file(const fs::path& file, const std::string& path) {
  pin_sound_system();
  if (!PlaySoundW(file.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT)) return false;
  playing = path;
  return true;
}

bool stop_playing(const std::string& path) {
  if (playing.empty() || playing != path) return false;
  stop_all_playing();
  return true;
}

void stop_all_playing() {
  PlaySoundW(nullptr, nullptr, 0);
  playing.clear();
}

void shut_down_playing() {
  stop_all_playing();
}

}  // namespace gauge_sound
