#include "host/lesson/lesson_check.h"

namespace host::lesson {

std::vector<scenario::Command> model_answer(const Lesson& lesson) {
  std::vector<scenario::Command> commands = lesson.setup;
  for (const Step& step : lesson.steps) {
    commands.insert(commands.end(), step.answer.begin(), step.answer.end());
    commands.insert(commands.end(), step.done.begin(), step.done.end());
  }
  return commands;
}

}  // namespace host::lesson
