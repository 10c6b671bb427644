// The real GaugeSound.so, loaded with dlopen as the host and the gauge module load it: the
// listener, file lookup with backslash mapping, playing and stopping through SDL's dummy audio
// driver, and the bundled sounds the build synthesizes.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using StopAllFn = void (*)();
using PlaySoundFn = int (*)(const char*, const char*, int);
using StopSoundFn = int (*)(const char*);
using TerminateFn = void (*)();
using ListenerFn = void (*)(const char*, void*);
using SetListenerFn = void (*)(ListenerFn, void*);
using SetFoldersFn = void (*)(const char*, const char*);
using ResolveFn = std::size_t (*)(const char*, char*, std::size_t);
using SetMutedFn = void (*)(int);

// Little-endian PCM WAV of `samples` (mono, 16-bit), written by hand so the test does not rely
// on the code under test or on sox to make its inputs.
std::string pcm_wav(const std::vector<int16_t>& samples, uint32_t rate_hz) {
  auto u32 = [](std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  auto u16 = [](std::string& out, uint32_t v) {
    for (int i = 0; i < 2; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
  std::string out = "RIFF";
  u32(out, 36 + data_bytes);
  out += "WAVEfmt ";
  u32(out, 16);
  u16(out, 1);  // PCM
  u16(out, 1);  // mono
  u32(out, rate_hz);
  u32(out, rate_hz * 2);
  u16(out, 2);
  u16(out, 16);
  out += "data";
  u32(out, data_bytes);
  for (int16_t s : samples) u16(out, static_cast<uint16_t>(s));
  return out;
}

// A 440 Hz tone of `seconds`.
std::string tone_wav(double seconds) {
  const uint32_t rate_hz = 22050;
  std::vector<int16_t> samples(static_cast<std::size_t>(seconds * rate_hz));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(8000.0 * std::sin(2.0 * M_PI * 440.0 * double(i) / rate_hz));
  }
  return pcm_wav(samples, rate_hz);
}

void write_file(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

std::vector<std::string>& heard() {
  static std::vector<std::string> paths;
  return paths;
}

void record_path(const char* path, void* user) {
  heard().emplace_back(path);
  ++*static_cast<int*>(user);
}

class SoundLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // ctest sets the dummy driver; keep a direct run of the program off the real device too.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    handle_ = dlopen(GAUGE_SOUND_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    stop_all = entry<StopAllFn>("GaugeStopAll");
    play = entry<PlaySoundFn>("GaugePlaySound");
    stop = entry<StopSoundFn>("GaugeStopSound");
    terminate = entry<TerminateFn>("TerminateSounds");
    set_listener = entry<SetListenerFn>("GaugeSoundSetListener");
    set_folders = entry<SetFoldersFn>("GaugeSoundSetSearchFolders");
    resolve_path = entry<ResolveFn>("GaugeSoundResolvePath");
    set_muted = entry<SetMutedFn>("GaugeSoundSetMuted");
    ASSERT_TRUE(stop_all && play && stop && terminate && set_listener && set_folders &&
                resolve_path && set_muted);

    std::string pattern = (fs::temp_directory_path() / "gauge-sound-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    working_ = root_ / "work";
    assets_ = root_ / "assets";
    fs::create_directories(working_);
    fs::create_directories(assets_);
    heard().clear();
    set_listener(&record_path, &calls_);
    set_folders(working_.c_str(), assets_.c_str());
  }

  void TearDown() override {
    if (handle_ == nullptr) return;
    set_listener(nullptr, nullptr);
    set_folders(nullptr, nullptr);
    set_muted(0);
    terminate();
    dlclose(handle_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  template <typename Fn>
  Fn entry(const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle_, name));
  }

  std::string resolved(const char* path) {
    char buffer[4096];
    std::size_t length = resolve_path(path, buffer, sizeof buffer);
    EXPECT_EQ(length, std::strlen(buffer));
    return buffer;
  }

  void* handle_ = nullptr;
  int calls_ = 0;
  fs::path root_, working_, assets_;
  StopAllFn stop_all = nullptr;
  PlaySoundFn play = nullptr;
  StopSoundFn stop = nullptr;
  TerminateFn terminate = nullptr;
  SetListenerFn set_listener = nullptr;
  SetFoldersFn set_folders = nullptr;
  ResolveFn resolve_path = nullptr;
  SetMutedFn set_muted = nullptr;
};

TEST_F(SoundLibraryTest, GaugesFindTheLoadedLibraryByItsSoname) {
  // The module looks for an already loaded "GaugeSound.so" by name; that only works when the
  // library carries that soname, whatever path the host loaded it from.
  void* by_name = dlopen("GaugeSound.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(by_name, nullptr) << dlerror();
  EXPECT_EQ(by_name, handle_);
  dlclose(by_name);
}

// Playing a sound starts SDL's audio and with it its event loop, which would take over SIGINT
// and SIGTERM: the program that loaded the library would ignore Ctrl-C from then on.
TEST_F(SoundLibraryTest, PlayingLeavesTheProgramsSignalsAlone) {
  write_file(working_ / "sound/tavren/ins_tog.wav", tone_wav(0.05));
  ASSERT_EQ(play("sound\\tavren\\ins_tog.wav", "", 0), 1);
  for (const int signal_number : {SIGINT, SIGTERM}) {
    struct sigaction action {};
    ASSERT_EQ(sigaction(signal_number, nullptr, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << "signal " << signal_number;
  }
}

TEST_F(SoundLibraryTest, ListenerHearsEveryRequestWithThePathAsGiven) {
  write_file(working_ / "sound/tavren/ins_tog.wav", tone_wav(0.05));
  EXPECT_EQ(play("sound\\tavren\\ins_tog.wav", "", 0), 1);
  EXPECT_EQ(play("sound\\tavren\\no_such.wav", "", 0), 0);  // missing: silent, still heard
  EXPECT_EQ(play(nullptr, "", 0), 0);                       // no path: nothing to hear
  EXPECT_EQ(play("sound\\tavren\\ins_tog.wav", nullptr, 7), 1);
  EXPECT_EQ(calls_, 3);
  EXPECT_EQ(heard(),
            (std::vector<std::string>{"sound\\tavren\\ins_tog.wav", "sound\\tavren\\no_such.wav",
                                      "sound\\tavren\\ins_tog.wav"}));

  set_listener(nullptr, nullptr);
  EXPECT_EQ(play("sound\\tavren\\ins_tog.wav", "", 0), 1);
  EXPECT_EQ(calls_, 3);
}

TEST_F(SoundLibraryTest, BackslashPathsAreLookedUpInTheWorkingFolderThenInTheAssets) {
  const char* path = "sound\\tavren\\ins_click.wav";
  const fs::path in_working = working_ / "sound/tavren/ins_click.wav";
  const fs::path in_assets = assets_ / "sound/tavren/ins_click.wav";

  EXPECT_EQ(resolved(path), "");
  EXPECT_EQ(play(path, "", 0), 0);

  write_file(in_assets, tone_wav(0.05));
  EXPECT_EQ(resolved(path), in_assets.string());
  EXPECT_EQ(play(path, "", 0), 1);

  write_file(in_working, tone_wav(0.05));
  EXPECT_EQ(resolved(path), in_working.string());

  // The working folder's file is the one played even when it is not playable: it is not
  // passed over for the one in the assets.
  write_file(in_working, "not a sound file");
  EXPECT_EQ(play(path, "", 0), 0);
  fs::remove(in_working);
  EXPECT_EQ(play(path, "", 0), 1);

  // Forward slashes and absolute paths work as they stand.
  EXPECT_EQ(resolved("sound/tavren/ins_click.wav"), in_assets.string());
  EXPECT_EQ(resolved(in_assets.c_str()), in_assets.string());
  // A folder of that name is not a sound file.
  EXPECT_EQ(resolved("sound\\tavren"), "");
}

TEST_F(SoundLibraryTest, WithoutAWorkingFolderRelativePathsAreTakenFromTheCurrentFolder) {
  const fs::path previous = fs::current_path();
  fs::current_path(working_);
  write_file(working_ / "cue.wav", tone_wav(0.05));
  set_folders(nullptr, assets_.c_str());
  EXPECT_EQ(resolved("cue.wav"), "cue.wav");
  EXPECT_EQ(play("cue.wav", "", 0), 1);
  fs::current_path(previous);
}

TEST_F(SoundLibraryTest, ResolvingNeverOverrunsTheCallersBuffer) {
  write_file(working_ / "cue.wav", tone_wav(0.05));
  const std::string full = (working_ / "cue.wav").string();
  char small[8];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(resolve_path("cue.wav", small, sizeof small), 0u);
  EXPECT_EQ(small[0], '\0');
  std::vector<char> exact(full.size() + 1);
  EXPECT_EQ(resolve_path("cue.wav", exact.data(), exact.size()), full.size());
  EXPECT_EQ(resolve_path("cue.wav", exact.data(), exact.size() - 1), 0u);
  EXPECT_EQ(resolve_path(nullptr, exact.data(), exact.size()), 0u);
  EXPECT_EQ(resolve_path("cue.wav", nullptr, 0), 0u);
}

TEST_F(SoundLibraryTest, PlayingSoundsCanBeStoppedByPathOrAllAtOnce) {
  // Ten seconds long, so they are certainly still playing when stopped.
  write_file(working_ / "long_a.wav", tone_wav(10.0));
  write_file(working_ / "long_b.wav", tone_wav(10.0));
  ASSERT_EQ(play("long_a.wav", "", 0), 1);
  ASSERT_EQ(play("long_a.wav", "", 0), 1);
  ASSERT_EQ(play("long_b.wav", "", 0), 1);
  EXPECT_EQ(stop("long_a.wav"), 1);  // both instances
  EXPECT_EQ(stop("long_a.wav"), 0);
  EXPECT_EQ(stop(nullptr), 0);
  stop_all();
  EXPECT_EQ(stop("long_b.wav"), 0);
}

// Without a device the library says so once and stays silent (every attempt would have the
// audio libraries write lines of their own); TerminateSounds starts it afresh.
TEST_F(SoundLibraryTest, WithoutAnAudioDeviceRequestsAreHeardButSilentWithOneNotice) {
  write_file(working_ / "cue.wav", tone_wav(0.05));
  terminate();  // the next play opens the device again, with the driver below
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  const std::string saved = driver != nullptr ? driver : "dummy";
  setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(play("cue.wav", "", 0), 0);
  setenv("SDL_AUDIODRIVER", saved.c_str(), 1);  // a device now, but no second attempt
  EXPECT_EQ(play("cue.wav", "", 0), 0);
  EXPECT_EQ(play("cue.wav", "", 0), 0);
  const std::string notices = testing::internal::GetCapturedStderr();
  EXPECT_EQ(calls_, 3);
  EXPECT_EQ(notices.find("GaugeSound: no audio device"), 0u) << notices;
  EXPECT_EQ(std::count(notices.begin(), notices.end(), '\n'), 1) << notices;
  terminate();
  EXPECT_EQ(play("cue.wav", "", 0), 1);
  EXPECT_EQ(calls_, 4);
}

// A host flying faster than real time mutes the library: what plays stops, requests are still
// heard, and no device is even tried (a broken driver gives no notice); unmuted, sounds play.
TEST_F(SoundLibraryTest, MutedRequestsAreHeardButNeverOpenTheDevice) {
  write_file(working_ / "long.wav", tone_wav(10.0));
  ASSERT_EQ(play("long.wav", "", 0), 1);
  set_muted(1);
  EXPECT_EQ(stop("long.wav"), 0);  // muting stopped it
  terminate();                     // the device is closed; a play would open it again
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  const std::string saved = driver != nullptr ? driver : "dummy";
  setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(play("long.wav", "", 0), 0);
  EXPECT_EQ(play("long.wav", "", 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
  EXPECT_EQ(calls_, 3);
  EXPECT_EQ(heard().back(), "long.wav");
  set_muted(0);
  EXPECT_EQ(play("long.wav", "", 0), 1);
}

// Peak absolute sample (0..1) and length in seconds of a 16-bit PCM WAV, read independently.
struct WavFacts {
  uint16_t channels = 0, bits = 0;
  uint32_t rate_hz = 0;
  double seconds = 0.0, peak = 0.0;
};

WavFacts read_wav(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u16 = [&](std::size_t at) {
    return static_cast<uint16_t>(uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8));
  };
  auto u32 = [&](std::size_t at) { return uint32_t{u16(at)} | (uint32_t{u16(at + 2)} << 16); };
  WavFacts facts;
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
    return facts;
  }
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = u32(at + 4);
    if (bytes.compare(at, 4, "fmt ") == 0) {
      facts.channels = u16(at + 10);
      facts.rate_hz = u32(at + 12);
      facts.bits = u16(at + 22);
    } else if (bytes.compare(at, 4, "data") == 0 && facts.bits == 16 && facts.channels > 0) {
      const std::size_t count = std::min<std::size_t>(size, bytes.size() - at - 8) / 2;
      for (std::size_t i = 0; i < count; ++i) {
        const double sample = static_cast<int16_t>(u16(at + 8 + 2 * i)) / 32768.0;
        facts.peak = std::max(facts.peak, std::fabs(sample));
      }
      facts.seconds = double(count) / facts.channels / facts.rate_hz;
    }
    at += 8 + size + (size & 1);
  }
  return facts;
}

TEST_F(SoundLibraryTest, BundledSoundsAreShortAudibleAndFoundByDefault) {
  set_folders(working_.c_str(), nullptr);  // default assets: beside the library
  const WavFacts clack = read_wav(fs::path(GAUGE_SOUND_ASSETS_DIR) / "sound/tavren/ins_tog.wav");
  const WavFacts click = read_wav(fs::path(GAUGE_SOUND_ASSETS_DIR) / "sound/tavren/ins_click.wav");
  for (const WavFacts& facts : {clack, click}) {
    EXPECT_EQ(facts.bits, 16);
    EXPECT_GT(facts.rate_hz, 0u);
    EXPECT_GT(facts.seconds, 0.01);
    EXPECT_LT(facts.seconds, 0.25);  // a detent, not a tune
    EXPECT_GT(facts.peak, 0.05);     // audible
    EXPECT_LT(facts.peak, 0.99);     // not clipped
  }
  EXPECT_LT(click.peak, clack.peak * 0.5);  // the click is the softer one

  for (const char* path : {"sound\\tavren\\ins_tog.wav", "sound\\tavren\\ins_click.wav"}) {
    std::string expected = path;
    std::replace(expected.begin(), expected.end(), '\\', '/');
    EXPECT_EQ(fs::path(resolved(path)), fs::path(GAUGE_SOUND_ASSETS_DIR) / expected);
    EXPECT_EQ(play(path, "", 0), 1) << path;
  }
}

}  // namespace
