// The audit executable under its runner: whole outputs of passing runs, the
// single-thread layout, capture of the audit's notice, bad thread counts and
// unwritable standard output.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "unittests/runner_core/e2e_support.hpp"

namespace {

using runner_e2e::lines;
using runner_e2e::mask;

const std::string SKIP_NOTICE =
    "Skipping shield-stance Backhand audit: portal.dat not found (set QUORVANE_PORTAL_DAT)";

// The registered names in registry order, from the listing.
std::vector<std::string> registered_names() {
  const auto listed = test_support::run_audit({"--list", "--format", "terse"});
  std::vector<std::string> names;
  for (const auto& l : lines(listed.out)) names.push_back(l.substr(0, l.rfind(": test")));
  return names;
}

// With no archive to be found the audit skips and passes.
bool archive_installed() {
  struct stat st {};
  return ::stat((test_support::source_dir() + "/src/../../dats/portal.dat").c_str(), &st) == 0;
}

std::string passing_output(const std::vector<std::string>& names) {
  std::string text =
      "\nrunning " + std::to_string(names.size()) + (names.size() == 1 ? " test\n" : " tests\n");
  for (const auto& n : names) text += "test " + n + " ... ok\n";
  text += "\ntest result: ok. " + std::to_string(names.size()) +
          " passed; 0 failed; 0 ignored; 0 measured; 0 filtered out; finished in T.TTs\n\n";
  return text;
}

TEST(AuditRunner, PassingRunInEitherThreadLayout) {
  if (archive_installed()) GTEST_SKIP() << "an archive is installed; its verdict is not fixed here";
  const auto names = registered_names();
  ASSERT_GE(names.size(), 3u);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));

  const auto one = test_support::run_audit({"--test-threads", "1"});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(mask(one.out), passing_output(names));

  // Several threads: completion order, the same lines otherwise.
  test_support::ProcessOptions options;
  options.env["QUORVANE_TEST_THREADS"] = "4";
  const auto many = test_support::run_audit({}, options);
  EXPECT_EQ(many.status, 0) << many.err;
  auto got = lines(mask(many.out));
  auto want = lines(passing_output(names));
  ASSERT_EQ(got.size(), want.size()) << many.out;
  std::sort(got.begin() + 2, got.begin() + 2 + static_cast<long>(names.size()));
  EXPECT_EQ(got, want);
}

TEST(AuditRunner, SingleThreadPrintsTheNameBeforeTheCheckRuns) {
  // With capture off the skip notice appears between the name part and the word.
  if (archive_installed()) GTEST_SKIP() << "an archive is installed";
  const auto r = test_support::run_audit(
      {"--test-threads", "1", "--no-capture", "--exact", "shield_stance_has_three_backhand_rows"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(
      runner_e2e::result_lines(r.out),
      (std::vector<std::string>{"test shield_stance_has_three_backhand_rows ... " + SKIP_NOTICE, "ok"}));
}

TEST(AuditRunner, SkipNoticeIsCapturedAndShownOnlyOnRequest) {
  if (archive_installed()) GTEST_SKIP() << "an archive is installed";
  const std::vector<std::string> select{"--exact", "shield_stance_has_three_backhand_rows"};
  const auto hidden = test_support::run_audit(select);
  EXPECT_EQ(hidden.status, 0);
  EXPECT_EQ(hidden.out.find("Skipping"), std::string::npos) << hidden.out;

  auto args = select;
  args.push_back("--show-output");
  const auto shown = test_support::run_audit(args);
  EXPECT_EQ(shown.status, 0);
  const std::size_t filtered = registered_names().size() - 1;
  EXPECT_EQ(mask(shown.out),
            "\nrunning 1 test\ntest shield_stance_has_three_backhand_rows ... ok\n\n"
            "successes:\n\n---- shield_stance_has_three_backhand_rows stdout ----\n" +
                SKIP_NOTICE +
                "\n\n\nsuccesses:\n    shield_stance_has_three_backhand_rows\n\n"
                "test result: ok. 1 passed; 0 failed; 0 ignored; 0 measured; " +
                std::to_string(filtered) + " filtered out; finished in T.TTs\n\n");
}

TEST(AuditRunner, BadThreadCountStopsBeforeRunning) {
  for (const std::string value : {"0", "-1", "x"}) {
    test_support::ProcessOptions options;
    options.env["QUORVANE_TEST_THREADS"] = value;
    const auto r = test_support::run_audit({}, options);
    EXPECT_EQ(r.status, 101) << value;
    EXPECT_EQ(r.out, "") << value;
    EXPECT_NE(r.err.find("\nQUORVANE_TEST_THREADS is `" + value + "`, should be a positive integer.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(mask(r.err).rfind("\nthread 'main' (TID) panicked at ", 0), 0u) << r.err;
  }
}

TEST(AuditRunner, BrokenPipeOnStandardOutput) {
  const auto r = runner_e2e::run_with_unwritable_stdout({test_support::audit_exe()}, false);
  EXPECT_EQ(r.status, 101);
  EXPECT_EQ(r.err,
            "error: io error when listing tests: Os { code: 32, kind: BrokenPipe, message: \"Broken "
            "pipe\" }\n");
}

}  // namespace
