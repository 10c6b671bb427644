#include "host/lesson/lesson_json.h"

#include <variant>

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
    wrong.push_back({{"when", expectation_json(w.when)}, {"tell", w.tell}});
  }
  return {{"line", step.line},
          {"instruction", step.instruction},
          {"outline", std::move(outlines)},
          {"done", std::move(done)},
          {"explain", step.explanation},
          {"wrong", std::move(wrong)},
          {"offer_rate", step.offer_rate}};
}

}  // namespace

json lesson_json(const std::string& name, const Lesson& lesson) {
  json steps = json::array();
  for (const Step& step : lesson.steps) steps.push_back(step_json(step));
  return {{"name", name},
          {"title", lesson.title},
          {"about", lesson.about},
          {"aircraft", lesson.needs_own_aircraft},
          {"steps", std::move(steps)}};
}

}  // namespace host::lesson
