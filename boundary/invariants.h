// Checks of what only a programmer's mistake can break: an element record cast to the wrong
// kind, a depth past the end of its chain, a ring or a kept text asked for more than it holds.
// Bad input never reaches these: every value from a file, a host or a peer is checked where it
// enters and handled there. In debug, sanitizer and fuzz builds (INS_CHECK_INVARIANTS) a broken
// invariant stops the program at once, naming the check and its place, so a test or a fuzzer
// sees the mistake where it is made rather than as a corrupted record later. Release builds,
// the ones a simulator loads, compile the checks out: there they would cost a branch on every
// frame and could only trade one failure for another.
#pragma once

#if defined(INS_CHECK_INVARIANTS)
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void invariant_broken(const char* check, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, check);
  std::fflush(stderr);
  std::abort();
}

#define INS_INVARIANT(check) \
  ((check) ? static_cast<void>(0) : invariant_broken(#check, __FILE__, __LINE__))
#else
// Unevaluated, so a check's names still count as used and the build sees the same code.
#define INS_INVARIANT(check) static_cast<void>(sizeof(check))
#endif
