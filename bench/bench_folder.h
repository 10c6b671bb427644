// A temporary folder for one benchmark, made in the system's temporary folder and removed with
// everything in it when the benchmark ends. A benchmark of the module's file work enters it: the
// module reads and writes its files in the working folder, which is restored on the way out.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

class BenchFolder {
 public:
  enum Use { Apart, AsWorkingFolder };

  // When no folder can be made the benchmark is skipped with an error and made() is false.
  BenchFolder(benchmark::State& state, Use use) {
    std::string name = (std::filesystem::temp_directory_path() / "ins-bench-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) {
      state.SkipWithError("no temporary folder");
      return;
    }
    path_ = name;
    if (use == AsWorkingFolder) {
      previous_ = std::filesystem::current_path();
      std::filesystem::current_path(path_);
    }
  }
  ~BenchFolder() {
    if (!previous_.empty()) std::filesystem::current_path(previous_);
    if (!path_.empty()) std::filesystem::remove_all(path_);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  bool made() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;  // the working folder to go back to, when entered
};
