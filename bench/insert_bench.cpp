// Time of one INSERT into a 100-line waypoint file: the whole key press as the pilot makes it
// with a complete entry open, that is reading the file into the table by each line's number,
// putting the new waypoint in, and writing all 100 lines through the atomic rewrite (temporary
// file, flush, rename). Runs in a temporary folder.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench_folder.h"
#include "cdu/keyboard.h"
#include "module/gauge_tables.h"
#include "state/ins_state.h"
#include "store/waypoint_file.h"

namespace {

constexpr int FULL_FILE_LINES = 100;
constexpr int8_t ENTRY_COMPLETE = 16;

void write_full_waypoint_file() {
  std::ofstream file(WAYPOINT_FILE_NAME);
  for (int n = 0; n < FULL_FILE_LINES; ++n) {
    file << n << ' ' << 0.8 + 0.001 * n << ' ' << 2.1 - 0.002 * n << '\n';
  }
}

// An entry of N 47°26.98 W 122°18.51 for waypoint 42, keyed and ready to store.
void open_complete_entry() {
  InsState& s = ins_state;
  s.waypoint_entry_mode = 1;
  s.entry_position = ENTRY_COMPLETE;
  s.thumbwheel_tens = 4;
  s.thumbwheel_units = 2;
  s.entry_north = 1;
  s.entry_west = 1;
  s.entry_lat_deg_tens = 4, s.entry_lat_deg_units = 7;
  s.entry_lat_min_tens = 2, s.entry_lat_min_units = 6;
  s.entry_lat_min_tenths = 9, s.entry_lat_min_hundredths = 8;
  s.entry_lon_deg_hundreds = 1, s.entry_lon_deg_tens = 2, s.entry_lon_deg_units = 2;
  s.entry_lon_min_tens = 1, s.entry_lon_min_units = 8;
  s.entry_lon_min_tenths = 5, s.entry_lon_min_hundredths = 1;
  s.insert_pressed = 0;  // the key's latch released, as after 5 ticks
}

// INSERTs in a folder that holds the waypoint file and `other_files` files more: the rewrite
// looks through the folder for stale temporaries, and a simulator's main folder holds many files.
void insert_in_folder(benchmark::State& state, int other_files) {
  const BenchFolder folder(state, BenchFolder::AsWorkingFolder);
  if (!folder.made()) return;
  write_full_waypoint_file();
  for (int i = 0; i < other_files; ++i) std::ofstream("OTHER" + std::to_string(i) + ".DAT");

  reset_module_for_tests();
  const MousePoint point{150, 90};
  bool stored = true;
  for (auto _ : state) {
    state.PauseTiming();
    open_complete_entry();
    state.ResumeTiming();
    insert_key(&point, MOUSE_LEFT_SINGLE);
    stored = stored && ins_state.waypoint_entry_mode == 0;  // closed only when the file was written
  }
  if (!stored) state.SkipWithError("an INSERT did not store the waypoint");
}

void BM_InsertInto100LineFile(benchmark::State& state) {
  insert_in_folder(state, 0);
}
BENCHMARK(BM_InsertInto100LineFile)->Unit(benchmark::kMicrosecond);

void BM_InsertInAFolderOf2000Files(benchmark::State& state) {
  insert_in_folder(state, 2000);
}
BENCHMARK(BM_InsertInAFolderOf2000Files)->Unit(benchmark::kMicrosecond);

}  // namespace
