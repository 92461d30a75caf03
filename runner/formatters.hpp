// Choosing the output formatter and the output location for a run.
#pragma once

#include <memory>

#include "runner/output_formatter.hpp"
#include "runner/output_location.hpp"
#include "runner/test_opts.hpp"

namespace runner {

// The formatter for `format`, writing to `out` (which must outlive it).
std::unique_ptr<OutputFormatter> make_formatter(OutputFormat format, OutputLocation& out,
                                                const FormatterConfig& config);

// Standard output as the run's output location, driven as a terminal when
// TERM names a readable terminal description, coloured as the options say.
OutputLocation stdout_location(const TestOpts& opts);

}  // namespace runner
