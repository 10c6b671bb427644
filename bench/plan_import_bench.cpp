// Time of one flight-plan import on the largest plan of the shared corpus (121 waypoints, 47 KB,
// of which the first 99 are used): the whole import as the CDU cycle runs it in one frame,
// reading PLAN.PLN, writing and reading back the scratch file, and replacing the waypoint file.
// The plan is read from the corpus folder (INS_CORPUS_DIR, by default ../shared/corpus beside the
// project) and copied into a temporary folder.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_folder.h"
#include "cdu/flight_plan_import.h"
#include "module/gauge_tables.h"
#include "state/ins_state.h"
#include "store/plan_import.h"

namespace {

const std::filesystem::path LARGEST_PLAN =
    std::filesystem::path(INS_CORPUS_DIR) / "plans/xml-lnm-KSEA-KFLL-121wp.PLN";

void BM_ImportLargestCorpusPlan(benchmark::State& state) {
  if (!std::filesystem::exists(LARGEST_PLAN)) {
    state.SkipWithError("flight-plan corpus not found (INS_CORPUS_DIR)");
    return;
  }
  const BenchFolder folder(state, BenchFolder::AsWorkingFolder);
  if (!folder.made()) return;
  std::filesystem::copy_file(LARGEST_PLAN, folder.path() / PLAN_FILE_NAME);

  reset_module_for_tests();
  for (auto _ : state) {
    ins_state.plan_import_request = 1;
    import_flight_plan();
  }
  const bool imported = std::filesystem::file_size("WAYPOINTS.DAT") > 0;
  if (!imported) state.SkipWithError("the import wrote no waypoint file");
}
BENCHMARK(BM_ImportLargestCorpusPlan)->Unit(benchmark::kMicrosecond);

}  // namespace
