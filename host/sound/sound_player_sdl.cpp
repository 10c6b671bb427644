// GaugeSound's playing on Linux: the WAV files through SDL2's audio, with a tiny mixer so that
// overlapping cues (a knob clack over a switch click) both sound. See sound_player.h.
//
// The audio device is opened on the first play request (SDL's audio subsystem only, so the
// library never touches video or events) in one fixed output format; each file is decoded
// once, converted to that format, and kept until the file changes or TerminateSounds.
#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "host/sound/sound_player.h"

namespace {

namespace fs = std::filesystem;

constexpr int OUTPUT_RATE_HZ = 44100;
constexpr Uint8 OUTPUT_CHANNELS = 2;
constexpr SDL_AudioFormat OUTPUT_FORMAT = AUDIO_S16SYS;
constexpr Uint16 OUTPUT_BUFFER_FRAMES = 1024;

// A decoded sound in the output format (interleaved signed 16-bit samples).
struct Clip {
  std::vector<int16_t> samples;
  fs::file_time_type modified;
  std::uintmax_t size_bytes = 0;
};

// One playing instance of a clip.
struct Voice {
  std::string path;  // as the gauge gave it, for GaugeStopSound
  std::shared_ptr<const Clip> clip;
  std::size_t position = 0;  // next sample to mix
};

// Called one at a time (under the library's lock); the voices are shared with SDL's audio
// thread, so they are changed only under the device's own audio lock.
class SdlPlayer {
 public:
  ~SdlPlayer() { shut_down_audio(); }

  bool play(const fs::path& file, const std::string& path) {
    std::shared_ptr<const Clip> clip = load_clip(file);
    if (clip == nullptr || !open_audio()) return false;
    SDL_LockAudioDevice(device_);
    voices_.push_back(Voice{path, std::move(clip), 0});
    SDL_UnlockAudioDevice(device_);
    return true;
  }

  bool stop(const std::string& path) {
    if (device_ == 0) return false;
    SDL_LockAudioDevice(device_);
    auto first_stopped = std::remove_if(voices_.begin(), voices_.end(),
                                        [&path](const Voice& voice) { return voice.path == path; });
    bool stopped = first_stopped != voices_.end();
    voices_.erase(first_stopped, voices_.end());
    SDL_UnlockAudioDevice(device_);
    return stopped;
  }

  void stop_all() {
    if (device_ == 0) return;
    SDL_LockAudioDevice(device_);
    voices_.clear();
    SDL_UnlockAudioDevice(device_);
  }

  void terminate() {
    shut_down_audio();
    audio_unavailable_ = false;
    clips_.clear();
  }

 private:
  // Decodes and converts `file`, or returns the copy decoded before if the file is unchanged.
  std::shared_ptr<const Clip> load_clip(const fs::path& file) {
    std::error_code error;
    fs::file_time_type modified = fs::last_write_time(file, error);
    if (error) return nullptr;
    std::uintmax_t size_bytes = fs::file_size(file, error);
    if (error) return nullptr;
    const std::string key = file.string();
    if (auto cached = clips_.find(key); cached != clips_.end() &&
                                        cached->second->modified == modified &&
                                        cached->second->size_bytes == size_bytes) {
      return cached->second;
    }

    SDL_AudioSpec wav_format{};
    Uint8* wav_bytes = nullptr;
    Uint32 wav_length = 0;
    if (SDL_LoadWAV(key.c_str(), &wav_format, &wav_bytes, &wav_length) == nullptr) return nullptr;

    SDL_AudioCVT cvt{};
    if (SDL_BuildAudioCVT(&cvt, wav_format.format, wav_format.channels, wav_format.freq,
                          OUTPUT_FORMAT, OUTPUT_CHANNELS, OUTPUT_RATE_HZ) < 0 ||
        wav_length >
            static_cast<Uint32>(std::numeric_limits<int>::max() / std::max(cvt.len_mult, 1))) {
      SDL_FreeWAV(wav_bytes);
      return nullptr;
    }
    std::vector<Uint8> buffer(static_cast<std::size_t>(wav_length) *
                              static_cast<std::size_t>(std::max(cvt.len_mult, 1)));
    std::memcpy(buffer.data(), wav_bytes, wav_length);
    SDL_FreeWAV(wav_bytes);
    cvt.buf = buffer.data();
    cvt.len = static_cast<int>(wav_length);
    if (cvt.needed != 0 && SDL_ConvertAudio(&cvt) < 0) return nullptr;
    const std::size_t converted_bytes =
        cvt.needed != 0 ? static_cast<std::size_t>(cvt.len_cvt) : wav_length;

    auto clip = std::make_shared<Clip>();
    clip->samples.resize(converted_bytes / sizeof(int16_t));
    std::memcpy(clip->samples.data(), buffer.data(), clip->samples.size() * sizeof(int16_t));
    clip->modified = modified;
    clip->size_bytes = size_bytes;
    clips_[key] = clip;
    return clip;
  }

  // Opens the output device on first use; false when there is no audio device. Without one
  // the library falls back to silence with one notice, and asks no more until TerminateSounds
  // starts it afresh: every attempt has the audio libraries write lines of their own.
  bool open_audio() {
    if (device_ != 0) return true;
    if (audio_unavailable_) return false;
    // SDL's audio brings up its event loop, which by default takes over SIGINT and SIGTERM to
    // queue a quit event that only an SDL application reads: the program that loaded this
    // library (the simulator, ins-host) would then no longer stop on Ctrl-C or a kill. A gauge
    // library has no business with the process's signals.
    SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return give_up_audio();
    SDL_AudioSpec wanted{};
    wanted.freq = OUTPUT_RATE_HZ;
    wanted.format = OUTPUT_FORMAT;
    wanted.channels = OUTPUT_CHANNELS;
    wanted.samples = OUTPUT_BUFFER_FRAMES;
    wanted.callback = &SdlPlayer::mix_callback;
    wanted.userdata = this;
    // No allowed changes: SDL converts to whatever the hardware wants behind the callback.
    {
      const QuietAlsa quiet;
      device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    }
    if (device_ == 0) {
      give_up_audio();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  bool give_up_audio() {
    audio_unavailable_ = true;
    std::fprintf(stderr, "GaugeSound: no audio device (%s); the gauges' sounds are silent\n",
                 SDL_GetError());
    return false;
  }

  // While SDL opens the device, ALSA's own complaints (eight lines when there is no sound
  // card) are not written: the library says once, in its own words, that it stays silent. ALSA
  // is reached only if SDL has already loaded it, and its default handler is back afterwards.
  class QuietAlsa {
   public:
    QuietAlsa() {
      alsa_ = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);
      if (alsa_ == nullptr) return;
      set_handler_ = reinterpret_cast<SetHandler>(dlsym(alsa_, "snd_lib_error_set_handler"));
      if (set_handler_ != nullptr) set_handler_(&ignore);
    }
    ~QuietAlsa() {
      if (set_handler_ != nullptr) set_handler_(nullptr);
      if (alsa_ != nullptr) dlclose(alsa_);
    }
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;

   private:
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    static void ignore(const char*, int, const char*, int, const char*, ...) {}
    void* alsa_ = nullptr;
    SetHandler set_handler_ = nullptr;
  };

  void shut_down_audio() {
    if (device_ == 0) return;
    // Closing waits for the audio thread, so no callback runs into freed voices (or into
    // this library's code after it is unloaded).
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    voices_.clear();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    // SDL keeps some state (hints, thread-local error text) until SDL_Quit; when nothing else
    // in the process uses SDL, let it go too, or it is lost when this library is unloaded.
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
  }

  // Runs on SDL's audio thread with the device lock held.
  static void mix_callback(void* user, Uint8* stream, int length_bytes) {
    auto* self = static_cast<SdlPlayer*>(user);
    std::memset(stream, 0, static_cast<std::size_t>(length_bytes));
    const std::size_t count = static_cast<std::size_t>(length_bytes) / sizeof(int16_t);
    auto* out = reinterpret_cast<int16_t*>(stream);
    for (Voice& voice : self->voices_) {
      const std::vector<int16_t>& samples = voice.clip->samples;
      const std::size_t n = std::min(count, samples.size() - voice.position);
      for (std::size_t i = 0; i < n; ++i) {
        int32_t sum = int32_t{out[i]} + int32_t{samples[voice.position + i]};
        out[i] = static_cast<int16_t>(std::clamp<int32_t>(sum, INT16_MIN, INT16_MAX));
      }
      voice.position += n;
    }
    self->voices_.erase(std::remove_if(self->voices_.begin(), self->voices_.end(),
                                       [](const Voice& voice) {
                                         return voice.position >= voice.clip->samples.size();
                                       }),
                        self->voices_.end());
  }

  std::map<std::string, std::shared_ptr<const Clip>> clips_;  // by resolved file name
  SDL_AudioDeviceID device_ = 0;
  bool audio_unavailable_ = false;  // no device: silent until TerminateSounds
  std::vector<Voice> voices_;       // also under the device's audio lock
};

SdlPlayer& player() {
  // Destroyed when the library is unloaded (or at exit), which closes the audio device.
  static SdlPlayer instance;
  return instance;
}

}  // namespace

namespace gauge_sound {

fs::path path_from_text(const char* text) {
  return text != nullptr ? fs::path(text) : fs::path();
}

std::string path_to_text(const fs::path& path) {
  return path.string();
}

fs::path library_folder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&library_folder), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  return fs::path(info.dli_fname).parent_path();
}

bool play_file(const fs::path& file, const std::string& path) {
  return player().play(file, path);
}

bool stop_playing(const std::string& path) {
  return player().stop(path);
}

void stop_all_playing() {
  player().stop_all();
}

void shut_down_playing() {
  player().terminate();
}

}  // namespace gauge_sound
