// The result of one run of a check, from its expected-failure mode, what the
// run raised and how long it took.
#pragma once

#include <optional>
#include <string>

#include "runner/test_types.hpp"
#include "runner/time_options.hpp"

namespace runner {

// What a run of a check raised.
struct Panic {
  // The failure's message; none when the raised value carries no text.
  std::optional<std::string> message;
  // Description of the raised value's type when it carries no text.
  std::string type_name;
};

// The result of one run from the check's expected-failure mode and what the
// run raised; an ok result becomes a time-limit failure when limits are
// enforced and the time reaches the check's critical time.
TestResult calc_result(const TestDesc& desc, const std::optional<Panic>& panic,
                       const std::optional<TestTimeOptions>& time_opts,
                       std::optional<ExecTime> exec_time);

}  // namespace runner
