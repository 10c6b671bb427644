#include "host/scenario/expectation_checker.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "host/panel/control_names.h"
#include "host/panel/display_text.h"
#include "host/platform/checked_files.h"
#include "host/platform/working_folder.h"
#include "host/scenario/scenario_errors.h"
#if INS_HOST_FLIGHT_MODEL
#include "host/flight/flight_log.h"
#endif

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

// "271" once, "271 (300 times)" more often.
std::string with_count(const std::string& item, uint64_t count) {
  return count == 1 ? item : item + " (" + std::to_string(count) + " times)";
}

// A command that brought more distinct records than are kept cannot say whether one of the
// records not kept was the one expected: the expectation fails and says why.
std::string not_kept_note(uint64_t not_kept, const std::string& what) {
  return " (and " + std::to_string(not_kept) + " more " + what + " beyond the " +
         std::to_string(Tallies<KeyEvent>::MAX_DISTINCT) +
         " distinct ones a command keeps: shorten the command to check them)";
}

std::string list_of(const std::vector<std::string>& items) {
  if (items.empty()) return "none";
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

// The file an `expect file` reads: `name` in the working folder, with its links followed. One
// that leads out of the folder is the scenario's mistake (it reads only what it wrote or the
// module did), not an expectation that failed.
std::filesystem::path expected_file(const std::filesystem::path& folder, const std::string& name,
                                    int line) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(folder / name, error);
  if (error) return folder / name;  // not there: the expectation says so
  if (!lies_within(resolved, folder)) {
    throw ScenarioError(
        line, "expect file " + in_quotes(name) + ": a link leads out of the working folder");
  }
  return resolved;
}

}  // namespace

std::optional<std::vector<std::string>> read_text_lines(const std::filesystem::path& path) {
  // Only a plain file of a scenario's size: a FIFO would wait for a writer for ever, a device
  // never end.
  std::string text;
  try {
    text = read_input_file(path, {"the file", "a file a scenario reads", MAX_SCENARIO_FILE_BYTES});
  } catch (const FileError&) {
    return std::nullopt;
  }
  std::vector<std::string> lines;
  std::istringstream in(text);
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

const ElementHeader& ExpectationChecker::text_window(const scenario::ExpectText& e,
                                                     int line) const {
  const ElementHeader& window = element(e.gauge, e.window, line);
  if (window.kind != ELEMENT_STRING) {
    throw ScenarioError(line, in_quotes(e.window) + " of " + e.gauge + " is not a text window");
  }
  return window;
}

const ElementHeader& ExpectationChecker::image(const scenario::ExpectImage& e, int line) const {
  const ElementHeader& image = element(e.gauge, e.element, line);
  if (image.kind != ELEMENT_ICON && image.kind != ELEMENT_MOVING_IMAGE) {
    throw ScenarioError(
        line, in_quotes(e.element) + " of " + e.gauge + " is neither an icon nor a moving image");
  }
  return image;
}

ExpectationChecker::Condition ExpectationChecker::condition(
    const scenario::Expectation& expectation, int line) const {
  Condition condition(*this, expectation, line);
  if (const auto* text = std::get_if<scenario::ExpectText>(&expectation)) {
    condition.reads_ = Condition::Reads::Text;
    condition.element_ = &text_window(*text, line);
  } else if (const auto* visible = std::get_if<scenario::ExpectVisible>(&expectation)) {
    condition.reads_ = Condition::Reads::Visible;
    condition.element_ = &element(visible->gauge, visible->element, line);
  } else if (const auto* image_value = std::get_if<scenario::ExpectImage>(&expectation)) {
    condition.reads_ = Condition::Reads::Image;
    condition.element_ = &image(*image_value, line);
  }
  return condition;
}

bool ExpectationChecker::Condition::holds() const {
  switch (reads_) {
    case Reads::Text:
      return latin1_equals_utf8(checker_.panel_.text_bytes(*element_),
                                std::get<scenario::ExpectText>(expectation_).text);
    case Reads::Visible:
      return Panel::visible(*element_) == std::get<scenario::ExpectVisible>(expectation_).visible;
    case Reads::Image:
      return Panel::image_value(*element_) == std::get<scenario::ExpectImage>(expectation_).value;
    case Reads::Other:
      break;
  }
  return !checker_.check(expectation_, line_);
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectText& e,
                                                         int line) const {
  const std::string shown = panel_.text_of(text_window(e, line));
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
  const double value = Panel::image_value(image(e, line));
  if (value == e.value) return std::nullopt;
  return "expected " + e.gauge + " " + e.element + " image " +
         knob_value_text(e.gauge, e.element, e.value) + " got " +
         knob_value_text(e.gauge, e.element, value);
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectEvent& e,
                                                         int) const {
  const Tallies<KeyEvent>& events = log_.since_command().events;
  std::vector<std::string> values;
  bool matched = false;
  for (const Tally<KeyEvent>& tally : events.kept()) {
    if (tally.record.event_id != e.event_id) continue;
    values.push_back(with_count(std::to_string(tally.record.value), tally.count));
    matched = matched || (e.value && tally.record.value == *e.value);
  }
  if (matched) return std::nullopt;
  if (!e.value && values.empty() && events.not_kept() == 0) return std::nullopt;
  std::string got = values.empty() ? std::string("no such event") : "values " + list_of(values);
  if (events.not_kept() > 0) got += not_kept_note(events.not_kept(), "events");
  if (!e.value) return "expected no event " + hex_id(e.event_id) + " got " + got;
  return "expected event " + hex_id(e.event_id) + " value " + std::to_string(*e.value) + " got " +
         got;
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectSound& e,
                                                         int) const {
  const Tallies<std::string>& sounds = log_.since_command().sounds;
  std::vector<std::string> played;
  for (const Tally<std::string>& tally : sounds.kept()) {
    if (e.path && tally.record == *e.path) return std::nullopt;
    played.push_back(with_count(in_quotes(tally.record), tally.count));
  }
  if (!e.path && played.empty() && sounds.not_kept() == 0) return std::nullopt;
  std::string got = list_of(played);
  if (sounds.not_kept() > 0) got += not_kept_note(sounds.not_kept(), "sounds");
  if (!e.path) return "expected no sound got " + got;
  return "expected sound " + in_quotes(*e.path) + " got " + got;
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectFileLine& e,
                                                         int line) const {
  const auto lines = read_text_lines(expected_file(working_folder_, e.name, line));
  const std::string what =
      "expected " + e.name + " line " + std::to_string(e.line) + " " + in_quotes(e.text) + " got ";
  if (!lines) return what + "no file";
  const auto index = static_cast<std::size_t>(e.line);
  if (index >= lines->size()) return what + "only " + std::to_string(lines->size()) + " lines";
  const std::string& found = (*lines)[index];
  if (found == e.text) return std::nullopt;
  // No more of the file than the length of the text expected: a scenario may be handed a file
  // whose contents are none of its business, and the message must not print them.
  if (found.size() <= e.text.size()) return what + in_quotes(found);
  return what + in_quotes(found.substr(0, e.text.size())) + " and " +
         std::to_string(found.size() - e.text.size()) + " more characters";
}

std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectFileLines& e,
                                                         int line) const {
  const auto lines = read_text_lines(expected_file(working_folder_, e.name, line));
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

#if INS_HOST_FLIGHT_MODEL
std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectNear& e, int) const {
  const double away_nm =
      flight::distance_nm(aircraft_.lat_deg, aircraft_.lon_east_deg, e.lat_deg, e.lon_east_deg);
  if (away_nm <= e.within_nm) return std::nullopt;
  char text[160];
  std::snprintf(text, sizeof text, "expected near %.6f %.6f within %.2f NM got %.2f NM away",
                e.lat_deg, e.lon_east_deg, e.within_nm, away_nm);
  return text;
}
#else
// This ins-host is built without the flight model (see host/CMakeLists.txt).
std::optional<std::string> ExpectationChecker::check_one(const scenario::ExpectNear&,
                                                         int line) const {
  throw ScenarioError(
      line, "\"expect near\" needs the flight model, which this ins-host is built without");
}
#endif

}  // namespace host
