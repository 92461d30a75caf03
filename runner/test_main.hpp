// The runner's entry points.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "runner/test_types.hpp"

namespace runner {

// Collects the process arguments and runs `tests`. Returns only when the
// process is to end with status 0; every other status ends the process here.
void test_main_static(int argc, char** argv, std::span<const TestDescAndFn> tests);

void test_main(std::vector<std::string> args, std::vector<TestDescAndFn> tests);

}  // namespace runner
