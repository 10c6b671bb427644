#include "host/lesson/lesson_reader.h"

#include <charconv>
#include <map>
#include <string>
#include <utility>
#include <variant>

#include "host/panel/control_names.h"
#include "host/scenario/nearest_name.h"

namespace host::lesson {

namespace {

using scenario::Word;

// Thrown inside the reader only; read_lesson turns it into a ParseError.
struct LessonError {
  int line = 0;
  std::string message;
};

// What a line of the file is to the lesson, once the lesson's own words are read.
enum class Role { setup, answer, done, wrong, lesson_word };

// The highest rate the page offers (its 1x ... 64x buttons).
constexpr int MAX_OFFERED_RATE = 64;

const std::vector<std::string_view> LESSON_WORDS = {
    "lesson", "about", "aircraft", "step", "outline", "done", "explain", "wrong", "tell", "offer"};

bool is_lesson_word(const std::vector<Word>& words) {
  if (words.empty() || words[0].quoted) return false;
  for (std::string_view word : LESSON_WORDS) {
    if (words[0].text == word) return true;
  }
  return false;
}

// The one quoted text a word such as `step` takes.
std::string one_text(const std::vector<Word>& words, int line) {
  if (words.size() != 2 || !words[1].quoted || words[1].text.empty()) {
    throw LessonError{
        line, words[0].text + " takes one text in double quotes: " + words[0].text + " \"...\""};
  }
  return words[1].text;
}

// The line with its first word (`done`, `wrong`) read as `expect`, for the scenario parser.
std::string as_expectation(std::string_view line, std::string_view word) {
  const std::size_t at = line.find(word);
  return "expect" + std::string(line.substr(at + word.size()));
}

bool page_can_see(const scenario::Expectation& e) {
  if (const auto* text = std::get_if<scenario::ExpectText>(&e)) return text->gauge == "INS";
  return std::holds_alternative<scenario::ExpectVisible>(e) ||
         std::holds_alternative<scenario::ExpectImage>(e);
}

class Reader {
 public:
  explicit Reader(std::string_view text) : lines_(scenario::split_lines(text)) {
    roles_.assign(lines_.size(), {Role::setup, -1});
  }

  Lesson read() {
    std::string rebuilt;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      rebuilt += read_line(i);
      rebuilt += '\n';
    }
    const scenario::ParseResult parsed = scenario::parse_scenario(rebuilt);
    if (parsed.error) throw LessonError{parsed.error->line, parsed.error->message};
    for (const scenario::Command& command : parsed.commands) place(command);
    check_whole();
    gather_wrong_moves();
    return std::move(lesson_);
  }

 private:
  struct LineRole {
    Role role;
    int step;
  };

  int line_number(std::size_t i) const { return static_cast<int>(i + 1); }

  Step& current_step(int line, std::string_view word) {
    if (lesson_.steps.empty()) {
      throw LessonError{line, std::string(word) + " before the first step: it belongs to a step"};
    }
    return lesson_.steps.back();
  }

  // The text the scenario parser reads for line i: the line itself, a `done` or `wrong` line as
  // its expectation, or nothing for the lesson's own words.
  std::string read_line(std::size_t& i) {
    const int line = line_number(i);
    auto read = scenario::read_words(lines_[i]);
    if (auto* message = std::get_if<std::string>(&read)) throw LessonError{line, *message};
    const auto& words = std::get<std::vector<Word>>(read);
    const int step = static_cast<int>(lesson_.steps.size()) - 1;
    if (!is_lesson_word(words)) {
      roles_[i] = {step < 0 ? Role::setup : Role::answer, step};
      if (!words.empty() && !words[0].quoted && words[0].text == "file") return file_block(i);
      return std::string(lines_[i]);
    }
    roles_[i] = {Role::lesson_word, step};
    const std::string& word = words[0].text;
    if (word == "done" || word == "wrong") {
      current_step(line, word);
      roles_[i].role = word == "done" ? Role::done : Role::wrong;
      if (word == "wrong") wrong_lines_without_tell_.push_back(line);
      return as_expectation(lines_[i], word);
    }
    lesson_word(words, line);
    return "";
  }

  // A `file NAME` ... `end` block passes to the scenario parser whole: its lines are the file's.
  std::string file_block(std::size_t& i) {
    std::string block(lines_[i]);
    while (i + 1 < lines_.size()) {
      ++i;
      roles_[i] = roles_[i - 1];
      block += "\n" + std::string(lines_[i]);
      std::string_view line = lines_[i];
      while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
      while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
      if (line == "end") break;  // as the scenario parser ends a file: the word alone
    }
    return block;
  }

  void lesson_word(const std::vector<Word>& words, int line) {
    const std::string& word = words[0].text;
    if (word == "lesson") {
      if (!lesson_.title.empty()) throw LessonError{line, "a second lesson title"};
      lesson_.title = one_text(words, line);
    } else if (word == "about") {
      lesson_.about = one_text(words, line);
    } else if (word == "aircraft") {
      if (words.size() != 1) throw LessonError{line, "aircraft takes nothing after it"};
      lesson_.needs_own_aircraft = true;
    } else if (word == "step") {
      if (!wrong_lines_without_tell_.empty()) untold(wrong_lines_without_tell_.front());
      lesson_.steps.push_back(Step{line, one_text(words, line), {}, {}, {}, {}, {}, 0});
    } else if (word == "explain") {
      current_step(line, word).explanation = one_text(words, line);
    } else if (word == "tell") {
      tell(words, line);
    } else if (word == "offer") {
      offer(words, line);
    } else {
      outline(words, line);
    }
  }

  void outline(const std::vector<Word>& words, int line) {
    Step& step = current_step(line, "outline");
    if (words.size() != 3)
      throw LessonError{line, "outline takes a gauge and a control: outline INS SET"};
    const std::string& gauge = words[1].text;
    if (!has_named_controls(gauge) || gauge == "INS_UPDATE") {
      throw LessonError{line, "outline names a control of INS or ALIGN, not of " + gauge};
    }
    const auto names = control_names(gauge);
    if (!control_box_index(gauge, words[2].text)) {
      throw LessonError{line, "unknown control " + words[2].text + " of gauge " + gauge +
                                  did_you_mean(words[2].text, names)};
    }
    step.outlines.push_back({gauge, words[2].text});
  }

  void tell(const std::vector<Word>& words, int line) {
    current_step(line, "tell");
    if (wrong_lines_without_tell_.empty()) {
      throw LessonError{line, "tell without a wrong move before it: wrong EXPECTATION, then tell"};
    }
    told_.push_back({wrong_lines_without_tell_, one_text(words, line),
                     static_cast<int>(lesson_.steps.size()) - 1});
    wrong_lines_without_tell_.clear();
  }

  [[noreturn]] static void untold(int line) {
    throw LessonError{line, "a wrong move without a tell \"...\" after it: what the pilot is told"};
  }

  void offer(const std::vector<Word>& words, int line) {
    Step& step = current_step(line, "offer");
    int rate = 0;
    const bool shaped = words.size() == 3 && words[1].text == "rate";
    const std::string& n = shaped ? words[2].text : words[0].text;
    const auto [end, fault] = std::from_chars(n.data(), n.data() + n.size(), rate);
    if (!shaped || fault != std::errc() || end != n.data() + n.size() || rate < 2 ||
        rate > MAX_OFFERED_RATE) {
      throw LessonError{line, "offer takes a rate of 2 to 64: offer rate 8"};
    }
    step.offer_rate = rate;
  }

  // A parsed command goes to the setup, to a step's answer, or is a step's expectation.
  void place(const scenario::Command& command) {
    const LineRole role = roles_[static_cast<std::size_t>(command.line - 1)];
    if (role.role == Role::setup) return lesson_.setup.push_back(command);
    Step& step = lesson_.steps[static_cast<std::size_t>(role.step)];
    if (role.role == Role::answer) return step.answer.push_back(command);
    const auto& expectation = std::get<scenario::Expectation>(command.action);
    if (!page_can_see(expectation)) {
      throw LessonError{command.line,
                        "a step is done, or a move wrong, by what the panel shows: expect text "
                        "INS ..., visible ... or image ..."};
    }
    if (role.role == Role::done) return step.done.push_back(command);
    wrong_conditions_[command.line] = expectation;
  }

  // Each `tell` with the `wrong` lines before it: one wrong move, all its conditions at once.
  void gather_wrong_moves() {
    for (const Told& told : told_) {
      WrongMove wrong{told.lines.front(), {}, told.text};
      for (int line : told.lines) wrong.when.push_back(wrong_conditions_.at(line));
      lesson_.steps[static_cast<std::size_t>(told.step)].wrong.push_back(std::move(wrong));
    }
  }

  void check_whole() const {
    if (lesson_.title.empty()) throw LessonError{1, "no lesson title: lesson \"...\" comes first"};
    if (lesson_.steps.empty()) throw LessonError{1, "no step: a lesson has at least one"};
    if (!wrong_lines_without_tell_.empty()) untold(wrong_lines_without_tell_.front());
    for (const Step& step : lesson_.steps) {
      if (step.answer.empty()) throw LessonError{step.line, "step without a model answer"};
      if (step.done.empty()) throw LessonError{step.line, "step without a done expectation"};
      if (step.explanation.empty()) throw LessonError{step.line, "step without explain \"...\""};
    }
  }

  std::vector<std::string_view> lines_;
  std::vector<LineRole> roles_;
  Lesson lesson_;
  std::vector<int> wrong_lines_without_tell_;
  struct Told {
    std::vector<int> lines;  // its `wrong` lines
    std::string text;
    int step;
  };
  std::vector<Told> told_;
  std::map<int, scenario::Expectation> wrong_conditions_;  // by line
};

}  // namespace

ReadResult read_lesson(std::string_view text) {
  constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
  if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
  ReadResult result;
  try {
    result.lesson = Reader(text).read();
  } catch (const LessonError& error) {
    result.error = scenario::ParseError{error.line, error.message};
  }
  return result;
}

}  // namespace host::lesson
