// Helpers of the runner's end-to-end tests: running the fixture program,
// masking what varies between runs, and finding source positions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "unittests/support/process.hpp"

namespace runner_e2e {

// Runs the test-only fixture program with `args`.
test_support::ProcessResult run_fixture(const std::vector<std::string>& args,
                                        const test_support::ProcessOptions& options = {});

// Runs argv with standard output connected to a pipe that has no reader
// (`closed` false) or closed altogether (`closed` true); standard error is captured.
test_support::ProcessResult run_with_unwritable_stdout(const std::vector<std::string>& argv, bool closed,
                                                       const test_support::ProcessOptions& options = {});

// Thread ids become "TID" and times become "T.TTs" / "<T.TTTs>"; nothing else changes.
std::string mask(std::string_view output);

// The column of every "panicked at PATH:LINE:COL:" becomes "C".
std::string mask_columns(std::string_view output);

std::vector<std::string> lines(std::string_view text);

// "path:line:col" of the first occurrence of `needle` in the repository file
// `path` (column of the needle's first character).
std::string source_position(const std::string& path, std::string_view needle);

// The "running N tests" count of the audit's registry, taken from its listing.
std::size_t audit_check_count();

// The lines between "running ..." and the first empty line after it.
std::vector<std::string> result_lines(std::string_view output);

}  // namespace runner_e2e
