#include "runner/option_table.hpp"

#include <array>

namespace runner {
namespace {

using namespace std::string_view_literals;

// Descriptions as stored: continuation lines carry the twelve-space indent of
// their source layout, which the help layout trims away.
constexpr std::array INCLUDE_IGNORED_DESC{"Run ignored and not ignored tests"sv};
constexpr std::array IGNORED_DESC{"Run only ignored tests"sv};
constexpr std::array FORCE_RUN_IN_PROCESS_DESC{"Forces tests to run in-process when panic=abort"sv};
constexpr std::array EXCLUDE_SHOULD_PANIC_DESC{"Excludes tests marked as should_panic"sv};
constexpr std::array TEST_DESC{"Run tests and not benchmarks"sv};
constexpr std::array BENCH_DESC{"Run benchmarks instead of tests"sv};
constexpr std::array LIST_DESC{"List all tests and benchmarks"sv};
constexpr std::array FAIL_FAST_DESC{"Don't start new tests after the first failure"sv};
constexpr std::array HELP_DESC{"Display this message"sv};
constexpr std::array LOGFILE_DESC{"Write logs to the specified file (deprecated)"sv};
constexpr std::array NO_CAPTURE_DESC{
    "don't capture stdout/stderr of each task, allow printing directly"sv};
constexpr std::array NO_CAPTURE_DEPRECATED_DESC{"Deprecated, use `--no-capture`"sv};
constexpr std::array TEST_THREADS_DESC{"Number of threads used for running tests in parallel"sv};
constexpr std::array SKIP_DESC{
    "Skip tests whose names contain FILTER (this flag can be used multiple times)"sv};
constexpr std::array QUIET_DESC{
    "Display one character per test instead of one line. Alias to --format=terse"sv};
constexpr std::array EXACT_DESC{"Exactly match filters rather than by substring"sv};
constexpr std::array COLOR_DESC{
    "Configure coloring of output:"sv,
    "            auto   = colorize if stdout is a tty and tests are run on serially (default);"sv,
    "            always = always colorize output;"sv,
    "            never  = never colorize output;"sv,
};
constexpr std::array FORMAT_DESC{
    "Configure formatting of output:"sv,
    "            pretty = Print verbose output;"sv,
    "            terse  = Display one character per test;"sv,
    "            json   = Output a json document;"sv,
    "            junit  = Output a JUnit document"sv,
};
constexpr std::array SHOW_OUTPUT_DESC{"Show captured stdout of successful tests"sv};
constexpr std::array UNSTABLE_DESC{
    "Enable nightly-only flags:"sv,
    "            unstable-options = Allow use of experimental features"sv,
};
constexpr std::array REPORT_TIME_DESC{
    "Show execution time of each test."sv,
    "            Threshold values for colorized output are read from the environment variables QUORVANE_TEST_TIME_UNIT, QUORVANE_TEST_TIME_INTEGRATION and QUORVANE_TEST_TIME_DOCTEST."sv,
    ""sv,
    "            Each variable holds a warn time and a critical time in milliseconds, separated by a comma: `500,2000` means a warn time of 0.5s and a critical time of 2s."sv,
    ""sv,
    "            Not available for --format=terse"sv,
};
constexpr std::array ENSURE_TIME_DESC{
    "Treat excess of the test execution time limit as error."sv,
    "            Threshold values for this option are read from the environment variables QUORVANE_TEST_TIME_UNIT, QUORVANE_TEST_TIME_INTEGRATION and QUORVANE_TEST_TIME_DOCTEST."sv,
    ""sv,
    "            Each variable holds a warn time and a critical time in milliseconds, separated by a comma: `500,2000` means a warn time of 0.5s and a critical time of 2s."sv,
    ""sv,
    "            The critical time is the execution time limit that a test must not exceed."sv,
};
constexpr std::array SHUFFLE_DESC{"Run tests in random order"sv};
constexpr std::array SHUFFLE_SEED_DESC{
    "Run tests in random order; seed the random number generator with SEED"sv};

struct Spec {
  OptionId id;
  char short_name;
  std::string_view long_name;
  bool takes_arg;
  bool may_repeat;
  bool hidden;
  std::string_view hint;
};

constexpr OptionDef make(Spec s, std::span<const std::string_view> description) {
  return OptionDef{s.id,     s.short_name, s.long_name, s.takes_arg,
                   s.may_repeat, s.hidden,  s.hint,      description};
}

constexpr bool TAKES_ARG = true;
constexpr bool FLAG = false;

const std::array<OptionDef, OPTION_COUNT> OPTION_DEFS{
    make({OptionId::IncludeIgnored, '\0', "include-ignored", FLAG, false, false, ""}, INCLUDE_IGNORED_DESC),
    make({OptionId::Ignored, '\0', "ignored", FLAG, false, false, ""}, IGNORED_DESC),
    make({OptionId::ForceRunInProcess, '\0', "force-run-in-process", FLAG, false, false, ""},
         FORCE_RUN_IN_PROCESS_DESC),
    make({OptionId::ExcludeShouldPanic, '\0', "exclude-should-panic", FLAG, false, false, ""},
         EXCLUDE_SHOULD_PANIC_DESC),
    make({OptionId::Test, '\0', "test", FLAG, false, false, ""}, TEST_DESC),
    make({OptionId::Bench, '\0', "bench", FLAG, false, false, ""}, BENCH_DESC),
    make({OptionId::List, '\0', "list", FLAG, false, false, ""}, LIST_DESC),
    make({OptionId::FailFast, '\0', "fail-fast", FLAG, false, false, ""}, FAIL_FAST_DESC),
    make({OptionId::Help, 'h', "help", FLAG, false, false, ""}, HELP_DESC),
    make({OptionId::Logfile, '\0', "logfile", TAKES_ARG, false, false, "PATH"}, LOGFILE_DESC),
    make({OptionId::NoCapture, '\0', "no-capture", FLAG, false, false, ""}, NO_CAPTURE_DESC),
    make({OptionId::NoCaptureDeprecated, '\0', "nocapture", FLAG, false, true, ""},
         NO_CAPTURE_DEPRECATED_DESC),
    make({OptionId::TestThreads, '\0', "test-threads", TAKES_ARG, false, false, "n_threads"}, TEST_THREADS_DESC),
    make({OptionId::Skip, '\0', "skip", TAKES_ARG, true, false, "FILTER"}, SKIP_DESC),
    make({OptionId::Quiet, 'q', "quiet", FLAG, false, false, ""}, QUIET_DESC),
    make({OptionId::Exact, '\0', "exact", FLAG, false, false, ""}, EXACT_DESC),
    make({OptionId::Color, '\0', "color", TAKES_ARG, false, false, "auto|always|never"}, COLOR_DESC),
    make({OptionId::Format, '\0', "format", TAKES_ARG, false, false, "pretty|terse|json|junit"}, FORMAT_DESC),
    make({OptionId::ShowOutput, '\0', "show-output", FLAG, false, false, ""}, SHOW_OUTPUT_DESC),
    make({OptionId::Unstable, 'Z', "", TAKES_ARG, false, false, "unstable-options"}, UNSTABLE_DESC),
    make({OptionId::ReportTime, '\0', "report-time", FLAG, false, false, ""}, REPORT_TIME_DESC),
    make({OptionId::EnsureTime, '\0', "ensure-time", FLAG, false, false, ""}, ENSURE_TIME_DESC),
    make({OptionId::Shuffle, '\0', "shuffle", FLAG, false, false, ""}, SHUFFLE_DESC),
    make({OptionId::ShuffleSeed, '\0', "shuffle-seed", TAKES_ARG, false, false, "SEED"}, SHUFFLE_SEED_DESC),
};

}  // namespace

std::span<const OptionDef> options() noexcept { return OPTION_DEFS; }

const OptionDef& option(OptionId id) noexcept { return OPTION_DEFS[static_cast<std::size_t>(id)]; }

std::optional<OptionId> find_long(std::string_view name) noexcept {
  if (name.empty()) return std::nullopt;
  for (const auto& def : OPTION_DEFS) {
    if (def.long_name == name) return def.id;
  }
  return std::nullopt;
}

std::optional<OptionId> find_short(char name) noexcept {
  if (name == '\0') return std::nullopt;
  for (const auto& def : OPTION_DEFS) {
    if (def.short_name == name) return def.id;
  }
  return std::nullopt;
}

}  // namespace runner
