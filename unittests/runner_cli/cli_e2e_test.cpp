// The audit executable's command line end to end. Expected counts are derived
// from the executable's own listing, so they hold however many checks it has.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runner/help_text.hpp"
#include "unittests/support/process.hpp"

namespace {

using test_support::ProcessOptions;
using test_support::ProcessResult;
using test_support::run_audit;

const std::string kLookup = "common::motion_command_names::tests::lookup_known_commands";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The registered names, from the terse listing ("name: test" per line).
const std::vector<std::string>& registered_names() {
  static const std::vector<std::string> names = [] {
    ProcessResult r = run_audit({"--list", "--format", "terse"});
    std::vector<std::string> out;
    for (const std::string& line : lines_of(r.out)) {
      const std::string suffix = ": test";
      if (line.size() > suffix.size() &&
          line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
        out.push_back(line.substr(0, line.size() - suffix.size()));
      }
    }
    return out;
  }();
  return names;
}

std::size_t count_containing(std::string_view piece) {
  const auto& names = registered_names();
  return static_cast<std::size_t>(std::count_if(names.begin(), names.end(), [&](const std::string& n) {
    return n.find(piece) != std::string::npos;
  }));
}

// How many registered names contain `filter` and none of `skips`.
std::size_t selected_by(std::string_view filter, std::initializer_list<std::string_view> skips) {
  std::size_t count = 0;
  for (const std::string& name : registered_names()) {
    if (name.find(filter) == std::string::npos) continue;
    if (std::any_of(skips.begin(), skips.end(),
                    [&](std::string_view s) { return name.find(s) != std::string::npos; })) {
      continue;
    }
    ++count;
  }
  return count;
}

std::string plural(std::size_t n, std::string_view word) {
  return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

std::string running_line(std::size_t n) { return "\nrunning " + plural(n, "test") + "\n"; }

std::string counts(std::size_t passed, std::size_t ignored, std::size_t filtered) {
  return ". " + std::to_string(passed) + " passed; 0 failed; " + std::to_string(ignored) +
         " ignored; 0 measured; " + std::to_string(filtered) + " filtered out; finished in ";
}

bool contains(const std::string& text, std::string_view piece) {
  return text.find(piece) != std::string::npos;
}

std::string show(const ProcessResult& r) {
  return "status " + std::to_string(r.status) + "\n--- stdout ---\n" + r.out + "--- stderr ---\n" +
         r.err;
}

class AuditCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(registered_names().size(), 3u) << "listing gave too few names";
    ASSERT_EQ(count_containing(kLookup), 1u);
  }
  std::size_t registered() const { return registered_names().size(); }
};

TEST_F(AuditCommandLine, TerseListingIsTheNameLinesOnly) {
  ProcessResult r = run_audit({"--list", "--format", "terse"});
  ASSERT_EQ(r.status, 0) << show(r);
  std::string expected;
  for (const auto& name : registered_names()) expected += name + ": test\n";
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "");
  // Registry order is ascending byte order of name.
  EXPECT_TRUE(std::is_sorted(registered_names().begin(), registered_names().end()));
}

TEST_F(AuditCommandLine, PrettyListingEndsWithTheCounts) {
  ProcessResult r = run_audit({"--list"});
  ASSERT_EQ(r.status, 0) << show(r);
  std::string expected;
  for (const auto& name : registered_names()) expected += name + ": test\n";
  expected += "\n" + plural(registered(), "test") + ", 0 benchmarks\n";
  EXPECT_EQ(r.out, expected);
  EXPECT_FALSE(contains(r.out, "running"));
}

TEST_F(AuditCommandLine, ListingSelectsAndIgnoresTheThreadVariable) {
  ProcessOptions env;
  env.env["QUORVANE_TEST_THREADS"] = "x";
  ProcessResult r = run_audit({"--list", "lookup"}, env);
  ASSERT_EQ(r.status, 0) << show(r);
  EXPECT_EQ(r.out, kLookup + ": test\n\n1 test, 0 benchmarks\n");
}

TEST_F(AuditCommandLine, ListingWithNothingSelected) {
  ProcessResult r = run_audit({"--list", "Lookup"});
  ASSERT_EQ(r.status, 0) << show(r);
  EXPECT_EQ(r.out, "0 tests, 0 benchmarks\n");
}

// Runs that select only name-table checks, with the expected selection.
TEST_F(AuditCommandLine, FiltersSelectTheExpectedChecks) {
  struct Case {
    std::vector<std::string> args;
    std::size_t selected;
  };
  const std::size_t n = registered();
  const std::vector<Case> cases{
      {{"lookup"}, count_containing("lookup")},
      {{"lookup", "--exact"}, 0},
      {{"--exact", kLookup}, 1},
      {{"Lookup"}, 0},
      {{"--", "--list"}, 0},
      {{"--skip", "common", "--skip", "shield"},
       n - count_containing("common") - count_containing("shield")},
      {{"common", "--skip", "table", "--skip", "classify"},
       selected_by("common", {"table", "classify"})},
      {{"--ignored"}, 0},
      {{"--include-ignored", "lookup"}, 1},
      {{"--test-threads", "1", "lookup"}, 1},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const auto& a : c.args) label += a + " ";
    ProcessResult r = run_audit(c.args);
    ASSERT_EQ(r.status, 0) << label << show(r);
    EXPECT_TRUE(r.out.rfind(running_line(c.selected), 0) == 0) << label << show(r);
    EXPECT_TRUE(contains(r.out, "test result: ok" + counts(c.selected, 0, n - c.selected)))
        << label << show(r);
  }
}

TEST_F(AuditCommandLine, FilterRunsTheLookupCheck) {
  ProcessResult r = run_audit({"lookup"});
  ASSERT_EQ(r.status, 0) << show(r);
  EXPECT_TRUE(contains(r.out, "test " + kLookup + " ... ok\n")) << show(r);
}

TEST_F(AuditCommandLine, IncludeIgnoredRunsEveryCheck) {
  ProcessResult r = run_audit({"--include-ignored"});
  EXPECT_EQ(r.out.rfind(running_line(registered()), 0), 0u) << show(r);
  EXPECT_TRUE(contains(r.out, " ignored; 0 measured; 0 filtered out; finished in ")) << show(r);
  EXPECT_TRUE(contains(r.out, "; 0 ignored; ")) << show(r);
}

TEST_F(AuditCommandLine, BenchReportsEveryCheckIgnoredUnlessTestIsGiven) {
  const std::size_t n = registered();
  ProcessResult bench = run_audit({"--bench"});
  ASSERT_EQ(bench.status, 0) << show(bench);
  EXPECT_TRUE(contains(bench.out, "test result: ok" + counts(0, n, 0))) << show(bench);

  ProcessResult bench_lookup = run_audit({"--bench", "lookup"});
  ASSERT_EQ(bench_lookup.status, 0) << show(bench_lookup);
  EXPECT_TRUE(contains(bench_lookup.out, "test " + kLookup + " ... ignored\n")) << show(bench_lookup);

  ProcessResult both = run_audit({"--bench", "--test", "lookup"});
  ASSERT_EQ(both.status, 0) << show(both);
  EXPECT_TRUE(contains(both.out, "test " + kLookup + " ... ok\n")) << show(both);
  EXPECT_TRUE(contains(both.out, "test result: ok" + counts(1, 0, n - 1))) << show(both);
}

TEST_F(AuditCommandLine, CommandLineErrorsEndWith101AndTheMessage) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases{
      {{"--ignored", "--include-ignored"},
       "the options --include-ignored and --ignored are mutually exclusive"},
      {{"--test-threads", "0"}, "argument for --test-threads must not be 0"},
      {{"--test-threads=abc"},
       "argument for --test-threads must be a number > 0 (error: invalid digit found in string)"},
      {{"--color", "sometimes"}, "argument for --color must be auto, always, or never (was sometimes)"},
      {{"--format", "xml"}, "argument for --format must be pretty, terse, json or junit (was xml)"},
      {{"--nope"}, "Unrecognized option: 'nope'"},
      {{"lookup", "--test-threads"}, "Argument to option 'test-threads' missing"},
      {{"--list=yes"}, "Option 'list' does not take an argument"},
      {{"--color", "auto", "--color", "never"}, "Option 'color' given more than once"},
      {{"--format", "json"},
       "The \"json\" format is only accepted on the nightly compiler with -Z unstable-options"},
      {{"-Z", "unstable-options", "--format", "json"},
       "the option `Z` is only accepted on the nightly compiler"},
      {{"--logfile", "x.log", "--nope"}, "Unrecognized option: 'nope'"},
  };
  for (const Case& c : cases) {
    ProcessResult r = run_audit(c.args);
    EXPECT_EQ(r.status, 101) << c.message << "\n" << show(r);
    EXPECT_EQ(r.err, "error: " + c.message + "\n") << show(r);
    EXPECT_EQ(r.out, "") << show(r);
  }
}

TEST_F(AuditCommandLine, ExperimentalOptionsWithTheBootstrapVariable) {
  ProcessOptions env;
  env.env["QUORVANE_BOOTSTRAP"] = "1";
  ProcessResult r = run_audit({"-Z", "unstable-options", "--format", "json", "--list", "lookup"}, env);
  ASSERT_EQ(r.status, 0) << show(r);
  std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 3u) << show(r);
  EXPECT_EQ(lines[0], R"({ "type": "suite", "event": "discovery" })");
  EXPECT_EQ(lines[1].rfind(R"({ "type": "test", "event": "discovered", "name": ")" + kLookup + "\"", 0),
            0u)
      << lines[1];
  EXPECT_EQ(lines[2].rfind(R"({ "type": "suite", "event": "completed", "tests": 1, )", 0), 0u)
      << lines[2];

  ProcessResult run = run_audit({"-Zunstable-options", "--format=json", "lookup"}, env);
  ASSERT_EQ(run.status, 0) << show(run);
  EXPECT_TRUE(contains(run.out, R"({ "type": "test", "name": ")" + kLookup + R"(", "event": "ok" })"))
      << show(run);
}

TEST_F(AuditCommandLine, BadShuffleSeedVariableIsAFailureOnTheMainThread) {
  ProcessOptions env;
  env.env["QUORVANE_BOOTSTRAP"] = "1";
  env.env["QUORVANE_TEST_SHUFFLE_SEED"] = "soon";
  ProcessResult r = run_audit({"-Zunstable-options", "lookup"}, env);
  EXPECT_EQ(r.status, 101) << show(r);
  EXPECT_TRUE(contains(r.err, "thread 'main'")) << show(r);
  EXPECT_TRUE(contains(r.err, "QUORVANE_TEST_SHUFFLE_SEED is `soon`, should be a number.\n")) << show(r);
  EXPECT_EQ(r.out, "") << show(r);
}

TEST_F(AuditCommandLine, HelpPrintsTheHelpTextWithStatus0) {
  for (const char* flag : {"--help", "-h"}) {
    ProcessResult r = run_audit({flag, "--list"});
    ASSERT_EQ(r.status, 0) << show(r);
    EXPECT_EQ(r.out, runner::help_text(test_support::audit_exe()));
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(AuditCommandLine, HelpOnAClosedStdoutFailsWithTheStreamName) {
  ProcessResult r =
      test_support::run_process({"/bin/sh", "-c", "exec \"$0\" --help >&-", test_support::audit_exe()});
  EXPECT_EQ(r.status, 101) << show(r);
  EXPECT_TRUE(contains(r.err, "failed printing to stdout: ")) << show(r);
}

class LogfileTest : public AuditCommandLine {
 protected:
  void SetUp() override {
    AuditCommandLine::SetUp();
    char tmpl[] = "/tmp/runner_cli_logXXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/run.log";
  }
  void TearDown() override {
    ::unlink(path_.c_str());
    ::rmdir(dir_.c_str());
  }
  std::string log_text() const {
    std::ifstream in(path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir_;
  std::string path_;
};

TEST_F(LogfileTest, RunWarningTakesTheEmptyLineBeforeRunning) {
  ProcessResult r = run_audit({"--logfile", path_, "lookup"});
  ASSERT_EQ(r.status, 0) << show(r);
  EXPECT_EQ(r.out.rfind("warning: `--logfile` is deprecated\nrunning 1 test\n", 0), 0u) << show(r);
  EXPECT_EQ(log_text(), "ok " + kLookup + "\n");
}

TEST_F(LogfileTest, ListingWritesOneLinePerEntry) {
  {
    std::ofstream old(path_);
    old << "left over from before\n";
  }
  ProcessResult r = run_audit({"--list", "--logfile=" + path_});
  ASSERT_EQ(r.status, 0) << show(r);
  std::string expected_log;
  std::string expected_out = "warning: `--logfile` is deprecated";
  for (const auto& name : registered_names()) {
    expected_log += "test " + name + "\n";
    expected_out += name + ": test\n";
  }
  expected_out += "\n" + plural(registered(), "test") + ", 0 benchmarks\n";
  EXPECT_EQ(log_text(), expected_log);
  EXPECT_EQ(r.out, expected_out);
}

TEST_F(LogfileTest, ListingWithAnUnopenableLogfileIsAnIoError) {
  ProcessResult r = run_audit({"--list", "--logfile", dir_ + "/missing/run.log"});
  EXPECT_EQ(r.status, 101) << show(r);
  EXPECT_EQ(r.err.rfind("error: io error when listing tests: ", 0), 0u) << show(r);
  EXPECT_TRUE(contains(r.err, "No such file or directory")) << show(r);
}

}  // namespace
