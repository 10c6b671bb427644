// Fuzz target: the scenario parser of `ins-host run` on arbitrary scenario text.
//
// Besides the sanitizers' findings (and any exception, which the parser promises never to let
// out), the run stops on a broken promise of the parse: every command and the error stand on a
// line of the text, commands come in the order of their lines, an error names what is wrong, and
// a duration that reads is a finite, non-negative number of seconds below the parser's cap.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "host/scenario/scenario_parser.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "scenario parser broke a promise: %s\n", what);
    std::abort();
  }
}

// Lines as a reader counts them: a LF, a CRLF or a CR alone ends one, and text after the last
// one is one more. A text without any line still has line 1, where "no command" is reported.
int line_count(std::string_view text) {
  int lines = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      ++lines;
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  if (!text.empty() && text.back() != '\n' && text.back() != '\r') ++lines;
  return std::max(lines, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int lines = line_count(text);

  const host::scenario::ParseResult result = host::scenario::parse_scenario(text);
  int previous = 0;
  for (const host::scenario::Command& command : result.commands) {
    check(command.line >= 1 && command.line <= lines, "command outside the text's lines");
    check(command.line > previous, "commands out of line order");
    previous = command.line;
  }
  if (result.error) {
    check(result.error->line >= 1 && result.error->line <= lines, "error outside the text's lines");
    check(result.error->line >= previous, "error before a command that was read");
    check(!result.error->message.empty(), "error without a message");
  }

  // Durations are read on their own too (`wait`, `hold`, `max`): the first line as one word.
  const std::string_view first_line = text.substr(0, text.find_first_of("\r\n"));
  if (const std::optional<double> seconds = host::scenario::parse_duration_s(first_line)) {
    check(std::isfinite(*seconds) && *seconds >= 0.0 && *seconds < 1e9,
          "duration that is not a sane number of seconds");
  }
  return 0;
}
