// Selecting checks by filters, and the listing mode.
#pragma once

#include <system_error>
#include <vector>

#include "runner/test_opts.hpp"
#include "runner/test_types.hpp"

namespace runner {

std::vector<TestDescAndFn> filter_tests(const TestOpts& opts, std::vector<TestDescAndFn> tests);

// --list: writes the selected entries through the chosen format's formatter.
[[nodiscard]] std::error_code list_tests_console(const TestOpts& opts, std::vector<TestDescAndFn> tests);

}  // namespace runner
