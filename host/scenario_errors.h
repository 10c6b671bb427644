// The two ways a scenario stops early: an expectation that does not hold (exit status 1) and a
// scenario that cannot be played (exit status 2), each with the line it happened on.
#pragma once

#include <stdexcept>
#include <string>

namespace host {

class ExpectationFailed : public std::runtime_error {
 public:
  ExpectationFailed(int line, const std::string& message)
      : std::runtime_error(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

class ScenarioError : public std::runtime_error {
 public:
  ScenarioError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

}  // namespace host
