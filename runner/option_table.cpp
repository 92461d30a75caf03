#include "runner/option_table.hpp"

#include <array>

namespace runner {
namespace {

using namespace std::string_view_literals;

// Descriptions as stored: continuation lines carry the twelve-space indent of
// their source layout, which the help layout trims away.
constexpr std::array kIncludeIgnored{"Run ignored and not ignored tests"sv};
constexpr std::array kIgnored{"Run only ignored tests"sv};
constexpr std::array kForceRunInProcess{"Forces tests to run in-process when panic=abort"sv};
constexpr std::array kExcludeShouldPanic{"Excludes tests marked as should_panic"sv};
constexpr std::array kTest{"Run tests and not benchmarks"sv};
constexpr std::array kBench{"Run benchmarks instead of tests"sv};
constexpr std::array kList{"List all tests and benchmarks"sv};
constexpr std::array kFailFast{"Don't start new tests after the first failure"sv};
constexpr std::array kHelp{"Display this message"sv};
constexpr std::array kLogfile{"Write logs to the specified file (deprecated)"sv};
constexpr std::array kNoCapture{
    "don't capture stdout/stderr of each task, allow printing directly"sv};
constexpr std::array kNoCaptureDeprecated{"Deprecated, use `--no-capture`"sv};
constexpr std::array kTestThreads{"Number of threads used for running tests in parallel"sv};
constexpr std::array kSkip{
    "Skip tests whose names contain FILTER (this flag can be used multiple times)"sv};
constexpr std::array kQuiet{
    "Display one character per test instead of one line. Alias to --format=terse"sv};
constexpr std::array kExact{"Exactly match filters rather than by substring"sv};
constexpr std::array kColor{
    "Configure coloring of output:"sv,
    "            auto   = colorize if stdout is a tty and tests are run on serially (default);"sv,
    "            always = always colorize output;"sv,
    "            never  = never colorize output;"sv,
};
constexpr std::array kFormat{
    "Configure formatting of output:"sv,
    "            pretty = Print verbose output;"sv,
    "            terse  = Display one character per test;"sv,
    "            json   = Output a json document;"sv,
    "            junit  = Output a JUnit document"sv,
};
constexpr std::array kShowOutput{"Show captured stdout of successful tests"sv};
constexpr std::array kUnstable{
    "Enable nightly-only flags:"sv,
    "            unstable-options = Allow use of experimental features"sv,
};
constexpr std::array kReportTime{
    "Show execution time of each test."sv,
    "            Threshold values for colorized output are read from the environment variables QUORVANE_TEST_TIME_UNIT, QUORVANE_TEST_TIME_INTEGRATION and QUORVANE_TEST_TIME_DOCTEST."sv,
    ""sv,
    "            Each variable holds a warn time and a critical time in milliseconds, separated by a comma: `500,2000` means a warn time of 0.5s and a critical time of 2s."sv,
    ""sv,
    "            Not available for --format=terse"sv,
};
constexpr std::array kEnsureTime{
    "Treat excess of the test execution time limit as error."sv,
    "            Threshold values for this option are read from the environment variables QUORVANE_TEST_TIME_UNIT, QUORVANE_TEST_TIME_INTEGRATION and QUORVANE_TEST_TIME_DOCTEST."sv,
    ""sv,
    "            Each variable holds a warn time and a critical time in milliseconds, separated by a comma: `500,2000` means a warn time of 0.5s and a critical time of 2s."sv,
    ""sv,
    "            The critical time is the execution time limit that a test must not exceed."sv,
};
constexpr std::array kShuffle{"Run tests in random order"sv};
constexpr std::array kShuffleSeed{
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

constexpr bool kArg = true;
constexpr bool kFlag = false;

const std::array<OptionDef, kOptionCount> kOptions{
    make({OptionId::IncludeIgnored, '\0', "include-ignored", kFlag, false, false, ""}, kIncludeIgnored),
    make({OptionId::Ignored, '\0', "ignored", kFlag, false, false, ""}, kIgnored),
    make({OptionId::ForceRunInProcess, '\0', "force-run-in-process", kFlag, false, false, ""},
         kForceRunInProcess),
    make({OptionId::ExcludeShouldPanic, '\0', "exclude-should-panic", kFlag, false, false, ""},
         kExcludeShouldPanic),
    make({OptionId::Test, '\0', "test", kFlag, false, false, ""}, kTest),
    make({OptionId::Bench, '\0', "bench", kFlag, false, false, ""}, kBench),
    make({OptionId::List, '\0', "list", kFlag, false, false, ""}, kList),
    make({OptionId::FailFast, '\0', "fail-fast", kFlag, false, false, ""}, kFailFast),
    make({OptionId::Help, 'h', "help", kFlag, false, false, ""}, kHelp),
    make({OptionId::Logfile, '\0', "logfile", kArg, false, false, "PATH"}, kLogfile),
    make({OptionId::NoCapture, '\0', "no-capture", kFlag, false, false, ""}, kNoCapture),
    make({OptionId::NoCaptureDeprecated, '\0', "nocapture", kFlag, false, true, ""},
         kNoCaptureDeprecated),
    make({OptionId::TestThreads, '\0', "test-threads", kArg, false, false, "n_threads"}, kTestThreads),
    make({OptionId::Skip, '\0', "skip", kArg, true, false, "FILTER"}, kSkip),
    make({OptionId::Quiet, 'q', "quiet", kFlag, false, false, ""}, kQuiet),
    make({OptionId::Exact, '\0', "exact", kFlag, false, false, ""}, kExact),
    make({OptionId::Color, '\0', "color", kArg, false, false, "auto|always|never"}, kColor),
    make({OptionId::Format, '\0', "format", kArg, false, false, "pretty|terse|json|junit"}, kFormat),
    make({OptionId::ShowOutput, '\0', "show-output", kFlag, false, false, ""}, kShowOutput),
    make({OptionId::Unstable, 'Z', "", kArg, false, false, "unstable-options"}, kUnstable),
    make({OptionId::ReportTime, '\0', "report-time", kFlag, false, false, ""}, kReportTime),
    make({OptionId::EnsureTime, '\0', "ensure-time", kFlag, false, false, ""}, kEnsureTime),
    make({OptionId::Shuffle, '\0', "shuffle", kFlag, false, false, ""}, kShuffle),
    make({OptionId::ShuffleSeed, '\0', "shuffle-seed", kArg, false, false, "SEED"}, kShuffleSeed),
};

}  // namespace

std::span<const OptionDef> options() noexcept { return kOptions; }

const OptionDef& option(OptionId id) noexcept { return kOptions[static_cast<std::size_t>(id)]; }

std::optional<OptionId> find_long(std::string_view name) noexcept {
  if (name.empty()) return std::nullopt;
  for (const auto& def : kOptions) {
    if (def.long_name == name) return def.id;
  }
  return std::nullopt;
}

std::optional<OptionId> find_short(char name) noexcept {
  if (name == '\0') return std::nullopt;
  for (const auto& def : kOptions) {
    if (def.short_name == name) return def.id;
  }
  return std::nullopt;
}

}  // namespace runner
