// The host learns of every sound the module asks the real sound library to play, the library
// being found by the module by name among those already loaded.
#include <gtest/gtest.h>

#include <filesystem>

#include "host_rig.h"

namespace host_test {
namespace {

TEST(SoundLink, CuesFromTheModuleReachTheHost) {
  host::ActivityLog sounds;
  host::SoundLink link(std::filesystem::path(INS_BUILD_ROOT) / "GaugeSound.so", sounds);
  ASSERT_TRUE(link.loaded()) << link.load_error();
  link.set_search_folders(std::filesystem::temp_directory_path(), "/nonexistent");
  {
    HostRig rig;
    rig.panel->place({"FIXTURE"});
    rig.panel->click(rig.gauge(), {15, 15});
    rig.panel->click(rig.gauge(), {45, 45});  // box B plays nothing
  }
  // The file does not exist: the cue is silent but still reported.
  EXPECT_EQ(sounds.since_frame().sounds, std::vector<std::string>{"sound\\fixture\\a.wav"});
}

TEST(SoundLink, MissingLibraryLeavesTheHostRunning) {
  host::ActivityLog sounds;
  host::SoundLink link("/nonexistent/GaugeSound.so", sounds);
  EXPECT_FALSE(link.loaded());
  link.set_search_folders("/tmp", "/tmp");  // does nothing, does not crash
  HostRig rig;
  rig.panel->place({"FIXTURE"});
  rig.panel->click(rig.gauge(), {15, 15});
  rig.frames(1);
  EXPECT_EQ(rig.text(COUNTS), "A1 B0 R0");
  EXPECT_TRUE(sounds.since_frame().sounds.empty());
}

}  // namespace
}  // namespace host_test
