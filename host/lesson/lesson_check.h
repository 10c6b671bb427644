// The headless check of a lesson: its setup, then each step's model answer followed by the
// expectations that finish the step, as one scenario the runner plays against the real module.
// A step that cannot be completed fails at its own line.
#pragma once

#include <vector>

#include "host/lesson/lesson.h"

namespace host::lesson {

std::vector<scenario::Command> model_answer(const Lesson& lesson);

}  // namespace host::lesson
