// Reads a lesson file: the scenario language, its commands read by the scenario parser, with a
// few words of its own that group them into steps (docs/lessons.md). Pure: no file access.
#pragma once

#include <optional>
#include <string_view>

#include "host/lesson/lesson.h"
#include "host/scenario/scenario_parser.h"

namespace host::lesson {

struct ReadResult {
  Lesson lesson;
  std::optional<scenario::ParseError> error;  // set: the lesson is incomplete and must not run
};

ReadResult read_lesson(std::string_view text);

}  // namespace host::lesson
