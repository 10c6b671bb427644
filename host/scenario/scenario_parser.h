// Reads a scenario file's text into commands, checking every word before anything runs, so a
// scenario with a wrong word is reported (with its line and the word) and nothing of it is
// played. Pure: no file access, no module; a fuzz target may call `parse_scenario` directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/scenario/scenario.h"

namespace host::scenario {

struct ParseError {
  int line = 0;
  std::string message;  // names the word that is wrong
};

struct ParseResult {
  std::vector<Command> commands;
  std::optional<ParseError> error;  // set: `commands` is incomplete and must not be played
};

// The entry point: parses a whole scenario, UTF-8 with or without a byte order mark. Never
// throws for bad input.
ParseResult parse_scenario(std::string_view text);

// A word of a line: blanks separate words, `#` outside quotes starts a comment, and a text in
// double quotes may hold blanks (\" and \\ escape a quote and a backslash).
struct Word {
  std::string text;
  bool quoted = false;
};

// The words of one line as a scenario reads them, or what is wrong with its quotes. Files that
// extend the language (lessons) read their own lines with it.
std::variant<std::vector<Word>, std::string> read_words(std::string_view line);

// The lines of a text: a line ends with LF, CRLF or a CR alone (as files from old Macs and some
// editors have them), so a scenario never reads as one long comment.
std::vector<std::string_view> split_lines(std::string_view text);

// Parses a duration such as "0.5s", "15s", "2m", "1h30m"; empty when malformed.
std::optional<double> parse_duration_s(std::string_view word);

}  // namespace host::scenario
