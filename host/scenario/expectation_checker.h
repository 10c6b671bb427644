// Decides whether one expectation holds now. A failed expectation yields the message the runner
// prints ("expected ... got ..."); an expectation that cannot be checked at all (a gauge not
// placed, an element of the wrong kind) throws ScenarioError.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "host/aircraft/aircraft.h"
#include "host/panel/activity_log.h"
#include "host/panel/panel.h"
#include "host/scenario/scenario.h"

namespace host {

class ExpectationChecker {
 public:
  ExpectationChecker(const Panel& panel, const ActivityLog& log, const Aircraft& aircraft,
                     std::filesystem::path working_folder)
      : panel_(panel), log_(log), aircraft_(aircraft), working_folder_(std::move(working_folder)) {}

  // Empty when the expectation holds, else "expected ... got ...". `line` is for errors only.
  std::optional<std::string> check(const scenario::Expectation& expectation, int line) const;

  // An expectation asked every frame, as `wait until` does: the element it reads is found once
  // and a window's text compared in place, so asking costs a few comparisons and no allocation.
  // It holds exactly when check() finds nothing to say; both must outlive it.
  class Condition {
   public:
    bool holds() const;

   private:
    friend class ExpectationChecker;
    enum class Reads { Text, Visible, Image, Other };
    Condition(const ExpectationChecker& checker, const scenario::Expectation& expectation, int line)
        : checker_(checker), expectation_(expectation), line_(line) {}

    const ExpectationChecker& checker_;
    const scenario::Expectation& expectation_;
    int line_;
    Reads reads_ = Reads::Other;
    const ElementHeader* element_ = nullptr;
  };
  // Throws ScenarioError as check() does for an expectation that cannot be checked.
  Condition condition(const scenario::Expectation& expectation, int line) const;

 private:
  std::optional<std::string> check_one(const scenario::ExpectText& e, int line) const;
  std::optional<std::string> check_one(const scenario::ExpectVisible& e, int line) const;
  std::optional<std::string> check_one(const scenario::ExpectImage& e, int line) const;
  std::optional<std::string> check_one(const scenario::ExpectEvent& e, int line) const;
  std::optional<std::string> check_one(const scenario::ExpectSound& e, int line) const;
  std::optional<std::string> check_one(const scenario::ExpectFileLine& e, int line) const;
  std::optional<std::string> check_one(const scenario::ExpectFileLines& e, int line) const;
  std::optional<std::string> check_one(const scenario::ExpectNoFile& e, int line) const;
  std::optional<std::string> check_one(const scenario::ExpectNear& e, int line) const;

  const ElementHeader& element(const std::string& gauge, const std::string& name, int line) const;
  const ElementHeader& text_window(const scenario::ExpectText& e, int line) const;
  const ElementHeader& image(const scenario::ExpectImage& e, int line) const;

  const Panel& panel_;
  const ActivityLog& log_;
  const Aircraft& aircraft_;
  std::filesystem::path working_folder_;
};

// Whole lines of a text file (a CR before the LF ends the line like the LF alone); empty when
// the file is not a plain file or cannot be read.
std::optional<std::vector<std::string>> read_text_lines(const std::filesystem::path& path);

}  // namespace host
