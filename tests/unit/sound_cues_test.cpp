// Sound cues with the real GaugeSound.so: the build puts it beside this test program, which is
// where the module looks first. A listener registered on the library itself hears each cue.
#include "state/sound_cues.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "state/os_modules.h"
#include "tests/unit/test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using test_support::ModuleTest;

using test_support::cues_heard;
using test_support::ListenerFn;
using test_support::record_cue;
using test_support::SetListenerFn;

fs::path program_folder() {
  return fs::canonical("/proc/self/exe").parent_path();
}

fs::path library_beside_program() {
  return program_folder() / "GaugeSound.so";
}

// Whether the process has the library loaded at all (by its soname), without keeping it.
bool library_loaded() {
  void* handle = dlopen("GaugeSound.so", RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

// Registers (or with a null `module`, cannot register) the cue listener on the library.
void listen_on(OsModule module) {
  auto set_listener = reinterpret_cast<SetListenerFn>(os_resolve(module, "GaugeSoundSetListener"));
  ASSERT_NE(set_listener, nullptr);
  set_listener(&record_cue, nullptr);
}

void stop_listening(OsModule module) {
  if (auto set_listener =
          reinterpret_cast<SetListenerFn>(os_resolve(module, "GaugeSoundSetListener"))) {
    set_listener(nullptr, nullptr);
  }
}

void expect_unbound(const SoundLibrary& library) {
  EXPECT_EQ(library.handle, nullptr);
  EXPECT_EQ(library.stop_all, nullptr);
  EXPECT_EQ(library.play_sound, nullptr);
  EXPECT_EQ(library.stop_sound, nullptr);
  EXPECT_EQ(library.terminate_sounds, nullptr);
}

class SoundCueTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    setenv("SDL_AUDIODRIVER", "dummy", 0);  // never a real device from a test
    cues_heard().clear();
    if (!fs::exists(library_beside_program())) {
      GTEST_SKIP() << "GaugeSound.so is not built beside the test program";
    }
    // Each test starts with the library unloaded, so reference counts are the test's own.
    // Tests of other gauges that bound the library and were then reset to a fresh module have
    // left their references behind with no handle to release them: drop those here.
    for (int leftover = 0; leftover < 1000 && library_loaded(); ++leftover) {
      void* handle = dlopen("GaugeSound.so", RTLD_NOW | RTLD_NOLOAD);
      dlclose(handle);
      dlclose(handle);
    }
    ASSERT_FALSE(library_loaded()) << "something still holds the sound library";
  }

  void TearDown() override {
    if (void* loaded = dlopen("GaugeSound.so", RTLD_NOW | RTLD_NOLOAD)) {
      stop_listening(loaded);
      dlclose(loaded);
    }
    bind_sound_library(SERVICE_PRE_KILL);
    ModuleTest::TearDown();
  }

  SoundLibrary& library() { return ins_state.sound_library; }
};

TEST_F(SoundCueTest, CuesAreSilentUntilBoundAndHeardAfterwards) {
  play_sound_cue(SOUND_TOGGLE);  // nothing bound yet: skipped, no crash
  bind_sound_library(SERVICE_PRE_INITIALIZE);
  ASSERT_NE(library().handle, nullptr);
  EXPECT_NE(library().stop_all, nullptr);
  EXPECT_NE(library().play_sound, nullptr);
  EXPECT_NE(library().stop_sound, nullptr);
  EXPECT_NE(library().terminate_sounds, nullptr);
  listen_on(library().handle);

  play_sound_cue(SOUND_TOGGLE);
  play_sound_cue(SOUND_CLICK);
  EXPECT_EQ(cues_heard(), (std::vector<std::string>{"sound\\tavren\\ins_tog.wav",
                                                    "sound\\tavren\\ins_click.wav"}));
}

TEST_F(SoundCueTest, TheFrameFormBindsByItselfAndOtherCodesDoNothing) {
  bind_sound_library(SERVICE_PRE_INSTALL);
  bind_sound_library(99);
  expect_unbound(library());
  bind_sound_library(SERVICE_PRE_UPDATE);
  ASSERT_NE(library().handle, nullptr);
  listen_on(library().handle);
  play_sound_cue(SOUND_TOGGLE);
  EXPECT_EQ(cues_heard().size(), 1u);
}

TEST_F(SoundCueTest, ReleaseClearsTheHandleAndEntryPointsAndLeavesCuesSilent) {
  bind_sound_library(SERVICE_PRE_INITIALIZE);
  bind_sound_library(SERVICE_PRE_UPDATE);
  bind_sound_library(SERVICE_PRE_KILL);
  expect_unbound(library());
  EXPECT_FALSE(library_loaded());  // the module's one reference is gone with it
  play_sound_cue(SOUND_TOGGLE);    // would call into unmapped code if anything were stale
  EXPECT_TRUE(cues_heard().empty());
}

TEST_F(SoundCueTest, BindingEveryFrameTakesNoFurtherReference) {
  // Two gauges (CDU and MSU) bind the one record at placement and every frame.
  bind_sound_library(SERVICE_PRE_INITIALIZE);
  bind_sound_library(SERVICE_PRE_INITIALIZE);
  for (int frame = 0; frame < 500; ++frame) {
    bind_sound_library(SERVICE_PRE_UPDATE);
    bind_sound_library(SERVICE_PRE_UPDATE);
  }
  EXPECT_TRUE(library_loaded());
  // One release drops the module's only reference: nothing was leaked to keep it loaded.
  bind_sound_library(SERVICE_PRE_KILL);
  EXPECT_FALSE(library_loaded());
  // The second gauge going away loads and releases in balance.
  bind_sound_library(SERVICE_PRE_KILL);
  EXPECT_FALSE(library_loaded());
  expect_unbound(library());
}

TEST_F(SoundCueTest, ReleasesNeverDropTheHostsReference) {
  // The host loads the library before the module, by path, and keeps it.
  void* host_handle = dlopen(library_beside_program().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(host_handle, nullptr) << dlerror();
  listen_on(host_handle);

  bind_sound_library(SERVICE_PRE_INITIALIZE);  // CDU
  bind_sound_library(SERVICE_PRE_INITIALIZE);  // MSU
  EXPECT_EQ(library().handle, host_handle);    // one library, whoever loaded it
  bind_sound_library(SERVICE_PRE_UPDATE);
  play_sound_cue(SOUND_TOGGLE);
  bind_sound_library(SERVICE_PRE_KILL);  // CDU goes away
  bind_sound_library(SERVICE_PRE_KILL);  // MSU goes away
  bind_sound_library(SERVICE_PRE_KILL);  // and a stray extra release
  expect_unbound(library());
  EXPECT_TRUE(library_loaded());  // still the host's

  // The host's own handle still works, and its release is the one that unloads.
  auto play = reinterpret_cast<int (*)(const char*, const char*, int)>(
      dlsym(host_handle, "GaugePlaySound"));
  ASSERT_NE(play, nullptr);
  play("host\\own.wav", "", 0);
  EXPECT_EQ(cues_heard(),
            (std::vector<std::string>{"sound\\tavren\\ins_tog.wav", "host\\own.wav"}));
  stop_listening(host_handle);
  dlclose(host_handle);
  EXPECT_FALSE(library_loaded());
}

TEST_F(SoundCueTest, TheModulesOwnReferenceOutlivesTheHosts) {
  // Bound while the host holds the library, the module still takes a reference of its own, so
  // the host unloading its copy leaves the module's cues working.
  void* host_handle = dlopen(library_beside_program().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(host_handle, nullptr);
  bind_sound_library(SERVICE_PRE_UPDATE);
  dlclose(host_handle);
  bind_sound_library(SERVICE_PRE_UPDATE);
  ASSERT_TRUE(library_loaded());
  listen_on(library().handle);
  play_sound_cue(SOUND_CLICK);
  EXPECT_EQ(cues_heard().size(), 1u);
}

// Runs this very test again in a copy of the test program in a folder without the library,
// and there checks that every cue is silent and that a library that appears later is used.
TEST(SoundCuesWithoutLibrary, CuesAreSilentAndALibraryThatAppearsLaterIsUsed) {
  const char* role = std::getenv("INS_SOUND_CUE_CHILD_LIBRARY");
  if (role == nullptr) {
    const fs::path library = library_beside_program();
    if (!fs::exists(library)) GTEST_SKIP() << "GaugeSound.so is not built beside the program";
    test_support::TempWorkdir folder;
    const fs::path copy = folder.path() / "unit_tests_copy";
    fs::copy_file("/proc/self/exe", copy);
    fs::permissions(copy, fs::perms::owner_all, fs::perm_options::add);

    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string(*e).rfind("LD_LIBRARY_PATH=", 0) != 0) env_strings.emplace_back(*e);
    }
    env_strings.push_back("INS_SOUND_CUE_CHILD_LIBRARY=" + library.string());
    env_strings.push_back("SDL_AUDIODRIVER=dummy");
    std::vector<char*> env;
    for (std::string& s : env_strings) env.push_back(s.data());
    env.push_back(nullptr);
    std::string program = copy.string();
    std::string filter = "--gtest_filter=SoundCuesWithoutLibrary.*";
    std::string output = (folder.path() / "child.log").string();
    char* argv[] = {program.data(), filter.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, program.c_str(), &actions, nullptr, argv, env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string log = folder.read("child.log");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
    EXPECT_NE(log.find("[  PASSED  ] 1 test"), std::string::npos) << log;
    return;
  }

  // In the copy: nothing named GaugeSound.so beside the program or on the loader's path.
  ImportTable.panel_services.table = nullptr;
  reset_module_for_tests();
  cues_heard().clear();
  const fs::path beside = program_folder() / "GaugeSound.so";
  ASSERT_FALSE(fs::exists(beside));

  bind_sound_library(SERVICE_PRE_INITIALIZE);
  expect_unbound(ins_state.sound_library);
  play_sound_cue(SOUND_TOGGLE);
  for (int frame = 0; frame < 3; ++frame) bind_sound_library(SERVICE_PRE_UPDATE);
  expect_unbound(ins_state.sound_library);
  play_sound_cue(SOUND_CLICK);

  // The library turns up beside the program: the next frame binds it.
  fs::copy_file(role, beside);
  bind_sound_library(SERVICE_PRE_UPDATE);
  ASSERT_NE(ins_state.sound_library.handle, nullptr);
  listen_on(ins_state.sound_library.handle);
  play_sound_cue(SOUND_TOGGLE);
  EXPECT_EQ(cues_heard(), std::vector<std::string>{"sound\\tavren\\ins_tog.wav"});
  stop_listening(ins_state.sound_library.handle);
  bind_sound_library(SERVICE_PRE_KILL);
  expect_unbound(ins_state.sound_library);
  EXPECT_FALSE(library_loaded());
}

}  // namespace
