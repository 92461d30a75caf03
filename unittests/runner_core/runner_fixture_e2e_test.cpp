// End-to-end runs of the test-only fixture program: whole outputs compared
// line by line with only thread ids and times masked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>

#include "unittests/runner_core/e2e_support.hpp"

namespace {

using runner_e2e::lines;
using runner_e2e::run_fixture;

const std::string FIXTURE = "unittests/runner_core/fixture_main.cpp";
const std::string NOTE =
    "note: run with `QUORVANE_BACKTRACE=1` environment variable to display a backtrace";

// The end of a run of the whole registry, times masked: the names of the
// failed checks and the summary line.
const std::string FULL_RUN_TAIL =
    "\n"
    "failures:\n"
    "    assert_with_message\n"
    "    assert_without_message\n"
    "    fails_plain\n"
    "    must_fail_but_passes\n"
    "    must_fail_with_text_non_text\n"
    "    must_fail_with_text_other\n"
    "    prints_then_fails\n"
    "    spawned_thread_prints\n"
    "    throws_exception\n"
    "\n"
    "test result: FAILED. 5 passed; 9 failed; 2 ignored; 0 measured; 0 filtered out; "
    "finished in T.TTs\n"
    "\n";

std::string at(std::string_view needle) { return runner_e2e::source_position(FIXTURE, needle); }

// Where a report says a failure was raised: the line of the raising statement;
// the column depends on the compiler (start of the call or its parenthesis),
// so it is masked as "C" (see mask_columns).
std::string panic_at(std::string_view needle) {
  const std::string pos = at(needle);
  return pos.substr(0, pos.rfind(':')) + ":C";
}

std::string mask(std::string_view output) { return runner_e2e::mask_columns(runner_e2e::mask(output)); }

void expect_same_lines(const std::string& actual, const std::string& expected) {
  const auto a = lines(actual);
  const auto e = lines(expected);
  for (std::size_t i = 0; i < std::max(a.size(), e.size()); ++i) {
    EXPECT_EQ(i < a.size() ? a[i] : "<missing>", i < e.size() ? e[i] : "<missing>") << "line " << i + 1;
  }
  EXPECT_EQ(actual, expected);
}

test_support::ProcessOptions with_env(std::map<std::string, std::optional<std::string>> env) {
  test_support::ProcessOptions options;
  options.env = std::move(env);
  return options;
}

TEST(RunnerFixture, SequentialRunPrintsEveryKindOfResultAndFailureReport) {
  const auto r = run_fixture({"--test-threads", "1"});
  const std::string expected =
      "\n"
      "running 16 tests\n"
      "test assert_with_message ... FAILED\n"
      "test assert_without_message ... FAILED\n"
      "test fails_plain ... FAILED\n"
      "test ignored_plain ... ignored\n"
      "test ignored_with_message ... ignored, not today\n"
      "test must_fail_and_fails - should panic ... ok\n"
      "test must_fail_but_passes - should panic ... FAILED\n"
      "test must_fail_with_text_matching - should panic ... ok\n"
      "test must_fail_with_text_non_text - should panic ... FAILED\n"
      "test must_fail_with_text_other - should panic ... FAILED\n"
      "test nested::module::passes ... ok\n"
      "test passes ... ok\n"
      "test prints_then_fails ... FAILED\n"
      "test prints_then_passes ... ok\n"
      "test spawned_thread_prints ... FAILED\n"
      "test throws_exception ... FAILED\n"
      "\n"
      "failures:\n"
      "\n"
      "---- assert_with_message stdout ----\n"
      "\n"
      "thread 'assert_with_message' (TID) panicked at " +
      panic_at("runner::assert_equal(1, 2") +
      ":\n"
      "assertion `left == right` failed: the numbers differ\n"
      "  left: 1\n"
      " right: 2\n" +
      NOTE +
      "\n"
      "\n"
      "---- assert_without_message stdout ----\n"
      "\n"
      "thread 'assert_without_message' (TID) panicked at " +
      panic_at("runner::assert_equal(std::string(\"left\")") +
      ":\n"
      "assertion `left == right` failed\n"
      "  left: \"left\"\n"
      " right: \"right\"\n"
      "\n"
      "---- fails_plain stdout ----\n"
      "\n"
      "thread 'fails_plain' (TID) panicked at " +
      panic_at("runner::fail(\"plain failure") +
      ":\n"
      "plain failure\n"
      "second line\n"
      "\n"
      "---- must_fail_but_passes stdout ----\n"
      "note: test did not panic as expected at " +
      at("must_fail_but_passes() {}") +
      "\n"
      "---- must_fail_with_text_non_text stdout ----\n"
      "\n"
      "thread 'must_fail_with_text_non_text' (TID) panicked with an exception of type `int`:\n"
      "the exception carries no message\n"
      "note: expected panic with string value,\n"
      " found non-string value: `int`\n"
      "     expected substring: \"expected text\"\n"
      "---- must_fail_with_text_other stdout ----\n"
      "\n"
      "thread 'must_fail_with_text_other' (TID) panicked at " +
      panic_at("runner::fail(\"some") +
      ":\n"
      "some \"other\" text\n"
      "note: panic did not contain expected string\n"
      "      panic message: \"some \\\"other\\\" text\"\n"
      " expected substring: \"expected text\"\n"
      "---- prints_then_fails stdout ----\n"
      "printed before failing\n"
      "to standard error before failing\n"
      "\n"
      "thread 'prints_then_fails' (TID) panicked at " +
      panic_at("runner::fail(\"failure after") +
      ":\n"
      "failure after printing\n"
      "\n"
      "---- spawned_thread_prints stdout ----\n"
      "from the check's thread\n"
      "from the spawned thread\n"
      "\n"
      "thread '<unnamed>' (TID) panicked at " +
      panic_at("runner::fail(\"failure in the spawned") +
      ":\n"
      "failure in the spawned thread\n"
      "\n"
      "thread 'spawned_thread_prints' (TID) panicked at " +
      panic_at("runner::fail(\"the check fails") +
      ":\n"
      "the check fails after its thread\n"
      "\n"
      "---- throws_exception stdout ----\n"
      "\n"
      "thread 'throws_exception' (TID) panicked with an exception of type `std::runtime_error`:\n"
      "exception escaped the check\n"
      "\n" +
      FULL_RUN_TAIL;
  expect_same_lines(mask(r.out), expected);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 101);
}

TEST(RunnerFixture, ParallelRunPrintsNamesWithResultsAndOneNote) {
  const auto r = run_fixture({}, with_env({{"QUORVANE_TEST_THREADS", "4"}}));
  EXPECT_EQ(r.status, 101);
  auto results = runner_e2e::result_lines(r.out);
  std::sort(results.begin(), results.end());
  const std::vector<std::string> expected_results = {
      "test assert_with_message ... FAILED",
      "test assert_without_message ... FAILED",
      "test fails_plain ... FAILED",
      "test ignored_plain ... ignored",
      "test ignored_with_message ... ignored, not today",
      "test must_fail_and_fails - should panic ... ok",
      "test must_fail_but_passes - should panic ... FAILED",
      "test must_fail_with_text_matching - should panic ... ok",
      "test must_fail_with_text_non_text - should panic ... FAILED",
      "test must_fail_with_text_other - should panic ... FAILED",
      "test nested::module::passes ... ok",
      "test passes ... ok",
      "test prints_then_fails ... FAILED",
      "test prints_then_passes ... ok",
      "test spawned_thread_prints ... FAILED",
      "test throws_exception ... FAILED",
  };
  EXPECT_EQ(results, expected_results);
  // The note follows only the first report of the process, whichever check
  // raised it; that check may have passed (its output is then not shown).
  const auto all = lines(r.out);
  EXPECT_LE(std::count(all.begin(), all.end(), NOTE), 1);
  const std::string masked = mask(r.out);
  ASSERT_GE(masked.size(), FULL_RUN_TAIL.size());
  EXPECT_EQ(masked.substr(masked.size() - FULL_RUN_TAIL.size()), FULL_RUN_TAIL);
}

TEST(RunnerFixture, NoteFollowsOnlyTheFirstReportEvenWhenSeveralChecksFail) {
  const auto r = run_fixture({"--test-threads", "1", "fails_plain", "prints_then_fails", "assert_"});
  const auto all = lines(r.out);
  ASSERT_EQ(std::count(all.begin(), all.end(), NOTE), 1);
  // The first check to fail is the first in registry order.
  const auto note = std::find(all.begin(), all.end(), NOTE);
  const auto first_block = std::find(all.begin(), all.end(), "---- assert_with_message stdout ----");
  const auto second_block = std::find(all.begin(), all.end(), "---- assert_without_message stdout ----");
  EXPECT_TRUE(first_block < note && note < second_block);
}

TEST(RunnerFixture, PassingRunShowsNoCapturedOutput) {
  const auto r = run_fixture({"passes", "--skip", "must_"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  auto results = runner_e2e::result_lines(r.out);
  std::sort(results.begin(), results.end());
  EXPECT_EQ(results, (std::vector<std::string>{
                         "test nested::module::passes ... ok",
                         "test passes ... ok",
                         "test prints_then_passes ... ok",
                     }));
  const auto all = lines(mask(r.out));
  ASSERT_EQ(all.size(), 8u) << r.out;
  EXPECT_EQ(all[0], "");
  EXPECT_EQ(all[1], "running 3 tests");
  EXPECT_EQ(all[5], "");
  EXPECT_EQ(all[6],
            "test result: ok. 3 passed; 0 failed; 0 ignored; 0 measured; 13 filtered out; "
            "finished in T.TTs");
  EXPECT_EQ(all[7], "");
}

TEST(RunnerFixture, SingleSelectedCheckAndSummaryCounts) {
  struct Case {
    std::vector<std::string> args;
    std::string expected;
    int status;
  };
  const Case cases[] = {
      {{"--exact", "passes"},
       "\nrunning 1 test\ntest passes ... ok\n\n"
       "test result: ok. 1 passed; 0 failed; 0 ignored; 0 measured; 15 filtered out; "
       "finished in T.TTs\n\n",
       0},
      {{"no_such_check"},
       "\nrunning 0 tests\n\n"
       "test result: ok. 0 passed; 0 failed; 0 ignored; 0 measured; 16 filtered out; "
       "finished in T.TTs\n\n",
       0},
      {{"ignored_"},
       "\nrunning 2 tests\ntest ignored_plain ... ignored\ntest ignored_with_message ... ignored, "
       "not today\n\n"
       "test result: ok. 0 passed; 0 failed; 2 ignored; 0 measured; 14 filtered out; "
       "finished in T.TTs\n\n",
       0},
      {{"--exact", "prints_then_passes", "--show-output"},
       "\nrunning 1 test\ntest prints_then_passes ... ok\n\n"
       "successes:\n\n---- prints_then_passes stdout ----\nhidden output of a passing check\n\n"
       "\nsuccesses:\n    prints_then_passes\n\n"
       "test result: ok. 1 passed; 0 failed; 0 ignored; 0 measured; 15 filtered out; "
       "finished in T.TTs\n\n",
       0},
      {{"--exact", "must_fail_but_passes"},
       "\nrunning 1 test\ntest must_fail_but_passes - should panic ... FAILED\n\n"
       "failures:\n\n---- must_fail_but_passes stdout ----\nnote: test did not panic as expected "
       "at " +
           at("must_fail_but_passes() {}") +
           "\n\nfailures:\n    must_fail_but_passes\n\n"
           "test result: FAILED. 0 passed; 1 failed; 0 ignored; 0 measured; 15 filtered out; "
           "finished in T.TTs\n\n",
       101},
  };
  for (const auto& c : cases) {
    const auto r = run_fixture(c.args);
    expect_same_lines(mask(r.out), c.expected);
    EXPECT_EQ(r.status, c.status) << c.args.back();
    EXPECT_EQ(r.err, "") << c.args.back();
  }
}

TEST(RunnerFixture, WithoutCaptureOutputAndReportsGoToTheStreams) {
  const auto r = run_fixture({"--exact", "prints_then_fails", "--no-capture"});
  EXPECT_EQ(r.status, 101);
  // The failing check's output went straight out, so the failures section has
  // no stdout block, only the name list.
  expect_same_lines(mask(r.out),
                    "\nrunning 1 test\nprinted before failing\ntest prints_then_fails ... FAILED\n"
                    "\nfailures:\n\nfailures:\n    prints_then_fails\n\n"
                    "test result: FAILED. 0 passed; 1 failed; 0 ignored; 0 measured; 15 filtered "
                    "out; finished in T.TTs\n\n");
  expect_same_lines(mask(r.err),
                    "to standard error before failing\n\nthread 'prints_then_fails' "
                    "(TID) panicked at " +
                        panic_at("runner::fail(\"failure after") + ":\nfailure after printing\n" + NOTE +
                        "\n");
}

TEST(RunnerFixture, BadThreadCountValuesStopBeforeRunning) {
  for (const std::string value : {"0", "-1", "x", "", "2x", "+"}) {
    const auto r = run_fixture({}, with_env({{"QUORVANE_TEST_THREADS", value}}));
    EXPECT_EQ(r.status, 101) << value;
    EXPECT_EQ(r.out, "") << value;
    const auto err = lines(mask(r.err));
    ASSERT_EQ(err.size(), 4u) << r.err;
    EXPECT_EQ(err[0], "");
    EXPECT_TRUE(err[1].rfind("thread 'main' (TID) panicked at runner/", 0) == 0) << err[1];
    EXPECT_EQ(err[2], "QUORVANE_TEST_THREADS is `" + value + "`, should be a positive integer.");
    EXPECT_EQ(err[3], NOTE);
  }
}

TEST(RunnerFixture, ThreadCountVariableIsNotReadWithTheOptionOrWhenListing) {
  const auto opts = with_env({{"QUORVANE_TEST_THREADS", "x"}});
  const auto run = run_fixture({"--test-threads", "2", "--exact", "passes"}, opts);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(runner_e2e::result_lines(run.out), std::vector<std::string>{"test passes ... ok"});
  const auto list = run_fixture({"--list", "--exact", "passes"}, opts);
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "passes: test\n\n1 test, 0 benchmarks\n");
  // A valid variable is used: with 1 the name part comes before the result.
  const auto one = run_fixture({"--exact", "passes"}, with_env({{"QUORVANE_TEST_THREADS", "+1"}}));
  EXPECT_EQ(one.status, 0);
}

TEST(RunnerFixture, BacktraceVariableReplacesTheNoteWithABacktrace) {
  const auto r = run_fixture({"--exact", "fails_plain"}, with_env({{"QUORVANE_BACKTRACE", "1"}}));
  EXPECT_EQ(r.status, 101);
  EXPECT_EQ(r.out.find("note: run with"), std::string::npos);
  EXPECT_NE(r.out.find("second line\nstack backtrace:\n   0: "), std::string::npos) << r.out;
  const auto off = run_fixture({"--exact", "fails_plain"}, with_env({{"QUORVANE_BACKTRACE", "0"}}));
  EXPECT_NE(off.out.find(NOTE), std::string::npos);
  EXPECT_EQ(off.out.find("stack backtrace:"), std::string::npos);
}

TEST(RunnerFixture, UnwritableStandardOutputTakesTheIoErrorPath) {
  struct Case {
    bool closed;
    std::vector<std::string> args;
    std::string expected_err;
  };
  const std::string pipe_err =
      "error: io error when listing tests: Os { code: 32, kind: BrokenPipe, message: \"Broken "
      "pipe\" }\n";
  const std::string closed_err =
      "error: io error when listing tests: Os { code: 9, kind: Uncategorized, message: \"Bad file "
      "descriptor\" }\n";
  const Case cases[] = {
      {false, {"passes"}, pipe_err},
      {false, {"--list"}, pipe_err},
      {true, {"passes"}, closed_err},
      {true, {"--list"}, closed_err},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv{RUNNER_FIXTURE_EXE};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const auto r = runner_e2e::run_with_unwritable_stdout(argv, c.closed);
    EXPECT_EQ(r.status, 101) << c.args[0] << " closed=" << c.closed;
    EXPECT_EQ(r.err, c.expected_err) << c.args[0] << " closed=" << c.closed;
  }
}

TEST(RunnerFixture, HelpOnBrokenPipeRaisesAPrintingFailure) {
  const auto r = runner_e2e::run_with_unwritable_stdout({RUNNER_FIXTURE_EXE, "--help"}, false);
  EXPECT_EQ(r.status, 101);
  const auto err = lines(mask(r.err));
  ASSERT_GE(err.size(), 3u) << r.err;
  EXPECT_TRUE(err[1].rfind("thread 'main' (TID) panicked at runner/", 0) == 0) << err[1];
  EXPECT_EQ(err[2], "failed printing to stdout: Broken pipe (os error 32)");
}

TEST(RunnerFixture, ArgumentThatIsNotUtf8StopsOnTheMainThread) {
  const auto r = run_fixture({"pass\xff"});
  EXPECT_EQ(r.status, 101);
  EXPECT_EQ(r.out, "");
  const auto err = lines(mask(r.err));
  ASSERT_EQ(err.size(), 4u) << r.err;
  EXPECT_TRUE(err[1].rfind("thread 'main' (TID) panicked at runner/test_main.cpp:", 0) == 0);
  EXPECT_EQ(err[2], "process argument 1 is not valid UTF-8: \"pass\\xFF\"");
}

TEST(RunnerFixture, CommandLineErrorGoesToStandardError) {
  const auto r = run_fixture({"--nope"});
  EXPECT_EQ(r.status, 101);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error: Unrecognized option: 'nope'\n");
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(RunnerFixture, LogFileGetsOneLinePerCompletedCheck) {
  char dir_template[] = "/tmp/runner_core_log_XXXXXX";
  ASSERT_NE(::mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  const std::string log = dir + "/run.log";
  {
    std::ofstream old(log);
    old << "stale content that must be truncated\n";
  }
  const auto r =
      run_fixture({"--test-threads", "1", "--logfile", log, "must_fail_", "ignored_", "fails_plain"});
  EXPECT_EQ(r.status, 101);
  EXPECT_EQ(r.out.rfind("warning: `--logfile` is deprecated\nrunning 8 tests\n", 0), 0u) << r.out;
  EXPECT_EQ(read_file(log),
            "failed fails_plain\n"
            "ignored ignored_plain\n"
            "ignored: not today ignored_with_message\n"
            "ok must_fail_and_fails\n"
            "failed: test did not panic as expected at " +
                at("must_fail_but_passes() {}") +
                " must_fail_but_passes\n"
                "ok must_fail_with_text_matching\n"
                "failed: expected panic with string value,\n"
                " found non-string value: `int`\n"
                "     expected substring: \"expected text\" must_fail_with_text_non_text\n"
                "failed: panic did not contain expected string\n"
                "      panic message: \"some \\\"other\\\" text\"\n"
                " expected substring: \"expected text\" must_fail_with_text_other\n");

  // A log file that cannot be created ends the run before it starts.
  const auto bad = run_fixture({"--logfile", dir, "passes"});
  EXPECT_EQ(bad.status, 101);
  EXPECT_EQ(bad.err,
            "error: io error when listing tests: Os { code: 21, kind: IsADirectory, message: "
            "\"Is a directory\" }\n");
  ::unlink(log.c_str());
  ::rmdir(dir.c_str());
}

TEST(RunnerFixture, FailFastStopsAfterTheFirstFailure) {
  const auto opts = with_env({{"QUORVANE_BOOTSTRAP", "1"}});
  const auto seq = run_fixture({"-Z", "unstable-options", "--fail-fast", "--test-threads", "1"}, opts);
  EXPECT_EQ(seq.status, 101);
  EXPECT_EQ(runner_e2e::result_lines(seq.out),
            std::vector<std::string>{"test assert_with_message ... FAILED"});
  EXPECT_NE(mask(seq.out).find("test result: FAILED. 0 passed; 1 failed; 0 ignored; 0 measured; "
                               "0 filtered out; finished in T.TTs\n\n"),
            std::string::npos);

  const auto par = run_fixture({"-Z", "unstable-options", "--fail-fast", "--test-threads", "3"}, opts);
  EXPECT_EQ(par.status, 101);
  const auto results = runner_e2e::result_lines(par.out);
  ASSERT_FALSE(results.empty());
  EXPECT_NE(results.back().find("FAILED"), std::string::npos);
  EXPECT_EQ(std::count_if(results.begin(), results.end(),
                          [](const std::string& l) { return l.find("FAILED") != std::string::npos; }),
            1);
  EXPECT_LT(results.size(), 16u);
}

TEST(RunnerFixture, ReportedTimesFollowEachResult) {
  const auto r = run_fixture(
      {"-Z", "unstable-options", "--report-time", "--test-threads", "1", "--exact", "passes"},
      with_env({{"QUORVANE_BOOTSTRAP", "1"}}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(runner_e2e::result_lines(mask(r.out)),
            std::vector<std::string>{"test passes ... ok <T.TTTs>"});
}

}  // namespace

namespace {

TEST(RunnerFixture, ReportColumnPointsAtTheRaisingCall) {
  const auto r = run_fixture({"--exact", "fails_plain"});
  const std::string start = at("runner::fail(\"plain failure");  // path:line:col of the call
  const std::size_t colon = start.rfind(':');
  const std::size_t call_col = std::stoul(start.substr(colon + 1));
  const std::size_t paren_col = call_col + std::string("runner::fail").size();
  const std::string prefix = "panicked at " + start.substr(0, colon + 1);
  const std::size_t pos = r.out.find(prefix);
  ASSERT_NE(pos, std::string::npos) << r.out;
  const std::size_t col = std::stoul(r.out.substr(pos + prefix.size()));
  EXPECT_TRUE(col == call_col || col == paren_col) << col;
}

}  // namespace

namespace {

TEST(RunnerFixture, UncatchableFailureWritesCapturedOutputBeforeAborting) {
  const auto r = run_fixture({"--test-threads", "1"}, with_env({{"RUNNER_FIXTURE_ABORT", "1"}}));
  EXPECT_EQ(r.status, 128 + SIGABRT);
  expect_same_lines(mask(r.out),
                    "\nrunning 1 test\ntest aborts_the_process ... "
                    "printed before the abort\n\n"
                    "thread 'aborts_the_process' (TID) panicked at " +
                        panic_at("runner::fail(\"uncatchable") + ":\nuncatchable failure\n" + NOTE +
                        "\n");
  EXPECT_NE(r.err.find("terminate called"), std::string::npos) << r.err;
}

}  // namespace
