// parse_opts: the runner's command line.
#pragma once

#include <span>
#include <string>
#include <variant>

#include "runner/test_opts.hpp"

namespace runner {

struct OptsError {
  std::string message;  // printed after "error: "
};
struct HelpShown {};

using OptsResult = std::variant<TestOpts, OptsError, HelpShown>;

// `args[0]` is the program name.
OptsResult parse_opts(std::span<const std::string> args);

// The integer parser used for --test-threads, --shuffle-seed and environment
// values: optional "+", decimal digits.
std::variant<std::uint64_t, std::string> parse_u64(std::string_view text);

}  // namespace runner
