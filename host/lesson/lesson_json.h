// A lesson as the live page follows it: its steps, each with the controls to outline and the
// expectations of the panel's published state that finish it or show a wrong move.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "host/lesson/lesson.h"

namespace host::lesson {

nlohmann::json lesson_json(const std::string& name, const Lesson& lesson);

// Every *.lesson file of a folder, by file name: {"lessons": [...], "errors": ["FILE:LINE: ..."]}.
// A lesson that cannot be read is left out and named in "errors", so the page says why.
nlohmann::json folder_lessons_json(const std::filesystem::path& folder);

// An expectation of the panel as the page compares it with its state: {kind, gauge, name,
// value}, `text` against state.windows, `visible` against state.visible, `image` against
// state.images.
nlohmann::json expectation_json(const scenario::Expectation& expectation);

}  // namespace host::lesson
