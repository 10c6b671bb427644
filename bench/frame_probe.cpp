// Frames of the placed INS module in the real host panel, for two measurements that a timed
// benchmark cannot give:
//
//   frame_probe check      run under LD_PRELOAD=liballoc_open_counter.so: the frame that reads
//                          a new leg from the waypoint file must open it (the counter works), and
//                          the ordinary frames after it must allocate nothing and open no file.
//                          Exit status 0 when both hold.
//   frame_probe frames N   run N ordinary frames through ins_bench_ordinary_frame, the function
//                          that callgrind's --toggle-collect counts (bench/README.md).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "flown_panel.h"
#include "tests/support/preloaded_functions.h"

extern "C" __attribute__((noinline)) void ins_bench_ordinary_frame(bench::FlownPanel& panel) {
  panel.frame();
}

namespace {

constexpr int ORDINARY_FRAMES = 3000;  // 100 s of simulated time at 30 frames a second

struct Counter {
  void (*arm)(int) = nullptr;
  long (*allocations)() = nullptr;
  long (*opens)() = nullptr;
  void (*reset)() = nullptr;

  bool found() const { return arm && allocations && opens && reset; }
};

Counter find_counter() {
  Counter c;
  find_preloaded_function(c.arm, "alloc_open_counter_arm");
  find_preloaded_function(c.allocations, "alloc_open_counter_allocations");
  find_preloaded_function(c.opens, "alloc_open_counter_opens");
  find_preloaded_function(c.reset, "alloc_open_counter_reset");
  return c;
}

int check() {
  const Counter counter = find_counter();
  if (!counter.found()) {
    std::fprintf(stderr, "the allocation and open counter is not preloaded (LD_PRELOAD)\n");
    return 1;
  }
  int failures = 0;

  // The counter sees what it is meant to see.
  counter.reset();
  counter.arm(1);
  void* volatile block = std::malloc(24);
  std::FILE* file = std::fopen("/dev/null", "r");
  counter.arm(0);
  std::free(block);
  if (file != nullptr) std::fclose(file);
  if (counter.allocations() < 1 || counter.opens() < 1) {
    std::fprintf(stderr, "counter self-test: %ld allocations, %ld opens seen, expected 1 each\n",
                 counter.allocations(), counter.opens());
    ++failures;
  }

  bench::FlownPanel panel;
  panel.approach_leg_end();
  panel.frame();  // AUTO changes the leg: the next frame reads it

  counter.reset();
  counter.arm(1);
  panel.frame();
  counter.arm(0);
  const long reload_opens = counter.opens();
  std::printf("reload frame: %ld allocations, %ld opens\n", counter.allocations(), reload_opens);
  if (reload_opens < 1 || panel.text("INS", "to") != "02") {
    std::fprintf(stderr, "the reload frame did not read the next leg (TO \"%s\", %ld opens)\n",
                 panel.text("INS", "to").c_str(), reload_opens);
    ++failures;
  }

  counter.reset();
  int steering = 0;
  for (int i = 0; i < ORDINARY_FRAMES; ++i) {
    counter.arm(1);
    panel.frame();
    counter.arm(0);
    steering += panel.steering_events();
  }
  std::printf("%d ordinary frames: %ld allocations, %ld opens, %d steering events\n",
              ORDINARY_FRAMES, counter.allocations(), counter.opens(), steering);
  if (counter.allocations() != 0 || counter.opens() != 0) {
    std::fprintf(stderr, "ordinary frames allocated or opened files\n");
    ++failures;
  }
  if (steering != ORDINARY_FRAMES) {
    std::fprintf(stderr, "HOLD was not steering every frame\n");
    ++failures;
  }
  return failures == 0 ? 0 : 1;
}

int frames(int count) {
  bench::FlownPanel panel;
  for (int i = 0; i < count; ++i) ins_bench_ordinary_frame(panel);
  std::printf("%d ordinary frames, TO \"%s\", %d steering events in the last\n", count,
              panel.text("INS", "to").c_str(), panel.steering_events());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "check" && argc == 2) return check();
    if (mode == "frames" && argc == 3) return frames(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: frame_probe check | frame_probe frames N\n");
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "frame_probe: %s\n", error.what());
    return 1;
  }
}
