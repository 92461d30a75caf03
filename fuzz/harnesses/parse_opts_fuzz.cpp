// Fuzz harness: the runner's command line over arbitrary argument vectors and
// environment settings.
//
// Input layout: NUL-separated segments. The first segment selects runner
// environment variables: each of its characters '0'..'6' sets one of them
// (see kVariables) to the value of the next unused segment; variables not
// selected are unset. The remaining segments are the arguments, argument 0
// (the program name) first.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fuzz/support/fuzz_check.hpp"
#include "runner/check_failure.hpp"
#include "runner/cli.hpp"
#include "runner/output.hpp"

extern char** environ;

namespace {

constexpr const char* kVariables[] = {
    "QUORVANE_BOOTSTRAP",         "QUORVANE_TEST_NOCAPTURE", "QUORVANE_TEST_SHUFFLE",
    "QUORVANE_TEST_SHUFFLE_SEED", "QUORVANE_TEST_TIME_UNIT", "QUORVANE_TEST_TIME_INTEGRATION",
    "QUORVANE_TEST_TIME_DOCTEST",
};
constexpr std::size_t kVariableCount = sizeof kVariables / sizeof kVariables[0];

std::vector<std::string> split_on_nul(std::string_view input) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t nul = input.find('\0', start);
    parts.emplace_back(input.substr(start, nul == std::string_view::npos ? nul : nul - start));
    if (nul == std::string_view::npos) break;
    start = nul + 1;
  }
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts =
      split_on_nul(std::string_view(reinterpret_cast<const char*>(data), size));

  std::size_t next = 1;
  std::vector<std::optional<std::string>> env(kVariableCount);
  for (const char selector : parts[0]) {
    if (selector < '0' || static_cast<std::size_t>(selector - '0') >= kVariableCount) continue;
    if (next >= parts.size()) break;
    env[static_cast<std::size_t>(selector - '0')] = parts[next++];
  }
  // A private environment of just the selected variables for this input
  // (setenv would keep every value ever set, growing without bound).
  std::vector<std::string> env_text;
  for (std::size_t i = 0; i < kVariableCount; ++i) {
    if (env[i]) env_text.push_back(std::string(kVariables[i]) + "=" + *env[i]);
  }
  std::vector<char*> env_pointers;
  for (std::string& entry : env_text) env_pointers.push_back(entry.data());
  env_pointers.push_back(nullptr);
  char** const saved_environ = environ;
  environ = env_pointers.data();
  const std::vector<std::string> args(parts.begin() + static_cast<std::ptrdiff_t>(next), parts.end());

  // Help text and failure reports go to a capture buffer, not the terminal.
  auto capture = std::make_shared<runner::CaptureBuffer>();
  runner::set_current_capture(capture);
  std::optional<runner::OptsResult> result;
  bool failed = false;
  try {
    result = runner::parse_opts(args);
  } catch (const runner::CheckFailure& failure) {
    // Bad values of the time threshold or shuffle seed variables.
    failed = true;
    FUZZ_CHECK(!failure.message.empty(), "a failure carries a message");
  }
  runner::set_current_capture(nullptr);
  environ = saved_environ;

  if (failed) {
    FUZZ_CHECK(capture->contents().find(" panicked at ") != std::string::npos,
               "a failure writes its report");
    return 0;
  }
  if (const auto* error = std::get_if<runner::OptsError>(&*result)) {
    FUZZ_CHECK(!error->message.empty(), "an error has a text");
  } else if (std::holds_alternative<runner::HelpShown>(*result)) {
    FUZZ_CHECK(capture->contents().rfind("Usage: ", 0) == 0, "help was printed");
  } else {
    const auto& opts = std::get<runner::TestOpts>(*result);
    FUZZ_CHECK(!opts.test_threads || *opts.test_threads >= 1, "thread count is at least 1");
    FUZZ_CHECK(opts.filters.size() + opts.skip.size() <= args.size(),
               "filters and skips come from the arguments");
    const bool experimental = opts.fail_fast || opts.exclude_should_panic || opts.force_run_in_process ||
                              opts.shuffle || opts.shuffle_seed.has_value() ||
                              opts.format == runner::OutputFormat::Json ||
                              opts.format == runner::OutputFormat::Junit;
    FUZZ_CHECK(!experimental || env[0].has_value(), "experimental settings need the bootstrap variable");
  }
  return 0;
}
