// parse_opts: the runner's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "runner/test_opts.hpp"

namespace runner {

struct OptsError {
  std::string message;  // printed after "error: "
};
// Help was asked for; `text` is the help text to print, and nothing runs.
struct HelpShown {
  std::string text;
};

// What the command line and the runner's environment variables ask for:
// options to run with, an error to print, the help text, or a bad variable
// value to stop with as a failure on the main thread. `args[0]` is the program
// name. Prints nothing and raises nothing.
using CommandLine = std::variant<TestOpts, OptsError, HelpShown, EnvFailure>;
CommandLine parse_command_line(std::span<const std::string> args);

// The warning printed before a run with these options, if any.
std::optional<std::string> opts_warning(const TestOpts& opts);

using OptsResult = std::variant<TestOpts, OptsError, HelpShown>;

// parse_command_line, then what the entry point does with its result before
// anything else: prints the help text, or the warning of options that parsed;
// raises a bad variable value as a failure on the calling thread.
OptsResult parse_opts(std::span<const std::string> args);

// The integer parser used for --test-threads, --shuffle-seed and environment
// values: optional "+", decimal digits.
std::variant<std::uint64_t, std::string> parse_u64(std::string_view text);

}  // namespace runner
