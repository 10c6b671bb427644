#include "host/scenario/nearest_name.h"

#include <algorithm>
#include <cctype>

namespace host {

namespace {

char folded(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Optimal string alignment distance, letters compared without case.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  const std::size_t columns = b.size() + 1;
  std::vector<std::size_t> d((a.size() + 1) * columns);
  auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return d[i * columns + j]; };
  for (std::size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
  for (std::size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = folded(a[i - 1]) == folded(b[j - 1]) ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
      if (i > 1 && j > 1 && folded(a[i - 1]) == folded(b[j - 2]) &&
          folded(a[i - 2]) == folded(b[j - 1])) {
        at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
      }
    }
  }
  return at(a.size(), b.size());
}

}  // namespace

std::optional<std::string> nearest_name(std::string_view word,
                                        const std::vector<std::string_view>& names) {
  // Words are short; a long one (a stray text) is not worth comparing.
  constexpr std::size_t LONGEST_WORD = 64;
  if (word.empty() || word.size() > LONGEST_WORD) return std::nullopt;
  const std::size_t allowed = 1 + (word.size() > 5 ? (word.size() - 5) / 3 : 0);
  std::optional<std::string> best;
  std::size_t best_distance = allowed + 1;
  for (std::string_view name : names) {
    const std::size_t distance = edit_distance(word, name);
    if (distance < best_distance) {
      best_distance = distance;
      best = std::string(name);
    }
  }
  return best;
}

std::string did_you_mean(std::string_view word, const std::vector<std::string_view>& names) {
  const std::optional<std::string> name = nearest_name(word, names);
  return name ? "; did you mean " + *name + "?" : std::string();
}

}  // namespace host
