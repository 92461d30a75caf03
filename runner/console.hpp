// Running the selected checks and reporting them.
#pragma once

#include <cstddef>
#include <system_error>
#include <vector>

#include "runner/test_opts.hpp"
#include "runner/test_types.hpp"

namespace runner {

// Runs the checks that `opts` selects. Sets `success` to whether no check failed.
[[nodiscard]] std::error_code run_tests_console(const TestOpts& opts, std::vector<TestDescAndFn> tests,
                                                bool& success);

// The number of checks to run at once when --test-threads is absent:
// QUORVANE_TEST_THREADS, else the processors available to the process, else 1.
std::size_t get_concurrency();

}  // namespace runner
