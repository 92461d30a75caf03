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

using Description = std::span<const std::string_view>;

// A flag known by its long name (and `short_name`, if not '\0').
constexpr OptionDef flag(OptionId id, std::string_view long_name, Description description,
                         char short_name = '\0') {
  return OptionDef{id, short_name, long_name, false, false, false, {}, description};
}

// An option that takes one argument, shown in the help as `hint`.
constexpr OptionDef with_arg(OptionId id, std::string_view long_name, std::string_view hint,
                             Description description, char short_name = '\0') {
  return OptionDef{id, short_name, long_name, true, false, false, hint, description};
}

constexpr OptionDef repeatable(OptionDef def) {
  def.may_repeat = true;
  return def;
}

// Accepted, but left out of the help text.
constexpr OptionDef hidden(OptionDef def) {
  def.hidden = true;
  return def;
}

const std::array<OptionDef, OPTION_COUNT> OPTION_DEFS{
    flag(OptionId::IncludeIgnored, "include-ignored", INCLUDE_IGNORED_DESC),
    flag(OptionId::Ignored, "ignored", IGNORED_DESC),
    flag(OptionId::ForceRunInProcess, "force-run-in-process", FORCE_RUN_IN_PROCESS_DESC),
    flag(OptionId::ExcludeShouldPanic, "exclude-should-panic", EXCLUDE_SHOULD_PANIC_DESC),
    flag(OptionId::Test, "test", TEST_DESC),
    flag(OptionId::Bench, "bench", BENCH_DESC),
    flag(OptionId::List, "list", LIST_DESC),
    flag(OptionId::FailFast, "fail-fast", FAIL_FAST_DESC),
    flag(OptionId::Help, "help", HELP_DESC, 'h'),
    with_arg(OptionId::Logfile, "logfile", "PATH", LOGFILE_DESC),
    flag(OptionId::NoCapture, "no-capture", NO_CAPTURE_DESC),
    hidden(flag(OptionId::NoCaptureDeprecated, "nocapture", NO_CAPTURE_DEPRECATED_DESC)),
    with_arg(OptionId::TestThreads, "test-threads", "n_threads", TEST_THREADS_DESC),
    repeatable(with_arg(OptionId::Skip, "skip", "FILTER", SKIP_DESC)),
    flag(OptionId::Quiet, "quiet", QUIET_DESC, 'q'),
    flag(OptionId::Exact, "exact", EXACT_DESC),
    with_arg(OptionId::Color, "color", "auto|always|never", COLOR_DESC),
    with_arg(OptionId::Format, "format", "pretty|terse|json|junit", FORMAT_DESC),
    flag(OptionId::ShowOutput, "show-output", SHOW_OUTPUT_DESC),
    with_arg(OptionId::Unstable, "", "unstable-options", UNSTABLE_DESC, 'Z'),
    flag(OptionId::ReportTime, "report-time", REPORT_TIME_DESC),
    flag(OptionId::EnsureTime, "ensure-time", ENSURE_TIME_DESC),
    flag(OptionId::Shuffle, "shuffle", SHUFFLE_DESC),
    with_arg(OptionId::ShuffleSeed, "shuffle-seed", "SEED", SHUFFLE_SEED_DESC),
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
