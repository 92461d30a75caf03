#include "runner/formatters.hpp"

#include <unistd.h>

#include "runner/json_formatter.hpp"
#include "runner/junit_formatter.hpp"
#include "runner/pretty_formatter.hpp"
#include "runner/terminfo.hpp"
#include "runner/terse_formatter.hpp"

namespace runner {

std::unique_ptr<OutputFormatter> make_formatter(OutputFormat format, OutputLocation& out,
                                                const FormatterConfig& config) {
  switch (format) {
    case OutputFormat::Pretty: return std::make_unique<PrettyFormatter>(out, config);
    case OutputFormat::Terse: return std::make_unique<TerseFormatter>(out, config);
    case OutputFormat::Json: return std::make_unique<JsonFormatter>(out, config);
    case OutputFormat::Junit: return std::make_unique<JunitFormatter>(out, config);
  }
  return std::make_unique<PrettyFormatter>(out, config);
}

OutputLocation stdout_location(const TestOpts& opts) {
  bool use_color = false;
  switch (opts.color) {
    case ColorConfig::Always: use_color = true; break;
    case ColorConfig::Never: use_color = false; break;
    // Captured output keeps check text off the terminal, so colour is safe.
    case ColorConfig::Auto: use_color = !opts.nocapture && ::isatty(STDOUT_FILENO) == 1; break;
  }
  // Without colour the terminal description is not needed at all.
  if (!use_color) return OutputLocation(STDOUT_FILENO, std::nullopt, false);
  return OutputLocation(STDOUT_FILENO, terminal_colors_from_env(), true);
}

}  // namespace runner
