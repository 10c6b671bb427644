// "Did you mean ...?" for a misspelt word: the valid name nearest to it, so that a message
// about a wrong word also says what the writer most likely meant.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// The name in `names` nearest to `word` (case aside, by insertions, deletions, substitutions
// and swaps of neighbours), when it is near enough to be a likely misspelling: one edit for a
// word of up to five letters, one more for every three letters beyond. The first of equally
// near names wins.
std::optional<std::string> nearest_name(std::string_view word,
                                        const std::vector<std::string_view>& names);

// "; did you mean NAME?" for the nearest name, or nothing when none is near.
std::string did_you_mean(std::string_view word, const std::vector<std::string_view>& names);

}  // namespace host
