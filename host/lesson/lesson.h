// A lesson as read from its file: a scenario whose commands are grouped into steps a pilot takes
// one at a time. Each step says what to do, which control to use, what the panel shows once it
// is done (expectations of the panel's own state) and what a wrong move looks like; its model
// answer (the scenario's own clicks, keys and waits) completes it, so every lesson is checked by
// running it headless.
#pragma once

#include <string>
#include <vector>

#include "host/scenario/scenario.h"

namespace host::lesson {

// A wrong move: while the step is not done, the panel shows all of `when` (the `wrong` lines
// before one `tell`) and the pilot is told why.
struct WrongMove {
  int line = 0;  // its first `wrong` line
  std::vector<scenario::Expectation> when;
  std::string tell;
};

struct Outline {
  std::string gauge;    // "INS" or "ALIGN"
  std::string control;  // a click area's name ("SET", "CW")
};

struct Step {
  int line = 0;             // the `step` line
  std::string instruction;  // in a pilot's words
  std::vector<Outline> outlines;
  std::vector<scenario::Command> answer;  // the model answer: clicks, keys, waits
  std::vector<scenario::Command> done;    // expectations (`done ...`) that finish the step
  std::string explanation;                // shown once it is done
  std::vector<WrongMove> wrong;
  int offer_rate = 0;  // a simulation rate the page offers while the step waits (0: none)
};

struct Lesson {
  std::string title;
  std::string about;
  // It needs the host's own aircraft: standing where the lesson puts it (an alignment, an
  // import) or flown by the host (a take-off). Not offered where another simulator flies it.
  bool needs_own_aircraft = false;
  std::vector<scenario::Command> setup;  // the commands before the first step
  std::vector<Step> steps;
};

}  // namespace host::lesson
