#include "runner/formatters.hpp"

#include "runner/pretty_formatter.hpp"

namespace runner {

std::unique_ptr<OutputFormatter> make_formatter(OutputFormat format, OutputLocation& out,
                                                const FormatterConfig& config) {
  switch (format) {
    case OutputFormat::Pretty:
    case OutputFormat::Terse:
    case OutputFormat::Json:
    case OutputFormat::Junit:
      break;
  }
  // Terse, JSON and JUnit formatters are added here as they land.
  return std::make_unique<PrettyFormatter>(out, config);
}

OutputLocation stdout_location(const TestOpts& opts) {
  // Plain output until terminal descriptions are read.
  (void)opts;
  return OutputLocation(1, std::nullopt, false);
}

}  // namespace runner
