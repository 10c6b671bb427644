// The INS's own import of a plan, tried before `serve` (and `link`, which serves the same panel)
// calls the plan loaded: the check `ins-host fly` makes (host/fly: ins_import_refusal), run by
// this very program as `ins-host check-plan` in a process of its own. It cannot run in the
// server's process: the module's state is one per process (the live panel's INS would be the one
// importing), and the check works in a folder of its own, which it makes the current one.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/web/web_requests.h"

namespace host::web {

// The check could not be made (the program did not start, or did not answer in time).
class PlanCheckError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How long a check may take: the import is 3 simulated seconds, run as fast as the machine goes.
inline constexpr std::chrono::seconds PLAN_CHECK_TIMEOUT{30};

// Runs the INS's import of `text` (the plan's bytes as read; `label` names it in the refusal)
// with the module at `module`. The refusal, word for word as `fly` gives it ("NAME.PLN:10: the
// INS imported waypoint 02, ..."), or nothing when the INS stores the plan as the host reads it.
// One check runs at a time. Throws PlanCheckError when the check could not be made.
std::optional<std::string> ins_import_refusal_of(const std::string& label, const std::string& text,
                                                 const std::filesystem::path& module, int fps);

// The check as a request's answer: nothing when the plan may be loaded; else the refusal (422,
// "plan refused, nothing changed: " and the words `fly` uses) or why the check could not be made
// (503).
std::optional<RequestError> refuse_unless_imported(const std::string& name, const std::string& text,
                                                   const std::filesystem::path& module, int fps);

}  // namespace host::web
