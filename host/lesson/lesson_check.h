// The headless check of a lesson: its setup, then each step's model answer followed by the
// expectations that finish the step, as one scenario the runner plays against the real module.
// A step that cannot be completed fails at its own line; so does a step the page would pass over
// at once (done before the pilot acts) or greet with a wrong move.
#pragma once

#include <vector>

#include "host/lesson/lesson.h"
#include "host/scenario/scenario_runner.h"

namespace host::lesson {

std::vector<scenario::Command> model_answer(const Lesson& lesson);

// Plays the model answer, checking each step's start on the way.
RunOutcome play_lesson(ScenarioRunner& runner, const Lesson& lesson);

}  // namespace host::lesson
