#include "host/lesson/lesson_json.h"

#include <algorithm>
#include <variant>
#include <vector>

#include "host/lesson/lesson_reader.h"
#include "host/platform/checked_files.h"

namespace host::lesson {

using nlohmann::json;

json expectation_json(const scenario::Expectation& expectation) {
  if (const auto* e = std::get_if<scenario::ExpectText>(&expectation)) {
    return {{"kind", "text"}, {"gauge", e->gauge}, {"name", e->window}, {"value", e->text}};
  }
  if (const auto* e = std::get_if<scenario::ExpectVisible>(&expectation)) {
    return {{"kind", "visible"}, {"gauge", e->gauge}, {"name", e->element}, {"value", e->visible}};
  }
  if (const auto* e = std::get_if<scenario::ExpectImage>(&expectation)) {
    return {{"kind", "image"}, {"gauge", e->gauge}, {"name", e->element}, {"value", e->value}};
  }
  return nullptr;  // the reader lets no other kind into a step
}

namespace {

json step_json(const Step& step) {
  json outlines = json::array();
  for (const Outline& o : step.outlines)
    outlines.push_back({{"gauge", o.gauge}, {"control", o.control}});
  json done = json::array();
  for (const scenario::Command& c : step.done) {
    done.push_back(expectation_json(std::get<scenario::Expectation>(c.action)));
  }
  json wrong = json::array();
  for (const WrongMove& w : step.wrong) {
    json when = json::array();
    for (const scenario::Expectation& e : w.when) when.push_back(expectation_json(e));
    wrong.push_back({{"when", std::move(when)}, {"tell", w.tell}});
  }
  return {{"line", step.line},
          {"instruction", step.instruction},
          {"outline", std::move(outlines)},
          {"done", std::move(done)},
          {"explain", step.explanation},
          {"wrong", std::move(wrong)},
          {"offer_rate", step.offer_rate}};
}

// The conditions the lesson sets before its first step (where the aircraft stands, its power):
// the page sets them when the pilot starts the lesson.
json conditions_json(const Lesson& lesson) {
  json conditions = json::array();
  for (const scenario::Command& c : lesson.setup) {
    if (const auto* set = std::get_if<scenario::SetCondition>(&c.action)) {
      conditions.push_back({{"name", set->name}, {"value", set->value}});
    }
  }
  return conditions;
}

std::vector<std::filesystem::path> lesson_files(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file() && entry.path().extension() == ".lesson") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

json folder_lessons_json(const std::filesystem::path& folder) {
  json lessons = json::array();
  json errors = json::array();
  for (const std::filesystem::path& file : lesson_files(folder)) {
    const std::string name = file.filename().string();
    try {
      const ReadResult read = read_lesson(
          read_input_file(file, {"the lesson file", "a lesson", MAX_SCENARIO_FILE_BYTES}));
      if (read.error) {
        errors.push_back(name + ":" + std::to_string(read.error->line) + ": " +
                         read.error->message);
      } else {
        lessons.push_back(lesson_json(name, read.lesson));
      }
    } catch (const FileError& refused) {
      errors.push_back(refused.what());
    }
  }
  return {{"lessons", std::move(lessons)}, {"errors", std::move(errors)}};
}

json lesson_json(const std::string& name, const Lesson& lesson) {
  json steps = json::array();
  for (const Step& step : lesson.steps) steps.push_back(step_json(step));
  return {{"name", name},
          {"conditions", conditions_json(lesson)},
          {"title", lesson.title},
          {"about", lesson.about},
          {"aircraft", lesson.needs_own_aircraft},
          {"steps", std::move(steps)}};
}

}  // namespace host::lesson
