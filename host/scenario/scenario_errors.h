// The ways a scenario stops early: an expectation that does not hold (exit status 1) and a
// scenario that cannot be played (exit status 2), each with the line it happened on, and a stop
// asked for from outside (Ctrl-C, SIGTERM) between two frames.
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

class StopRequested : public std::runtime_error {
 public:
  explicit StopRequested(int signal_number)
      : std::runtime_error(signal_number == 2    ? "SIGINT"
                           : signal_number == 15 ? "SIGTERM"
                                                 : "a signal"),
        signal_(signal_number) {}
  int signal_number() const { return signal_; }

 private:
  int signal_;
};

}  // namespace host
