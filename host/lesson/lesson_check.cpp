#include "host/lesson/lesson_check.h"

#include <map>
#include <string>

#include "host/scenario/scenario_errors.h"

namespace host::lesson {

namespace {

bool holds(const ExpectationChecker& checker, const scenario::Command& command) {
  return !checker.check(std::get<scenario::Expectation>(command.action), command.line);
}

// Before the pilot acts, the panel must not already show the step done (the page would pass it
// over) nor show one of its wrong moves (the page would greet the pilot with it).
void check_step_start(const ExpectationChecker& checker, const Step& step) {
  bool all_done = true;
  for (const scenario::Command& done : step.done) all_done = all_done && holds(checker, done);
  if (all_done) {
    throw ScenarioError(step.line,
                        "the step is done before its model answer runs: the page would pass it "
                        "over; its done expectations must need the pilot's move");
  }
  for (const WrongMove& wrong : step.wrong) {
    bool shows = true;
    for (const scenario::Expectation& e : wrong.when)
      shows = shows && !checker.check(e, wrong.line);
    if (shows) {
      throw ScenarioError(wrong.line,
                          "the wrong move shows already when the step starts: the page would "
                          "tell the pilot off before any move");
    }
  }
}

}  // namespace

std::vector<scenario::Command> model_answer(const Lesson& lesson) {
  std::vector<scenario::Command> commands = lesson.setup;
  for (const Step& step : lesson.steps) {
    commands.insert(commands.end(), step.answer.begin(), step.answer.end());
    commands.insert(commands.end(), step.done.begin(), step.done.end());
  }
  return commands;
}

RunOutcome play_lesson(ScenarioRunner& runner, const Lesson& lesson) {
  std::map<int, const Step*> step_starts;  // the line of a step's first answer command
  for (const Step& step : lesson.steps) step_starts[step.answer.front().line] = &step;
  runner.set_command_observer([&runner, &step_starts](int line) {
    const auto start = step_starts.find(line);
    if (start == step_starts.end() || !runner.panel().placed()) return;
    check_step_start(runner.checker(), *start->second);
  });
  return runner.run(model_answer(lesson));
}

}  // namespace host::lesson
