// The end-of-run report shared by the pretty and terse formats: the
// "successes" / "failures" sections with captured output, and the summary line.
#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "runner/console_state.hpp"
#include "runner/output_location.hpp"
#include "runner/test_types.hpp"

namespace runner {

using ReportList = std::vector<std::pair<TestDesc, std::string>>;

// Seconds with exactly `decimals` decimals followed by "s", as in "0.012s".
std::string format_seconds(double seconds, int decimals);

// A section named `name` over `list`: "\nNAME:\n", then (when any entry has
// output) an empty line and one "---- NAME stdout ----" block per entry with
// output, its bytes decoded as UTF-8 with replacement characters, then
// "\nNAME:\n" again and every entry's name, sorted by bytes, indented by four.
std::string section_text(std::string_view name, const ReportList& list);
[[nodiscard]] std::error_code write_section(OutputLocation& out, std::string_view name,
                                            const ReportList& list);

// "\ntest result: ok. 4 passed; 0 failed; 0 ignored; 0 measured; 0 filtered
// out; finished in 0.08s\n\n", the verdict coloured green (ok) or red (FAILED).
[[nodiscard]] std::error_code write_summary(OutputLocation& out, const ConsoleTestState& state);

}  // namespace runner
