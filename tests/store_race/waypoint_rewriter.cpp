// One of the writers of the two-writer test (waypoint_race_test.cpp): a process of its own that
// makes INSERT's rewrite of the waypoint file over and over through the store's real code, in
// the current folder, as a second simulator or a second host on the same folder would.
//
//   waypoint_rewriter COUNT TAG
//
// It waits for a file named START (so that the writers begin together), makes COUNT rewrites,
// each storing another waypoint at a position of its own, and writes how many it made and how
// many failed to rewriter-TAG.result: "REWRITES FAILED".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "store/waypoint_file.h"

namespace {

bool wait_for_start() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists("START")) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: waypoint_rewriter COUNT TAG\n");
    return 2;
  }
  const int count = std::atoi(argv[1]);
  const std::string tag = argv[2];
  const double offset = static_cast<double>(std::atoi(argv[2])) * 0.1;
  if (!wait_for_start()) {
    std::fprintf(stderr, "waypoint_rewriter: no START file within a minute\n");
    return 2;
  }
  WaypointEntry table[WAYPOINT_TABLE_SIZE];
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    const double lat = offset + i * 1e-4;
    const double lon = -offset - i * 1e-4;
    if (!rewrite_waypoint(table, i % WAYPOINT_TABLE_SIZE, lat, lon)) ++failed;
  }
  std::ofstream("rewriter-" + tag + ".result") << count << " " << failed << "\n";
  return 0;
}
