// Reads a scenario file's text into commands, checking every word before anything runs, so a
// scenario with a wrong word is reported (with its line and the word) and nothing of it is
// played. Pure: no file access, no module; a fuzz target may call `parse_scenario` directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
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

// Parses a duration such as "0.5s", "15s", "2m", "1h30m"; empty when malformed.
std::optional<double> parse_duration_s(std::string_view word);

}  // namespace host::scenario
