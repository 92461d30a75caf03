// Running the selected checks and reporting them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "runner/test_opts.hpp"
#include "runner/time_options.hpp"
#include "runner/test_types.hpp"

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

// Runs the checks that `opts` selects. Sets `success` to whether no check failed.
[[nodiscard]] std::error_code run_tests_console(const TestOpts& opts,
                                                std::vector<TestDescAndFn> tests, bool& success);

// The number of checks to run at once when --test-threads is absent:
// QUORVANE_TEST_THREADS, else the processors available to the process, else 1.
std::size_t get_concurrency();

}  // namespace runner
