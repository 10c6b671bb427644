#include "host/scenario/scenario_parser.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <utility>

#include "host/aircraft/host_variables.h"
#include "host/panel/control_names.h"
#include "host/scenario/nearest_name.h"

namespace host::scenario {

namespace {

// Thrown inside the parser only; parse_scenario turns it into a ParseError.
struct SyntaxError {
  std::string message;
};

std::string in_quotes(std::string_view word) {
  return "\"" + std::string(word) + "\"";
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// "unknown KIND WORD[ of gauge G]; did you mean NAME?"
std::string unknown(std::string_view kind, std::string_view word,
                    const std::vector<std::string_view>& names) {
  return "unknown " + std::string(kind) + " " + std::string(word) + did_you_mean(word, names);
}

// The gauges whose controls and elements have names.
const std::vector<std::string_view> NAMED_GAUGES = {"INS", "ALIGN"};

const std::vector<std::string_view> EXPECTATION_WORDS = {"text",  "visible", "image", "event",
                                                         "sound", "file",    "no",    "near"};

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// Splits a line into words: blanks separate, `#` outside quotes starts a comment, a double-quoted
// text may hold blanks with \" and \\ as escapes (any other backslash stays as it is, so
// Windows-style paths read naturally).
std::vector<Word> split_words(std::string_view line) {
  std::vector<Word> words;
  std::size_t i = 0;
  while (i < line.size()) {
    if (is_blank(line[i])) {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    Word word;
    if (line[i] == '"') {
      word.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char c = line[i];
        if (c == '"') {
          closed = true;
          ++i;
          break;
        }
        if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
          word.text.push_back(line[i + 1]);
          i += 2;
          continue;
        }
        word.text.push_back(c);
        ++i;
      }
      if (!closed) throw SyntaxError{"text " + in_quotes(word.text) + " has no closing quote"};
      if (i < line.size() && !is_blank(line[i]) && line[i] != '#') {
        throw SyntaxError{"blank expected after the text " + in_quotes(word.text)};
      }
    } else {
      while (i < line.size() && !is_blank(line[i]) && line[i] != '#')
        word.text.push_back(line[i++]);
      if (word.text.find('"') != std::string::npos) {
        throw SyntaxError{"stray quote in " + in_quotes(word.text)};
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::optional<double> as_double(std::string_view text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || ptr != end || !std::isfinite(value)) return {};
  return value;
}

std::optional<int64_t> as_integer(std::string_view text) {
  int base = 10;
  bool negative = false;
  if (text.starts_with('-')) {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  // One sign at most, before any 0x: from_chars would take a second '-' ("--5", "0x-5"), and
  // negating its most negative value overflows.
  if (text.starts_with('-')) return {};
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || ptr != end) return {};
  return negative ? -value : value;
}

// The words of one command line after the command word, with checks that name what is wrong.
class Args {
 public:
  Args(std::string command, std::vector<Word> words, std::size_t first)
      : command_(std::move(command)) {
    for (std::size_t i = first; i < words.size(); ++i) words_.push_back(std::move(words[i]));
  }

  std::size_t size() const { return words_.size(); }
  const Word& at(std::size_t i) const { return words_[i]; }
  const std::string& text(std::size_t i) const { return words_[i].text; }

  void need(std::size_t min, std::size_t max, std::string_view usage) const {
    if (words_.size() < min || words_.size() > max) {
      throw SyntaxError{in_quotes(command_) + " takes " + std::string(usage) + ", got " +
                        std::to_string(words_.size()) + " word(s)"};
    }
  }

  double number(std::size_t i) const {
    if (auto value = as_double(text(i))) return *value;
    throw SyntaxError{in_quotes(text(i)) + " is not a number"};
  }

  int64_t integer(std::size_t i, int64_t min, int64_t max) const {
    auto value = as_integer(text(i));
    if (!value) throw SyntaxError{in_quotes(text(i)) + " is not a whole number"};
    if (*value < min || *value > max) {
      throw SyntaxError{in_quotes(text(i)) + " is out of range " + std::to_string(min) + ".." +
                        std::to_string(max)};
    }
    return *value;
  }

  // A number within [min, max]; `what` names the value for the message ("a latitude").
  double number_in(std::size_t i, double min, double max, std::string_view what) const {
    const double value = number(i);
    if (value < min || value > max) {
      throw SyntaxError{in_quotes(text(i)) + " is out of range for " + std::string(what) + ": " +
                        number_text(min) + " to " + number_text(max)};
    }
    return value;
  }

  double duration(std::size_t i) const {
    const std::optional<double> value = parse_duration_s(text(i));
    if (!value) {
      throw SyntaxError{in_quotes(text(i)) + " is not a duration (like 0.5s, 15s, 2m, 1h30m)"};
    }
    if (*value > MAX_WAIT_S) {
      throw SyntaxError{in_quotes(text(i)) + " is too long: one command waits at most " +
                        number_text(MAX_WAIT_S / 3600.0) + "h"};
    }
    return *value;
  }

  // A file in the working folder: relative, and never reaching out of the folder.
  std::string file_name(std::size_t i) const {
    const std::string& name = text(i);
    const std::filesystem::path path(name);
    bool escapes = name.empty() || path.is_absolute();
    for (const auto& part : path) escapes = escapes || part == "..";
    if (escapes)
      throw SyntaxError{"file name " + in_quotes(name) + " must stay in the working folder"};
    return name;
  }

  std::string gauge(std::size_t i) const { return text(i); }

  // An image index, or for a knob the legend of its position (`WAY_PT`, `NAV`).
  double image_value(const std::string& gauge, const std::string& element, std::size_t i) const {
    if (auto value = as_double(text(i))) return *value;
    if (auto position = knob_position(gauge, element, text(i)))
      return static_cast<double>(*position);
    const std::vector<std::string_view> legends = knob_legends(gauge, element);
    if (legends.empty()) throw SyntaxError{in_quotes(text(i)) + " is not a number"};
    throw SyntaxError{in_quotes(text(i)) + " is not a number nor a legend of " + gauge + " " +
                      element + did_you_mean(text(i), legends)};
  }

  Control control(const std::string& gauge, std::size_t i) const {
    const std::string& word = text(i);
    Control control{word};
    const std::size_t comma = word.find(',');
    if (comma != std::string::npos) {
      auto x = as_integer(std::string_view(word).substr(0, comma));
      auto y = as_integer(std::string_view(word).substr(comma + 1));
      constexpr int64_t LIMIT = 1 << 20;
      if (!x || !y || *x < -LIMIT || *x > LIMIT || *y < -LIMIT || *y > LIMIT) {
        throw SyntaxError{"point " + in_quotes(word) + " is not X,Y in whole pixels"};
      }
      control.is_point = true;
      control.x = static_cast<int32_t>(*x);
      control.y = static_cast<int32_t>(*y);
      return control;
    }
    if (!control_box_index(gauge, word)) {
      if (!has_named_controls(gauge)) {
        // A misspelt INS gauge, rather than a gauge of another module reached by points.
        const std::string near = did_you_mean(gauge, NAMED_GAUGES);
        if (!near.empty()) throw SyntaxError{"unknown gauge " + gauge + near};
        throw SyntaxError{"unknown control " + word + " of gauge " + gauge +
                          " (this gauge takes points X,Y)"};
      }
      throw SyntaxError{"unknown control " + word + " of gauge " + gauge +
                        did_you_mean(word, control_names(gauge))};
    }
    return control;
  }

  std::string element(const std::string& gauge, std::size_t i) const {
    if (!element_index(gauge, text(i))) {
      const std::string near = did_you_mean(gauge, NAMED_GAUGES);
      if (!has_named_controls(gauge) && !near.empty()) {
        throw SyntaxError{"unknown gauge " + gauge + near};
      }
      throw SyntaxError{"unknown element " + text(i) + " of gauge " + gauge +
                        did_you_mean(text(i), element_names(gauge))};
    }
    return text(i);
  }

 private:
  std::string command_;
  std::vector<Word> words_;
};

ExpectNear parse_near(const Args& a) {
  a.need(4, 4, "near LAT LON NM");
  return ExpectNear{a.number_in(1, -90.0, 90.0, "a latitude"),
                    a.number_in(2, -180.0, 180.0, "a longitude"),
                    a.number_in(3, 0.0, 21600.0, "a distance in NM")};
}

ExpectVisible parse_visible(const Args& a) {
  a.need(4, 4, "visible GAUGE ELEMENT yes|no");
  const std::string& answer = a.text(3);
  if (answer != "yes" && answer != "no") throw SyntaxError{in_quotes(answer) + " is not yes or no"};
  return ExpectVisible{a.gauge(1), a.element(a.text(1), 2), answer == "yes"};
}

ExpectEvent parse_event(const Args& a) {
  a.need(3, 3, "event ID VALUE");
  const auto id = static_cast<uint32_t>(a.integer(1, 0, UINT32_MAX));
  // Values are 32-bit words; a negative one stands for its two's complement.
  const auto value = static_cast<uint32_t>(a.integer(2, INT32_MIN, UINT32_MAX) & 0xFFFFFFFF);
  return ExpectEvent{id, value};
}

Expectation parse_file(const Args& a) {
  if (a.size() >= 3 && a.text(2) == "line" && !a.at(2).quoted) {
    a.need(5, 5, "file NAME line K \"TEXT\"");
    return ExpectFileLine{a.file_name(1), a.integer(3, 0, INT32_MAX), a.text(4)};
  }
  if (a.size() >= 3 && a.text(2) == "lines" && !a.at(2).quoted) {
    a.need(4, 4, "file NAME lines N");
    return ExpectFileLines{a.file_name(1), a.integer(3, 0, INT32_MAX)};
  }
  throw SyntaxError{"\"expect file\" takes NAME line K \"TEXT\" or NAME lines N"};
}

// "no event ID", "no sound", "no file NAME": what must not have happened.
Expectation parse_absence(const Args& a) {
  if (a.size() < 2) throw SyntaxError{"\"expect no\" needs event, sound or file"};
  const std::string& which = a.text(1);
  if (which == "event") {
    a.need(3, 3, "no event ID");
    return ExpectEvent{static_cast<uint32_t>(a.integer(2, 0, UINT32_MAX)), std::nullopt};
  }
  if (which == "sound") {
    a.need(2, 2, "no sound");
    return ExpectSound{std::nullopt};
  }
  if (which == "file") {
    a.need(3, 3, "no file NAME");
    return ExpectNoFile{a.file_name(2)};
  }
  throw SyntaxError{"unknown expectation no " + which +
                    did_you_mean(which, {"event", "sound", "file"})};
}

Expectation parse_expectation(const Args& a) {
  if (a.size() == 0) throw SyntaxError{"\"expect\" needs what to expect"};
  const std::string& what = a.text(0);
  if (what == "near") return parse_near(a);
  if (what == "text") {
    a.need(4, 4, "text GAUGE WINDOW \"TEXT\"");
    return ExpectText{a.gauge(1), a.element(a.text(1), 2), a.text(3)};
  }
  if (what == "visible") return parse_visible(a);
  if (what == "image") {
    a.need(4, 4, "image GAUGE ELEMENT N|LEGEND");
    const std::string element = a.element(a.text(1), 2);
    return ExpectImage{a.gauge(1), element, a.image_value(a.text(1), element, 3)};
  }
  if (what == "event") return parse_event(a);
  if (what == "sound") {
    a.need(2, 2, "sound \"PATH\"");
    return ExpectSound{a.text(1)};
  }
  if (what == "file") return parse_file(a);
  if (what == "no") return parse_absence(a);
  throw SyntaxError{unknown("expectation", what, EXPECTATION_WORDS)};
}

Args args_of(const std::vector<Word>& words, std::size_t first = 1) {
  return Args(words[0].text, words, first);
}

Action parse_wait(const std::vector<Word>& words) {
  if (words.size() >= 2 && words[1].text == "until" && !words[1].quoted) {
    std::size_t first = 2;
    if (words.size() > first && words[first].text == "expect" && !words[first].quoted) ++first;
    std::size_t last = words.size();  // one past the expectation's words
    WaitUntil until;
    if (words.size() >= first + 2 && words[words.size() - 2].text == "max" &&
        !words[words.size() - 2].quoted) {
      last = words.size() - 2;
      Args max_args("wait", {words.back()}, 0);
      until.max_s = max_args.duration(0);
    }
    std::vector<Word> expectation(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(last));
    until.expectation = parse_expectation(Args("expect", std::move(expectation), first));
    return until;
  }
  Args a = args_of(words);
  a.need(1, 1, "DURATION or until EXPECTATION [max DURATION]");
  return Wait{a.duration(0)};
}

struct CommandParser {
  std::string_view name;
  Action (*parse)(const std::vector<Word>&);
};

const std::array<CommandParser, 17> COMMAND_PARSERS = {{
    {"gauges",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(1, 64, "NAME...");
       Gauges g;
       for (std::size_t i = 0; i < a.size(); ++i) g.names.push_back(a.gauge(i));
       return g;
     }},
    {"fps",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(1, 1, "N");
       return Fps{static_cast<int>(a.integer(0, 1, 1000))};
     }},
    {"copy",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(1, 2, "PATH [NAME]");
       std::string name =
           a.size() == 2 ? a.file_name(1) : std::filesystem::path(a.text(0)).filename().string();
       if (name.empty()) throw SyntaxError{in_quotes(a.text(0)) + " names no file"};
       return CopyFile{a.text(0), name};
     }},
    {"remove",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(1, 1, "NAME");
       return RemoveFile{a.file_name(0)};
     }},
    {"set",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(2, 2, "NAME VALUE");
       const std::string& name = a.text(0);
       const std::optional<ConditionRange> range = HostVariables::condition_range(name);
       if (!range) {
         throw SyntaxError{unknown("condition", name, HostVariables::condition_names())};
       }
       const double value = a.number(1);
       if (range->flag && value != 0.0 && value != 1.0) {
         throw SyntaxError{in_quotes(a.text(1)) + " is not 0 or 1 for " + name};
       }
       if (range->whole && value != std::trunc(value)) {
         throw SyntaxError{in_quotes(a.text(1)) + " is not a whole number for " + name};
       }
       std::string what = name;
       if (!range->unit.empty()) what += " in " + std::string(range->unit);
       return SetCondition{name, a.number_in(1, range->min, range->max, what)};
     }},
    {"var",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(2, 2, "ID VALUE");
       return SetVar{static_cast<uint32_t>(a.integer(0, 0, UINT32_MAX)), a.number(1)};
     }},
    {"click",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(2, 2, "GAUGE CONTROL");
       return Click{a.gauge(0), a.control(a.text(0), 1)};
     }},
    {"hold",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(3, 3, "GAUGE CONTROL DURATION");
       return Hold{a.gauge(0), a.control(a.text(0), 1), a.duration(2)};
     }},
    {"keys",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(1, 1, "DIGITS");
       for (char c : a.text(0)) {
         if (c < '0' || c > '9') throw SyntaxError{in_quotes(a.text(0)) + " holds a non-digit"};
       }
       return Keys{a.text(0)};
     }},
    {"frames",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(1, 1, "N");
       const int64_t count = a.integer(0, 0, INT64_MAX);
       if (count > MAX_FRAMES) {
         throw SyntaxError{in_quotes(a.text(0)) +
                           " frames are too many: one command runs at most " +
                           std::to_string(MAX_FRAMES)};
       }
       return Frames{count};
     }},
    {"wait", parse_wait},
    {"expect", [](const std::vector<Word>& w) -> Action { return parse_expectation(args_of(w)); }},
    {"motion",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(1, 1, "on|off");
       if (a.text(0) != "on" && a.text(0) != "off") {
         throw SyntaxError{in_quotes(a.text(0)) + " is not on or off"};
       }
       return Motion{a.text(0) == "on"};
     }},
    {"takeoff",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(2, 2, "ALT_FT TAS_KT");
       const double alt_ft = a.number(0), tas_kt = a.number(1);
       if (alt_ft < -2000.0 || alt_ft > 65000.0 || tas_kt < 0.0 || tas_kt > 2000.0) {
         throw SyntaxError{
             "\"takeoff\" takes a cruise level of -2000 to 65000 ft and a speed of 0 "
             "to 2000 kt"};
       }
       return Takeoff{alt_ft, tas_kt};
     }},
    {"wind",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(3, 3, "ALT_FT FROM_DEG KT");
       const ConditionRange alt = *HostVariables::condition_range("altitude");
       const ConditionRange dir = *HostVariables::condition_range("wind_dir");
       const ConditionRange speed = *HostVariables::condition_range("wind_speed");
       return WindLayer{a.number_in(0, alt.min, alt.max, "a wind layer's altitude in feet"),
                        a.number_in(1, dir.min, dir.max, "a wind direction in degrees"),
                        a.number_in(2, speed.min, speed.max, "a wind speed in knots")};
     }},
    {"snapshot",
     [](const std::vector<Word>& w) -> Action {
       Args a = args_of(w);
       a.need(1, 1, "NAME.png or NAME.svg");
       const std::string name = a.file_name(0);
       if (!name.ends_with(".png") && !name.ends_with(".svg")) {
         throw SyntaxError{in_quotes(name) + " does not end in .png or .svg"};
       }
       return Snapshot{name};
     }},
    {"end",
     [](const std::vector<Word>&) -> Action { throw SyntaxError{"\"end\" without \"file\""}; }},
}};

std::vector<std::string_view> command_names() {
  std::vector<std::string_view> names = {"file"};
  for (const CommandParser& parser : COMMAND_PARSERS) names.push_back(parser.name);
  return names;
}

std::string_view trimmed(std::string_view line) {
  while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && is_blank(line.back())) line.remove_suffix(1);
  return line;
}

}  // namespace

std::optional<double> parse_duration_s(std::string_view word) {
  // One or more parts NUMBER UNIT with the units h, m, s in that order, each at most once.
  constexpr std::array<std::pair<char, double>, 3> UNITS = {
      {{'h', 3600.0}, {'m', 60.0}, {'s', 1.0}}};
  double total_s = 0.0;
  std::size_t next_unit = 0;
  bool any = false;
  while (!word.empty()) {
    std::size_t digits = 0;
    while (digits < word.size() &&
           ((word[digits] >= '0' && word[digits] <= '9') || word[digits] == '.')) {
      ++digits;
    }
    if (digits == 0 || digits == word.size()) return std::nullopt;
    std::optional<double> value = as_double(word.substr(0, digits));
    if (!value) return std::nullopt;
    const char unit = word[digits];
    while (next_unit < UNITS.size() && UNITS[next_unit].first != unit) ++next_unit;
    if (next_unit == UNITS.size()) return std::nullopt;
    total_s += *value * UNITS[next_unit].second;
    ++next_unit;
    any = true;
    word.remove_prefix(digits + 1);
  }
  if (!any || !(total_s < 1e9)) return std::nullopt;
  return total_s;
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++start;
  }
  return lines;
}

std::variant<std::vector<Word>, std::string> read_words(std::string_view line) {
  try {
    return split_words(line);
  } catch (const SyntaxError& error) {
    return error.message;
  }
}

ParseResult parse_scenario(std::string_view text) {
  ParseResult result;
  // Editors on Windows (Notepad among them) may save UTF-8 with a byte order mark first: it
  // marks the encoding and is no part of the first line.
  constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
  if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
  const std::vector<std::string_view> lines = split_lines(text);
  std::size_t i = 0;
  try {
    for (; i < lines.size(); ++i) {
      std::vector<Word> words = split_words(lines[i]);
      if (words.empty()) continue;
      const int line_number = static_cast<int>(i + 1);
      if (words[0].quoted)
        throw SyntaxError{"a command word is expected, not the text " + in_quotes(words[0].text)};
      const std::string& command = words[0].text;
      if (command == "file") {
        Args a = args_of(words);
        a.need(1, 2, "NAME [crlf]");
        if (a.size() == 2 && a.text(1) != "crlf") {
          throw SyntaxError{in_quotes(a.text(1)) + " is not \"crlf\""};
        }
        WriteFile file{a.file_name(0), {}, a.size() == 2};
        std::size_t j = i + 1;
        while (j < lines.size() && trimmed(lines[j]) != "end") file.lines.emplace_back(lines[j++]);
        if (j == lines.size())
          throw SyntaxError{"file " + in_quotes(file.name) + " has no \"end\" line"};
        result.commands.push_back({line_number, std::move(file)});
        i = j;
        continue;
      }
      const CommandParser* parser = nullptr;
      for (const CommandParser& candidate : COMMAND_PARSERS) {
        if (candidate.name == command) parser = &candidate;
      }
      if (parser == nullptr) throw SyntaxError{unknown("command", command, command_names())};
      result.commands.push_back({line_number, parser->parse(words)});
    }
  } catch (const SyntaxError& error) {
    result.error = ParseError{static_cast<int>(i + 1), error.message};
  }
  if (!result.error && result.commands.empty()) {
    result.error = ParseError{1, "no command in the scenario: it would run and check nothing"};
  }
  return result;
}

}  // namespace host::scenario
