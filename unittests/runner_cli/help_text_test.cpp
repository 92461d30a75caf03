#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runner/help_text.hpp"
#include "runner/option_table.hpp"

namespace {

using runner::help_text;
using runner::OptionDef;
using runner::OptionId;
using runner::pack_words;

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      return lines;
    }
    lines.emplace_back(text.substr(start, nl - start));
    start = nl + 1;
  }
}

// The whole help text as laid out by the block and wrapping rules: option
// column padded to 24 (or the description on the next line, indented by 24),
// descriptions packed into rows of at most 54 characters. The last entry is
// empty because the text ends with a line end.
const std::vector<std::string> kExpectedHelp{
    "Usage: prog [OPTIONS] [FILTERS...]",
    "",
    "Options:",
    "        --include-ignored ",
    "                        Run ignored and not ignored tests",
    "        --ignored       Run only ignored tests",
    "        --force-run-in-process ",
    "                        Forces tests to run in-process when panic=abort",
    "        --exclude-should-panic ",
    "                        Excludes tests marked as should_panic",
    "        --test          Run tests and not benchmarks",
    "        --bench         Run benchmarks instead of tests",
    "        --list          List all tests and benchmarks",
    "        --fail-fast     Don't start new tests after the first failure",
    "    -h, --help          Display this message",
    "        --logfile PATH  Write logs to the specified file (deprecated)",
    "        --no-capture    don't capture stdout/stderr of each task, allow",
    "                        printing directly",
    "        --test-threads n_threads",
    "                        Number of threads used for running tests in parallel",
    "        --skip FILTER   Skip tests whose names contain FILTER (this flag can",
    "                        be used multiple times)",
    "    -q, --quiet         Display one character per test instead of one line.",
    "                        Alias to --format=terse",
    "        --exact         Exactly match filters rather than by substring",
    "        --color auto|always|never",
    "                        Configure coloring of output:",
    "                        auto = colorize if stdout is a tty and tests are run",
    "                        on serially (default);",
    "                        always = always colorize output;",
    "                        never = never colorize output;",
    "        --format pretty|terse|json|junit",
    "                        Configure formatting of output:",
    "                        pretty = Print verbose output;",
    "                        terse = Display one character per test;",
    "                        json = Output a json document;",
    "                        junit = Output a JUnit document",
    "        --show-output   Show captured stdout of successful tests",
    "    -Z unstable-options Enable nightly-only flags:",
    "                        unstable-options = Allow use of experimental features",
    "        --report-time   Show execution time of each test.",
    "                        Threshold values for colorized output are read from",
    "                        the environment variables QUORVANE_TEST_TIME_UNIT,",
    "                        QUORVANE_TEST_TIME_INTEGRATION and",
    "                        QUORVANE_TEST_TIME_DOCTEST.",
    "                        Each variable holds a warn time and a critical time in",
    "                        milliseconds, separated by a comma: `500,2000` means a",
    "                        warn time of 0.5s and a critical time of 2s.",
    "                        Not available for --format=terse",
    "        --ensure-time   Treat excess of the test execution time limit as",
    "                        error.",
    "                        Threshold values for this option are read from the",
    "                        environment variables QUORVANE_TEST_TIME_UNIT,",
    "                        QUORVANE_TEST_TIME_INTEGRATION and",
    "                        QUORVANE_TEST_TIME_DOCTEST.",
    "                        Each variable holds a warn time and a critical time in",
    "                        milliseconds, separated by a comma: `500,2000` means a",
    "                        warn time of 0.5s and a critical time of 2s.",
    "                        The critical time is the execution time limit that a",
    "                        test must not exceed.",
    "        --shuffle       Run tests in random order",
    "        --shuffle-seed SEED",
    "                        Run tests in random order; seed the random number",
    "                        generator with SEED",
    "",
    "",
    "The FILTER string is tested against the name of all tests, and only those",
    "tests whose names contain the filter are run. Multiple filter strings may",
    "be passed, which will run all tests matching any of the filters.",
    "",
    "By default, all tests are run in parallel. This can be altered with the",
    "--test-threads flag when running tests (set it to 1).",
    "",
    "By default, the tests are run in alphabetical order. Use --shuffle to run",
    "the tests in random order. Pass the generated \"shuffle seed\" to",
    "--shuffle-seed to run the tests in the same order again. Note that",
    "--shuffle and --shuffle-seed do not affect whether the tests are run in",
    "parallel.",
    "",
    "All tests have their standard output and standard error captured by default.",
    "This can be overridden with the --no-capture flag or by setting QUORVANE_TEST_NOCAPTURE to a value "
    "other than \"0\".",
    "Logging is not captured by default.",
    "",
    "Test Attributes:",
    "",
    "    Each test is a registry entry, `TestDescAndFn{desc, fn}`: a function",
    "    without arguments that passes by returning and fails by raising a check",
    "    failure, and a `TestDesc` whose fields mark it:",
    "",
    "    `.should_panic = ShouldPanic::No` - A plain test (the default).",
    "    benchmark - A benchmark, run only with --bench; this program has none.",
    "    `.should_panic = ShouldPanic::Yes` - The test passes only if it fails.",
    "    `.should_panic = ShouldPanic::YesWithMessage, .expected_message = \"T\"`",
    "        - The test passes only if it fails with a message containing T.",
    "    `.ignore = true` - The test is not run unless --ignored or",
    "        --include-ignored is given; `.ignore_message` tells why.",
    "",
};

const std::string kMendedCaptureLine =
    "This can be overridden with the --no-capture flag or by setting QUORVANE_TEST_NOCAPTURE to "
    "a value other than \"0\".";

TEST(HelpText, MatchesTheExpectedLayoutLineByLine) {
  std::vector<std::string> actual = split_lines(help_text("prog"));
  for (std::size_t i = 0; i < std::min(actual.size(), kExpectedHelp.size()); ++i) {
    EXPECT_EQ(actual[i], kExpectedHelp[i]) << "line " << i + 1;
  }
  EXPECT_EQ(actual.size(), kExpectedHelp.size());
}

TEST(HelpText, StartsWithUsageForTheProgramName) {
  std::string text = help_text("/path/to/audit");
  EXPECT_EQ(text.rfind("Usage: /path/to/audit [OPTIONS] [FILTERS...]\n\nOptions:\n", 0), 0u);
  EXPECT_EQ(text.back(), '\n');
}

TEST(HelpText, EveryLineFitsTheDescriptionColumnExceptTheMendedOne) {
  for (const std::string& line : split_lines(help_text("p"))) {
    if (line == kMendedCaptureLine) continue;
    EXPECT_LE(line.size(), runner::HELP_DESC_COLUMN + runner::HELP_DESC_WIDTH) << line;
    EXPECT_TRUE(line.empty() || line.back() != ' ' || line.find("--") != std::string::npos)
        << "stray trailing blank: [" << line << "]";
  }
}

TEST(HelpText, LiteralLines) {
  std::vector<std::string> lines = split_lines(help_text("prog"));
  auto has = [&](std::string_view want) {
    return std::find(lines.begin(), lines.end(), want) != lines.end();
  };
  EXPECT_TRUE(has("    -h, --help          Display this message"));
  EXPECT_TRUE(has("        --include-ignored "));
  EXPECT_TRUE(has("                        Run ignored and not ignored tests"));
  EXPECT_TRUE(has("    -Z unstable-options Enable nightly-only flags:"));
  EXPECT_TRUE(has("        --logfile PATH  Write logs to the specified file (deprecated)"));
  EXPECT_TRUE(has("the tests in random order. Pass the generated \"shuffle seed\" to"));
  EXPECT_TRUE(has(kMendedCaptureLine));
  EXPECT_TRUE(has("Test Attributes:"));
  // The hidden alias is accepted but not listed.
  EXPECT_FALSE(has("        --nocapture     Deprecated, use `--no-capture`"));
  for (const std::string& line : lines) EXPECT_EQ(line.find("--nocapture"), std::string::npos);
  // The time options name their three threshold variables.
  std::string text = help_text("prog");
  for (std::string_view var :
       {"QUORVANE_TEST_TIME_UNIT", "QUORVANE_TEST_TIME_INTEGRATION", "QUORVANE_TEST_TIME_DOCTEST"}) {
    std::size_t first = text.find(var);
    ASSERT_NE(first, std::string::npos) << var;
    EXPECT_NE(text.find(var, first + 1), std::string::npos) << var << " named only once";
  }
}

TEST(HelpText, OptionsAppearInTableOrder) {
  std::string text = help_text("prog");
  std::size_t last = 0;
  for (const OptionDef& def : runner::options()) {
    if (def.hidden) continue;
    std::string head;
    if (def.short_name != '\0') head = std::string("-") + def.short_name;
    if (def.short_name != '\0' && !def.long_name.empty()) head += ", ";
    if (!def.long_name.empty()) head += "--" + std::string(def.long_name);
    std::size_t at = text.find("    " + head, last);
    ASSERT_NE(at, std::string::npos) << head;
    last = at;
  }
}

struct PackCase {
  std::string line;
  std::size_t width;
  std::vector<std::string> rows;
};

class PackWords : public ::testing::TestWithParam<PackCase> {};

TEST_P(PackWords, PacksGreedily) {
  const PackCase& c = GetParam();
  EXPECT_EQ(pack_words(c.line, c.width), c.rows) << "[" << c.line << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PackWords,
    ::testing::Values(PackCase{"", 10, {}}, PackCase{"   \t ", 10, {}},
                      PackCase{"  one   two\tthree ", 54, {"one two three"}},
                      PackCase{"aaaa bbbb cc", 12, {"aaaa bbbb cc"}},  // exactly the width
                      PackCase{"aaaa bbbb ccc", 12, {"aaaa bbbb", "ccc"}},
                      PackCase{"a bbbbbbbbbbbbbbb c", 5, {"a", "bbbbbbbbbbbbbbb", "c"}},
                      PackCase{"bbbbbbbbbbbbbbb", 5, {"bbbbbbbbbbbbbbb"}}));

OptionDef synthetic(char short_name, std::string_view long_name, bool takes_arg, std::string_view hint,
                    std::span<const std::string_view> description) {
  return OptionDef{OptionId::List, short_name, long_name, takes_arg, false, false, hint, description};
}

TEST(OptionBlock, Layouts) {
  using namespace std::string_view_literals;
  static constexpr std::array kOne{"Does it"sv};
  static constexpr std::array kMulti{"Head:"sv, "            a   = first;"sv, ""sv,
                                     "            b   = second"sv};
  // 23 characters are padded to 24; 24 or more move the description down.
  EXPECT_EQ(runner::option_block(synthetic('\0', "abcdefghijkl", false, "", kOne)),
            "        --abcdefghijkl  Does it\n");
  EXPECT_EQ(runner::option_block(synthetic('\0', "abcdefghijklm", false, "", kOne)),
            "        --abcdefghijklm \n                        Does it\n");
  EXPECT_EQ(runner::option_block(synthetic('x', "", true, "VAL", kOne)),
            "    -x VAL              Does it\n");
  EXPECT_EQ(runner::option_block(synthetic('x', "ex", true, "VAL", kOne)),
            "    -x, --ex VAL        Does it\n");
  EXPECT_EQ(runner::option_block(synthetic('\0', "m", false, "", kMulti)),
            "        --m             Head:\n"
            "                        a = first;\n"
            "                        b = second\n");
}

}  // namespace
