// Fuzzes the waypoint file reader: the input is written as WAYPOINTS.DAT in a private temporary
// folder, then read the way every reader of the module reads it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "store/waypoint_file.h"

namespace {

char folder[] = "/tmp/ins-fuzz-waypoints-XXXXXX";

void remove_temporary_folder() {
  std::remove(WAYPOINT_FILE_NAME);
  if (chdir("/") == 0) rmdir(folder);
}

// Runs once: a fresh folder of our own becomes the working folder for the whole run, and goes
// away with the process.
bool enter_temporary_folder() {
  if (mkdtemp(folder) == nullptr || chdir(folder) != 0) {
    std::perror("ins waypoint fuzz: temporary folder");
    std::abort();
  }
  std::atexit(remove_temporary_folder);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool in_folder = enter_temporary_folder();
  (void)in_folder;

  std::FILE* file = std::fopen(WAYPOINT_FILE_NAME, "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  for (int32_t number : {0, 1, 5, 98, 99, -1}) {
    double lat = 0.0, lon = 0.0;
    int32_t last_number = 0;
    load_waypoint(number, lat, lon, last_number);
  }
  WaypointEntry table[WAYPOINT_TABLE_SIZE];
  read_waypoint_table(table);
  return 0;
}
