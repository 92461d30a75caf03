#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "runner/check_failure.hpp"
#include "runner/cli.hpp"
#include "runner/help_text.hpp"
#include "unittests/runner_cli/capture_guard.hpp"
#include "unittests/support/env_guard.hpp"

namespace {

using runner::ColorConfig;
using runner::HelpShown;
using runner::OptsError;
using runner::OutputFormat;
using runner::RunIgnored;
using runner::TestOpts;
using runner_cli_test::CaptureGuard;
using test_support::EnvGuard;

// Every variable that option parsing reads.
EnvGuard clean_runner_env() {
  return EnvGuard{"QUORVANE_BOOTSTRAP",         "QUORVANE_TEST_NOCAPTURE",
                  "QUORVANE_TEST_SHUFFLE",      "QUORVANE_TEST_SHUFFLE_SEED",
                  "QUORVANE_TEST_TIME_UNIT",    "QUORVANE_TEST_TIME_INTEGRATION",
                  "QUORVANE_TEST_TIME_DOCTEST", "QUORVANE_TEST_THREADS"};
}

using Env = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> with_program(const std::vector<std::string>& args) {
  std::vector<std::string> all{"prog"};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

struct Parsed {
  runner::OptsResult result;
  std::string printed;  // what parse_opts printed to standard output
};

Parsed parse(const std::vector<std::string>& args, const Env& env = {}) {
  auto guard = clean_runner_env();
  for (const auto& [name, value] : env) guard.set(name, value);
  CaptureGuard capture;
  auto all = with_program(args);
  auto result = runner::parse_opts(all);
  return {std::move(result), capture.text()};
}

std::string join(const std::vector<std::string>& args) {
  std::string s;
  for (const auto& a : args) s += "[" + a + "]";
  return s;
}

// Every field of the options, one per line, so a mismatch names the field.
std::string describe(const TestOpts& o) {
  std::ostringstream s;
  s << "list=" << o.list << "\nfilters=" << join(o.filters) << "\nexact=" << o.filter_exact
    << "\nforce_run_in_process=" << o.force_run_in_process
    << "\nexclude_should_panic=" << o.exclude_should_panic
    << "\nrun_ignored=" << static_cast<int>(o.run_ignored) << "\nrun_tests=" << o.run_tests
    << "\nbench=" << o.bench_benchmarks << "\nlogfile=" << o.logfile.value_or("<none>")
    << "\nnocapture=" << o.nocapture << "\ncolor=" << static_cast<int>(o.color)
    << "\nformat=" << static_cast<int>(o.format) << "\nshuffle=" << o.shuffle
    << "\nseed=" << (o.shuffle_seed ? std::to_string(*o.shuffle_seed) : "<none>")
    << "\nthreads=" << (o.test_threads ? std::to_string(*o.test_threads) : "<none>")
    << "\nskip=" << join(o.skip) << "\ntime="
    << (o.time_options ? (o.time_options->error_on_excess ? "enforced" : "reported") : "<none>")
    << "\nfail_fast=" << o.fail_fast << "\nshow_output=" << o.display_output << "\n";
  return s.str();
}

// What parsing gave, as one text to compare: the options field by field, or
// the error.
std::string outcome(const runner::OptsResult& result) {
  if (const auto* opts = std::get_if<TestOpts>(&result)) return describe(*opts);
  if (const auto* err = std::get_if<OptsError>(&result)) return "error: " + err->message;
  return "help shown";
}

// Parses `args` under `env`, checks the outcome and returns what was printed.
std::string expect_outcome(const std::vector<std::string>& args, const Env& env,
                           const std::string& expected) {
  Parsed p = parse(args, env);
  EXPECT_EQ(outcome(p.result), expected) << "args " << join(args);
  return std::move(p.printed);
}

// ---------------------------------------------------------------------------
// Errors

struct ErrorCase {
  std::vector<std::string> args;
  std::string message;
  Env env = {};
};

class ParseOptsErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParseOptsErrors, ReportsTheFirstError) {
  const ErrorCase& c = GetParam();
  EXPECT_EQ(expect_outcome(c.args, c.env, "error: " + c.message), "")
      << "nothing is printed on a command line error";
}

const Env kBootstrap{{"QUORVANE_BOOTSTRAP", "1"}};
const std::string kNightly = " is only accepted on the nightly compiler with -Z unstable-options";

INSTANTIATE_TEST_SUITE_P(
    ScanErrors, ParseOptsErrors,
    ::testing::Values(ErrorCase{{"--nope"}, "Unrecognized option: 'nope'"},
                      ErrorCase{{"--lis"}, "Unrecognized option: 'lis'"},
                      ErrorCase{{"--=x"}, "Unrecognized option: ''"},
                      ErrorCase{{"-x"}, "Unrecognized option: 'x'"},
                      ErrorCase{{"-qx"}, "Unrecognized option: 'x'"},
                      ErrorCase{{"-q\xc3\xa9"}, "Unrecognized option: '\xc3\xa9'"},
                      ErrorCase{{"--test-threads"}, "Argument to option 'test-threads' missing"},
                      ErrorCase{{"-Z"}, "Argument to option 'Z' missing"},
                      ErrorCase{{"-qZ"}, "Argument to option 'Z' missing"},
                      ErrorCase{{"--list=yes"}, "Option 'list' does not take an argument"},
                      ErrorCase{{"--list="}, "Option 'list' does not take an argument"},
                      ErrorCase{{"--help=me"}, "Option 'help' does not take an argument"},
                      // Scan errors come in argument order.
                      ErrorCase{{"--nope", "--list=1"}, "Unrecognized option: 'nope'"},
                      ErrorCase{{"--list=1", "--nope"}, "Option 'list' does not take an argument"},
                      ErrorCase{{"--nope", "--skip"}, "Unrecognized option: 'nope'"},
                      // The first error wins over --help.
                      ErrorCase{{"--help", "--nope"}, "Unrecognized option: 'nope'"},
                      ErrorCase{{"-h", "--help"}, "Option 'help' given more than once"},
                      ErrorCase{{"-hh"}, "Option 'help' given more than once"}));

INSTANTIATE_TEST_SUITE_P(
    RepeatErrors, ParseOptsErrors,
    ::testing::Values(
        ErrorCase{{"--color", "auto", "--color", "never"}, "Option 'color' given more than once"},
        ErrorCase{{"-q", "--quiet"}, "Option 'quiet' given more than once"},
        ErrorCase{{"-Z", "a", "-Zb"}, "Option 'Z' given more than once"},
        ErrorCase{{"--logfile", "a", "--logfile=b"}, "Option 'logfile' given more than once"},
        // In option-table order, not argument order.
        ErrorCase{{"--exact", "--exact", "--list", "--list"}, "Option 'list' given more than once"},
        // Scan errors first, then repeats.
        ErrorCase{{"--color", "a", "--color", "b", "--nope"}, "Unrecognized option: 'nope'"},
        // Repeats before any value is examined.
        ErrorCase{{"--color", "bad", "--list", "--list"}, "Option 'list' given more than once"},
        ErrorCase{{"--help", "--list", "--list"}, "Option 'list' given more than once"}));

INSTANTIATE_TEST_SUITE_P(
    ValueErrors, ParseOptsErrors,
    ::testing::Values(
        ErrorCase{{"-Z", "unstable-options"}, "the option `Z` is only accepted on the nightly compiler"},
        ErrorCase{{"-Zunstable-options", "--fail-fast"},
                  "the option `Z` is only accepted on the nightly compiler"},
        ErrorCase{{"-Z", "unstable"}, "Unrecognized option to `Z`", kBootstrap},
        ErrorCase{{"-Z", "--help"}, "Unrecognized option to `Z`", kBootstrap},
        ErrorCase{{"--force-run-in-process"}, "The \"force-run-in-process\" flag" + kNightly},
        ErrorCase{{"--exclude-should-panic"}, "The \"exclude-should-panic\" flag" + kNightly},
        ErrorCase{{"--fail-fast"}, "The \"fail-fast\" flag" + kNightly},
        ErrorCase{{"--report-time"}, "The \"report-time\" flag" + kNightly},
        ErrorCase{{"--ensure-time"}, "The \"ensure-time\" flag" + kNightly},
        // The bootstrap variable alone does not enable experimental options.
        ErrorCase{{"--fail-fast"}, "The \"fail-fast\" flag" + kNightly, kBootstrap},
        ErrorCase{{"--shuffle"}, "The \"shuffle\" flag" + kNightly},
        ErrorCase{{"--shuffle-seed", "12"}, "The \"shuffle-seed\" option" + kNightly},
        ErrorCase{{"--shuffle-seed", "x"},
                  "argument for --shuffle-seed must be a number (error: invalid digit found in "
                  "string)"},
        ErrorCase{{"-Zunstable-options", "--shuffle-seed="},
                  "argument for --shuffle-seed must be a number (error: cannot parse integer "
                  "from empty string)",
                  kBootstrap},
        ErrorCase{{"--include-ignored", "--ignored"},
                  "the options --include-ignored and --ignored are mutually exclusive"},
        ErrorCase{{"--test-threads", "0"}, "argument for --test-threads must not be 0"},
        ErrorCase{{"--test-threads", "000"}, "argument for --test-threads must not be 0"},
        ErrorCase{{"--test-threads=abc"},
                  "argument for --test-threads must be a number > 0 (error: invalid digit found "
                  "in string)"},
        ErrorCase{{"--test-threads", "-1"},
                  "argument for --test-threads must be a number > 0 (error: invalid digit found "
                  "in string)"},
        ErrorCase{{"--test-threads="},
                  "argument for --test-threads must be a number > 0 (error: cannot parse "
                  "integer from empty string)"},
        ErrorCase{{"--test-threads", "99999999999999999999"},
                  "argument for --test-threads must be a number > 0 (error: number too large to "
                  "fit in target type)"},
        ErrorCase{{"--color", "sometimes"},
                  "argument for --color must be auto, always, or never (was sometimes)"},
        ErrorCase{{"--color", "Always"},
                  "argument for --color must be auto, always, or never (was Always)"},
        ErrorCase{{"--format", "xml"},
                  "argument for --format must be pretty, terse, json or junit (was xml)"},
        ErrorCase{{"--format", "json"}, "The \"json\" format" + kNightly},
        ErrorCase{{"--format=junit"}, "The \"junit\" format" + kNightly}));

// When several values are wrong, the one examined first is reported.
INSTANTIATE_TEST_SUITE_P(
    ExaminationOrder, ParseOptsErrors,
    ::testing::Values(
        ErrorCase{{"--fail-fast", "-Z", "x"}, "the option `Z` is only accepted on the nightly compiler"},
        ErrorCase{{"--ensure-time", "--fail-fast"}, "The \"fail-fast\" flag" + kNightly},
        ErrorCase{{"--shuffle", "--report-time"}, "The \"report-time\" flag" + kNightly},
        ErrorCase{{"--include-ignored", "--ignored", "--shuffle"}, "The \"shuffle\" flag" + kNightly},
        ErrorCase{{"--shuffle-seed", "1", "--shuffle"}, "The \"shuffle\" flag" + kNightly},
        ErrorCase{{"--test-threads", "0", "--include-ignored", "--ignored"},
                  "the options --include-ignored and --ignored are mutually exclusive"},
        ErrorCase{{"--color", "x", "--test-threads", "0"}, "argument for --test-threads must not be 0"},
        ErrorCase{{"--format", "xml", "--color", "x"},
                  "argument for --color must be auto, always, or never (was x)"},
        ErrorCase{{"--format", "json", "--color", "x"},
                  "argument for --color must be auto, always, or never (was x)"}));

// ---------------------------------------------------------------------------
// Settings

struct SettingsCase {
  std::string name;
  std::vector<std::string> args;
  std::function<void(TestOpts&)> expect;  // applied to the defaults
  Env env = {};
};

class ParseOptsSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(ParseOptsSettings, DerivesTheOptions) {
  const SettingsCase& c = GetParam();
  TestOpts expected;
  c.expect(expected);
  expect_outcome(c.args, c.env, describe(expected));
}

const Env kUnstableEnv{{"QUORVANE_BOOTSTRAP", "yes"}};

INSTANTIATE_TEST_SUITE_P(
    Settings, ParseOptsSettings,
    ::testing::Values(SettingsCase{"defaults", {}, [](TestOpts&) {}},
                      SettingsCase{"free_arguments_anywhere",
                                   {"a", "--exact", "b", "", "-"},
                                   [](TestOpts& o) {
                                     o.filters = {"a", "b", "", "-"};
                                     o.filter_exact = true;
                                   }},
                      SettingsCase{"double_dash_ends_options",
                                   {"x", "--", "--list", "-q", "--"},
                                   [](TestOpts& o) {
                                     o.filters = {"x", "--list", "-q", "--"};
                                   }},
                      SettingsCase{"next_argument_taken_whatever_it_looks_like",
                                   {"--skip", "--list", "--skip=-q", "--skip", "--"},
                                   [](TestOpts& o) {
                                     o.skip = {"--list", "-q", "--"};
                                   }},
                      SettingsCase{"attached_value_keeps_later_equals",
                                   {"--skip=a=b"},
                                   [](TestOpts& o) { o.skip = {"a=b"}; }},
                      SettingsCase{"list", {"--list"}, [](TestOpts& o) { o.list = true; }},
                      SettingsCase{"ignored_only",
                                   {"--ignored"},
                                   [](TestOpts& o) { o.run_ignored = RunIgnored::Only; }},
                      SettingsCase{"include_ignored",
                                   {"--include-ignored"},
                                   [](TestOpts& o) { o.run_ignored = RunIgnored::Yes; }},
                      SettingsCase{"bench_alone",
                                   {"--bench"},
                                   [](TestOpts& o) {
                                     o.bench_benchmarks = true;
                                     o.run_tests = false;
                                   }},
                      SettingsCase{"bench_with_test",
                                   {"--test", "--bench"},
                                   [](TestOpts& o) { o.bench_benchmarks = true; }},
                      SettingsCase{"test_alone", {"--test"}, [](TestOpts&) {}},
                      SettingsCase{
                          "threads", {"--test-threads", "+4"}, [](TestOpts& o) { o.test_threads = 4; }},
                      SettingsCase{"threads_attached",
                                   {"--test-threads=1"},
                                   [](TestOpts& o) { o.test_threads = 1; }},
                      SettingsCase{"skips_in_order",
                                   {"--skip", "b", "x", "--skip", "a"},
                                   [](TestOpts& o) {
                                     o.skip = {"b", "a"};
                                     o.filters = {"x"};
                                   }},
                      SettingsCase{"quiet_gives_terse",
                                   {"-q"},
                                   [](TestOpts& o) { o.format = OutputFormat::Terse; }},
                      SettingsCase{"format_wins_over_quiet",
                                   {"--quiet", "--format", "pretty"},
                                   [](TestOpts& o) { o.format = OutputFormat::Pretty; }},
                      SettingsCase{"format_terse",
                                   {"--format=terse"},
                                   [](TestOpts& o) { o.format = OutputFormat::Terse; }},
                      SettingsCase{"color_always",
                                   {"--color", "always"},
                                   [](TestOpts& o) { o.color = ColorConfig::Always; }},
                      SettingsCase{"color_never",
                                   {"--color=never"},
                                   [](TestOpts& o) { o.color = ColorConfig::Never; }},
                      SettingsCase{"color_auto", {"--color", "auto"}, [](TestOpts&) {}},
                      SettingsCase{"show_output",
                                   {"--show-output"},
                                   [](TestOpts& o) { o.display_output = true; }},
                      SettingsCase{"logfile",
                                   {"--logfile", "out.log"},
                                   [](TestOpts& o) { o.logfile = "out.log"; }},
                      SettingsCase{
                          "no_capture", {"--no-capture"}, [](TestOpts& o) { o.nocapture = true; }},
                      SettingsCase{
                          "nocapture_alias", {"--nocapture"}, [](TestOpts& o) { o.nocapture = true; }},
                      SettingsCase{"capture_variable_on",
                                   {},
                                   [](TestOpts& o) { o.nocapture = true; },
                                   {{"QUORVANE_TEST_NOCAPTURE", "1"}}},
                      SettingsCase{"capture_variable_empty_is_on",
                                   {},
                                   [](TestOpts& o) { o.nocapture = true; },
                                   {{"QUORVANE_TEST_NOCAPTURE", ""}}},
                      SettingsCase{"capture_variable_zero",
                                   {},
                                   [](TestOpts&) {},
                                   {{"QUORVANE_TEST_NOCAPTURE", "0"}}},
                      SettingsCase{"capture_variable_not_text",
                                   {},
                                   [](TestOpts&) {},
                                   {{"QUORVANE_TEST_NOCAPTURE", "\xff"}}},
                      SettingsCase{"short_cluster",
                                   {"-qZunstable-options", "--fail-fast"},
                                   [](TestOpts& o) {
                                     o.format = OutputFormat::Terse;
                                     o.fail_fast = true;
                                   },
                                   kUnstableEnv},
                      SettingsCase{"unstable_flags",
                                   {"-Z", "unstable-options", "--force-run-in-process",
                                    "--exclude-should-panic", "--fail-fast"},
                                   [](TestOpts& o) {
                                     o.force_run_in_process = true;
                                     o.exclude_should_panic = true;
                                     o.fail_fast = true;
                                   },
                                   kUnstableEnv},
                      SettingsCase{"bootstrap_empty_text_counts_as_set",
                                   {"-Zunstable-options", "--fail-fast"},
                                   [](TestOpts& o) { o.fail_fast = true; },
                                   {{"QUORVANE_BOOTSTRAP", ""}}},
                      SettingsCase{"report_time",
                                   {"-Zunstable-options", "--report-time"},
                                   [](TestOpts& o) { o.time_options = runner::TestTimeOptions{}; },
                                   kUnstableEnv},
                      SettingsCase{"ensure_time",
                                   {"-Zunstable-options", "--ensure-time", "--report-time"},
                                   [](TestOpts& o) {
                                     o.time_options = runner::TestTimeOptions{};
                                     o.time_options->error_on_excess = true;
                                   },
                                   kUnstableEnv},
                      SettingsCase{"json_format",
                                   {"-Zunstable-options", "--format", "json"},
                                   [](TestOpts& o) { o.format = OutputFormat::Json; },
                                   kUnstableEnv},
                      SettingsCase{"junit_format",
                                   {"-Zunstable-options", "--format", "junit", "-q"},
                                   [](TestOpts& o) { o.format = OutputFormat::Junit; },
                                   kUnstableEnv},
                      SettingsCase{"shuffle_flag",
                                   {"-Zunstable-options", "--shuffle"},
                                   [](TestOpts& o) { o.shuffle = true; },
                                   kUnstableEnv},
                      SettingsCase{"shuffle_seed_option",
                                   {"-Zunstable-options", "--shuffle-seed", "18446744073709551615"},
                                   [](TestOpts& o) { o.shuffle_seed = 18446744073709551615ull; },
                                   kUnstableEnv},
                      SettingsCase{"shuffle_variable",
                                   {"-Zunstable-options"},
                                   [](TestOpts& o) { o.shuffle = true; },
                                   {{"QUORVANE_BOOTSTRAP", "1"}, {"QUORVANE_TEST_SHUFFLE", "yes"}}},
                      SettingsCase{"shuffle_variable_zero",
                                   {"-Zunstable-options"},
                                   [](TestOpts&) {},
                                   {{"QUORVANE_BOOTSTRAP", "1"}, {"QUORVANE_TEST_SHUFFLE", "0"}}},
                      SettingsCase{"shuffle_variables_need_experimental_options",
                                   {},
                                   [](TestOpts&) {},
                                   {{"QUORVANE_BOOTSTRAP", "1"},
                                    {"QUORVANE_TEST_SHUFFLE", "1"},
                                    {"QUORVANE_TEST_SHUFFLE_SEED", "not a number"}}},
                      SettingsCase{"shuffle_seed_variable",
                                   {"-Zunstable-options"},
                                   [](TestOpts& o) { o.shuffle_seed = 42; },
                                   {{"QUORVANE_BOOTSTRAP", "1"}, {"QUORVANE_TEST_SHUFFLE_SEED", "+42"}}},
                      SettingsCase{"shuffle_seed_option_wins_and_variable_is_not_read",
                                   {"-Zunstable-options", "--shuffle-seed=7"},
                                   [](TestOpts& o) { o.shuffle_seed = 7; },
                                   {{"QUORVANE_BOOTSTRAP", "1"}, {"QUORVANE_TEST_SHUFFLE_SEED", "x"}}},
                      SettingsCase{"thread_variable_is_not_read_here",
                                   {"--test-threads", "3"},
                                   [](TestOpts& o) { o.test_threads = 3; },
                                   {{"QUORVANE_TEST_THREADS", "x"}}}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

TEST(ParseOpts, EmptyArgumentListGivesDefaults) {
  auto env = clean_runner_env();
  auto result = runner::parse_opts(std::vector<std::string>{});
  const auto* opts = std::get_if<TestOpts>(&result);
  ASSERT_NE(opts, nullptr);
  EXPECT_EQ(describe(*opts), describe(TestOpts{}));
}

TEST(ParseOpts, HelpPrintsTheHelpTextAndStops) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"},
        {"-h"},
        {"-hq"},
        {"--help", "--color", "bad"},
        {"--help", "--format", "json", "--ignored", "--include-ignored"},
        {"x", "-h", "--logfile", "f"}}) {
    Parsed p = parse(args);
    EXPECT_TRUE(std::holds_alternative<HelpShown>(p.result)) << join(args);
    EXPECT_EQ(p.printed, runner::help_text("prog")) << join(args);
  }
}

TEST(ParseOpts, LogfileWarningAfterSuccessfulParsingOnly) {
  Parsed ok = parse({"--logfile", "run.log", "lookup"});
  ASSERT_TRUE(std::holds_alternative<TestOpts>(ok.result));
  EXPECT_EQ(ok.printed, "warning: `--logfile` is deprecated");

  Parsed bad_value = parse({"--logfile", "run.log", "--color", "bad"});
  ASSERT_TRUE(std::holds_alternative<OptsError>(bad_value.result));
  EXPECT_EQ(bad_value.printed, "");

  Parsed help = parse({"--logfile", "run.log", "--help"});
  ASSERT_TRUE(std::holds_alternative<HelpShown>(help.result));
  EXPECT_EQ(help.printed.find("warning"), std::string::npos);

  Parsed none = parse({"--list"});
  EXPECT_EQ(none.printed, "");
}

TEST(ParseOpts, BadShuffleSeedVariableRaisesAFailure) {
  auto env = clean_runner_env();
  env.set("QUORVANE_BOOTSTRAP", "1");
  for (const std::string value : {"abc", "-1", "", "18446744073709551616"}) {
    env.set("QUORVANE_TEST_SHUFFLE_SEED", value);
    CaptureGuard capture;  // keeps the failure report off standard error
    std::vector<std::string> args{"prog", "-Zunstable-options"};
    try {
      (void)runner::parse_opts(args);
      ADD_FAILURE() << "no failure for seed variable " << value;
    } catch (const runner::CheckFailure& failure) {
      EXPECT_EQ(failure.message, "QUORVANE_TEST_SHUFFLE_SEED is `" + value + "`, should be a number.");
    }
  }
}

TEST(ParseOpts, TimeThresholdsComeFromTheEnvironment) {
  Parsed p = parse({"-Zunstable-options", "--report-time"},
                   {{"QUORVANE_BOOTSTRAP", "1"}, {"QUORVANE_TEST_TIME_INTEGRATION", "10,20"}});
  const auto* opts = std::get_if<TestOpts>(&p.result);
  ASSERT_NE(opts, nullptr);
  ASSERT_TRUE(opts->time_options.has_value());
  EXPECT_EQ(opts->time_options->integration_threshold.warn.count(), 10);
  EXPECT_EQ(opts->time_options->integration_threshold.critical.count(), 20);
}

TEST(ParseOpts, TimeThresholdsAreNotReadWithoutTimeOptions) {
  Parsed p = parse({"--list"}, {{"QUORVANE_TEST_TIME_UNIT", "bad"}});
  EXPECT_TRUE(std::holds_alternative<TestOpts>(p.result));
}

TEST(ParseOpts, BadTimeThresholdRaisesAFailure) {
  auto env = clean_runner_env();
  env.set("QUORVANE_BOOTSTRAP", "1");
  env.set("QUORVANE_TEST_TIME_UNIT", "100");
  CaptureGuard capture;
  std::vector<std::string> args{"prog", "-Zunstable-options", "--ensure-time"};
  EXPECT_THROW((void)runner::parse_opts(args), runner::CheckFailure);
}

TEST(ParseCommandLine, PrintsAndRaisesNothingAndSaysWhatToDo) {
  const struct {
    std::vector<std::string> args;
    Env env;
    std::string help;     // expected help text, if any
    std::string failure;  // expected failure message, if any
    bool warns;
  } cases[] = {
      {{"-h", "--logfile", "f"}, {}, runner::help_text("prog"), "", false},
      {{"--logfile", "f"}, {}, "", "", true},
      {{"-Zunstable-options"},
       {{"QUORVANE_BOOTSTRAP", "1"}, {"QUORVANE_TEST_SHUFFLE_SEED", "soon"}},
       "",
       "QUORVANE_TEST_SHUFFLE_SEED is `soon`, should be a number.",
       false},
      {{"-Zunstable-options", "--report-time", "--logfile", "f"},
       {{"QUORVANE_BOOTSTRAP", "1"}, {"QUORVANE_TEST_TIME_UNIT", "9,1"}},
       "",
       "Test execution warn time should be less or equal to the critical time",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(join(c.args));
    auto guard = clean_runner_env();
    for (const auto& [name, value] : c.env) guard.set(name, value);
    CaptureGuard capture;
    const runner::CommandLine parsed = runner::parse_command_line(with_program(c.args));
    EXPECT_EQ(capture.text(), "");
    const auto* help = std::get_if<HelpShown>(&parsed);
    EXPECT_EQ(help ? help->text : "", c.help);
    const auto* failure = std::get_if<runner::EnvFailure>(&parsed);
    EXPECT_EQ(failure ? failure->message : "", c.failure);
    const auto* opts = std::get_if<TestOpts>(&parsed);
    EXPECT_EQ(opts != nullptr && runner::opts_warning(*opts).has_value(), c.warns);
  }
}

// ---------------------------------------------------------------------------
// The integer parser

struct U64Case {
  std::string text;
  std::variant<std::uint64_t, std::string> expected;
};

class ParseU64 : public ::testing::TestWithParam<U64Case> {};

TEST_P(ParseU64, ParsesOrNamesTheError) {
  const U64Case& c = GetParam();
  EXPECT_EQ(runner::parse_u64(c.text), c.expected) << "text [" << c.text << "]";
}

const std::string kEmpty = "cannot parse integer from empty string";
const std::string kDigit = "invalid digit found in string";
const std::string kLarge = "number too large to fit in target type";

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseU64,
    ::testing::Values(U64Case{"0", std::uint64_t{0}}, U64Case{"+7", std::uint64_t{7}},
                      U64Case{"00012", std::uint64_t{12}},
                      U64Case{"18446744073709551615", std::uint64_t{18446744073709551615ull}},
                      U64Case{"18446744073709551616", kLarge}, U64Case{"99999999999999999999", kLarge},
                      U64Case{"184467440737095516150", kLarge}, U64Case{"", kEmpty},
                      U64Case{"+", kDigit}, U64Case{"-", kDigit}, U64Case{"-0", kDigit},
                      U64Case{"-5", kDigit}, U64Case{"++5", kDigit}, U64Case{"12a", kDigit},
                      U64Case{" 1", kDigit}, U64Case{"1 ", kDigit}, U64Case{"1_000", kDigit},
                      U64Case{"0x10", kDigit}, U64Case{"\xef\xbc\x91", kDigit},
                      // The first problem from the left decides.
                      U64Case{"1x99999999999999999999", kDigit},
                      U64Case{"99999999999999999999x", kLarge}));

}  // namespace
