#include "host/expectation_checker.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "flight_log.h"
#include "host/control_names.h"
#include "host/scenario_errors.h"

namespace host {

namespace {

std::string in_quotes(const std::string& text) {
  return "\"" + text + "\"";
}

std::string hex_id(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", id);
  return text;
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string list_of(const std::vector<std::string>& items) {
  if (items.empty()) return "none";
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

}  // namespace

std::optional<std::vector<std::string>> read_text_lines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::optional<std::string> ExpectationChecker::check(const scenario::Expectation& expectation,
                                                     int line) const {
  return std::visit([&](const auto& e) { return check_one(e, line); }, expectation);
}

const ElementHeader& ExpectationChecker::element(const std::string& gauge, const std::string& name,
                                                 int line) const {
  const PlacedGauge* placed = panel_.find(gauge);
  if (placed == nullptr) throw ScenarioError(line, "gauge " + in_quotes(gauge) + " is not placed");
  const std::optional<std::size_t> index = element_index(gauge, name);
  const ElementHeader* found = index ? Panel::element_at(*placed->header, *index) : nullptr;
  if (found == nullptr) {
    throw ScenarioError(line, "gauge " + in_quotes(gauge) + " has no element " + in_quotes(name));
  }
  return *found;
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectText& e,
                                                         int line) const {
  const ElementHeader& window = element(e.gauge, e.window, line);
  if (window.kind != ELEMENT_STRING) {
    throw ScenarioError(line, in_quotes(e.window) + " of " + e.gauge + " is not a text window");
  }
  const std::string shown = panel_.text_of(window);
  if (shown == e.text) return std::nullopt;
  return "expected " + e.gauge + " " + e.window + " " + in_quotes(e.text) + " got " +
         in_quotes(shown);
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectVisible& e,
                                                         int line) const {
  const bool shown = Panel::visible(element(e.gauge, e.element, line));
  if (shown == e.visible) return std::nullopt;
  return "expected " + e.gauge + " " + e.element + " visible " + (e.visible ? "yes" : "no") +
         " got " + (shown ? "yes" : "no");
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectImage& e,
                                                         int line) const {
  const ElementHeader& image = element(e.gauge, e.element, line);
  if (image.kind != ELEMENT_ICON && image.kind != ELEMENT_MOVING_IMAGE) {
    throw ScenarioError(
        line, in_quotes(e.element) + " of " + e.gauge + " is neither an icon nor a moving image");
  }
  const double value = Panel::image_value(image);
  if (value == e.value) return std::nullopt;
  return "expected " + e.gauge + " " + e.element + " image " + number_text(e.value) + " got " +
         number_text(value);
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectEvent& e,
                                                         int) const {
  std::vector<std::string> values;
  bool matched = false;
  for (const KeyEvent& event : log_.since_command().events) {
    if (event.event_id != e.event_id) continue;
    values.push_back(std::to_string(event.value));
    matched = matched || (e.value && event.value == *e.value);
  }
  if (!e.value) {
    if (values.empty()) return std::nullopt;
    return "expected no event " + hex_id(e.event_id) + " got values " + list_of(values);
  }
  if (matched) return std::nullopt;
  return "expected event " + hex_id(e.event_id) + " value " + std::to_string(*e.value) + " got " +
         (values.empty() ? std::string("no such event") : "values " + list_of(values));
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectSound& e,
                                                         int) const {
  const std::vector<std::string>& sounds = log_.since_command().sounds;
  std::vector<std::string> played;
  for (const std::string& sound : sounds) played.push_back(in_quotes(sound));
  if (!e.path) {
    if (sounds.empty()) return std::nullopt;
    return "expected no sound got " + list_of(played);
  }
  for (const std::string& sound : sounds) {
    if (sound == *e.path) return std::nullopt;
  }
  return "expected sound " + in_quotes(*e.path) + " got " + list_of(played);
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectFileLine& e,
                                                         int) const {
  const auto lines = read_text_lines(working_folder_ / e.name);
  const std::string what =
      "expected " + e.name + " line " + std::to_string(e.line) + " " + in_quotes(e.text) + " got ";
  if (!lines) return what + "no file";
  const auto index = static_cast<std::size_t>(e.line);
  if (index >= lines->size()) return what + "only " + std::to_string(lines->size()) + " lines";
  if ((*lines)[index] == e.text) return std::nullopt;
  return what + in_quotes((*lines)[index]);
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectFileLines& e,
                                                         int) const {
  const auto lines = read_text_lines(working_folder_ / e.name);
  const std::string what = "expected " + e.name + " lines " + std::to_string(e.count) + " got ";
  if (!lines) return what + "no file";
  if (static_cast<int64_t>(lines->size()) == e.count) return std::nullopt;
  return what + std::to_string(lines->size());
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectNoFile& e,
                                                         int) const {
  std::error_code error;
  if (!std::filesystem::exists(working_folder_ / e.name, error)) return std::nullopt;
  return "expected no file " + e.name + " got a file";
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectNear& e, int) const {
  const double away_nm =
      flight::distance_nm(aircraft_.lat_deg, aircraft_.lon_east_deg, e.lat_deg, e.lon_east_deg);
  if (away_nm <= e.within_nm) return std::nullopt;
  char text[160];
  std::snprintf(text, sizeof text, "expected near %.6f %.6f within %.2f NM got %.2f NM away",
                e.lat_deg, e.lon_east_deg, e.within_nm, away_nm);
  return text;
}

}  // namespace host
