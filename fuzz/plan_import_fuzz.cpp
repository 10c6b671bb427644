// Fuzz target: the flight-plan import on arbitrary PLAN.PLN contents, as the pure file routine
// it is (no INS state involved).
//
// Each input is written as PLAN.PLN into a private temporary folder, over a stored waypoint
// file, and imported. Besides the sanitizers' findings, the run stops on a broken promise of the
// import: the scratch file must be gone, and the stored file either stays byte for byte (the
// import says it wrote nothing) or is replaced by a whole one: 100 lines numbered 0..99, each a
// number and two coordinates on the globe, line 0 the present position.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "store/plan_import.h"
#include "store/waypoint_file.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "plan import broke a promise: %s\n", what);
    std::abort();
  }
}

// A stored plan the import may keep or replace, but never damage.
constexpr const char* STORED_FILE = "0 0.25000000 -0.50000000\n7 0.1 0.2\n";
// The poles and the antimeridian as the file's single precision writes them.
constexpr double LAT_LIMIT_RAD = 1.57079637;
constexpr double LON_LIMIT_RAD = 3.14159274;

std::string read_file(const char* name) {
  std::string text;
  if (std::FILE* file = std::fopen(name, "rb")) {
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
    std::fclose(file);
  }
  return text;
}

void write_file(const char* name, const void* data, std::size_t size) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

void check_whole_waypoint_file() {
  std::FILE* file = std::fopen(WAYPOINT_FILE_NAME, "r");
  check(file != nullptr, "no waypoint file after an import");
  char line[WAYPOINT_LINE_BUFFER];
  int expected_number = 0;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    check(std::strchr(line, '\n') != nullptr, "waypoint file line without a line feed");
    int number = -1;
    double lat = NAN, lon = NAN;
    check(std::sscanf(line, "%d %lf %lf", &number, &lat, &lon) == 3, "unreadable waypoint line");
    check(number == expected_number, "waypoint lines out of order");
    check(std::isfinite(lat) && std::isfinite(lon), "coordinate that is not a finite number");
    check(std::fabs(lat) <= LAT_LIMIT_RAD && std::fabs(lon) <= LON_LIMIT_RAD,
          "position off the globe");
    if (number == 0) check(lat == 0.25 && lon == -0.5, "line 0 is not the present position");
    ++expected_number;
  }
  std::fclose(file);
  check(expected_number == 100, "waypoint file without 100 lines");
}

}  // namespace

// The private folder the inputs are imported in; removed when the run ends normally (a crash
// leaves it for a look at the files).
std::filesystem::path& work_folder() {
  static std::filesystem::path folder;
  return folder;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "ins-plan-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  work_folder() = pattern;
  std::filesystem::current_path(pattern);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(work_folder(), ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  write_file(PLAN_FILE_NAME, data, size);
  write_file(WAYPOINT_FILE_NAME, STORED_FILE, std::strlen(STORED_FILE));

  check(plan_file_opens(), "a plan that opens is not seen");
  WaypointEntry table[WAYPOINT_TABLE_SIZE];
  const bool imported = import_plan_file(0.25, -0.5, table);

  check(!std::filesystem::exists(PLAN_SCRATCH_FILE_NAME), "scratch file left behind");
  if (imported) {
    check_whole_waypoint_file();
  } else {
    check(read_file(WAYPOINT_FILE_NAME) == STORED_FILE, "a refused import changed the file");
  }
  return 0;
}
