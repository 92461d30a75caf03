// Result determination from the expected-failure mode, what the run raised and
// the time limits.
#include <gtest/gtest.h>

#include <chrono>

#include "runner/result_policy.hpp"

namespace {

using runner::Panic;
using runner::ShouldPanic;
using runner::TestResultKind;

runner::TestDesc desc_with(ShouldPanic mode, std::string_view expected = {},
                           std::string_view path = "tests/x.cpp") {
  runner::TestDesc d;
  d.name = "some_check";
  d.should_panic = mode;
  d.expected_message = expected;
  d.source_path = path;
  d.start_line = 12;
  d.start_col = 4;
  d.test_type = runner::TestType::IntegrationTest;
  return d;
}

struct ResultCase {
  const char* label;
  runner::TestDesc desc;
  std::optional<Panic> panic;
  TestResultKind kind;
  std::string message;
};

TEST(CalcResult, FollowsTheExpectedFailureMode) {
  const Panic text_panic{std::string("value was \"7\"\nsecond"), {}};
  const Panic non_text{std::nullopt, "int"};
  const ResultCase cases[] = {
      {"must not fail, returns", desc_with(ShouldPanic::No), std::nullopt, TestResultKind::Ok, ""},
      {"must not fail, fails", desc_with(ShouldPanic::No), text_panic, TestResultKind::Failed, ""},
      {"must not fail, non-text", desc_with(ShouldPanic::No), non_text, TestResultKind::Failed, ""},
      {"must fail, fails", desc_with(ShouldPanic::Yes), text_panic, TestResultKind::Ok, ""},
      {"must fail, non-text", desc_with(ShouldPanic::Yes), non_text, TestResultKind::Ok, ""},
      {"must fail, returns", desc_with(ShouldPanic::Yes), std::nullopt, TestResultKind::FailedMsg,
       "test did not panic as expected at tests/x.cpp:12:4"},
      {"must fail, returns, no path", desc_with(ShouldPanic::Yes, {}, ""), std::nullopt,
       TestResultKind::FailedMsg, "test did not panic as expected"},
      {"text, contained", desc_with(ShouldPanic::YesWithMessage, "was \"7\""), text_panic,
       TestResultKind::Ok, ""},
      {"text, empty expectation", desc_with(ShouldPanic::YesWithMessage, ""), text_panic,
       TestResultKind::Ok, ""},
      {"text, other message", desc_with(ShouldPanic::YesWithMessage, "needle\t"), text_panic,
       TestResultKind::FailedMsg,
       "panic did not contain expected string\n"
       "      panic message: \"value was \\\"7\\\"\\nsecond\"\n"
       " expected substring: \"needle\\t\""},
      {"text, non-text raised", desc_with(ShouldPanic::YesWithMessage, "needle"), non_text,
       TestResultKind::FailedMsg,
       "expected panic with string value,\n"
       " found non-string value: `int`\n"
       "     expected substring: \"needle\""},
      {"text, returns", desc_with(ShouldPanic::YesWithMessage, "needle"), std::nullopt,
       TestResultKind::FailedMsg, "test did not panic as expected at tests/x.cpp:12:4"},
  };
  for (const auto& c : cases) {
    const runner::TestResult r = runner::calc_result(c.desc, c.panic, std::nullopt, std::nullopt);
    EXPECT_EQ(r.kind, c.kind) << c.label;
    EXPECT_EQ(r.message, c.message) << c.label;
  }
}

TEST(CalcResult, TimeLimitTurnsOnlyOkIntoTimedFailWhenEnforced) {
  using std::chrono::milliseconds;
  runner::TestTimeOptions enforced;
  enforced.error_on_excess = true;  // integration: warn 500 ms, critical 1000 ms
  runner::TestTimeOptions reported = enforced;
  reported.error_on_excess = false;
  const runner::ExecTime at_critical = milliseconds(1000);
  const runner::ExecTime below = milliseconds(999);
  const runner::TestDesc plain = desc_with(ShouldPanic::No);
  const Panic panic{std::string("x"), {}};

  EXPECT_EQ(runner::calc_result(plain, std::nullopt, enforced, at_critical).kind,
            TestResultKind::TimedFail);
  EXPECT_EQ(runner::calc_result(plain, std::nullopt, enforced, below).kind, TestResultKind::Ok);
  EXPECT_EQ(runner::calc_result(plain, std::nullopt, reported, at_critical).kind, TestResultKind::Ok);
  EXPECT_EQ(runner::calc_result(plain, std::nullopt, enforced, std::nullopt).kind, TestResultKind::Ok);
  EXPECT_EQ(runner::calc_result(plain, panic, enforced, at_critical).kind, TestResultKind::Failed);

  runner::TestDesc unit = plain;
  unit.test_type = runner::TestType::UnitTest;  // critical at 100 ms
  EXPECT_EQ(runner::calc_result(unit, std::nullopt, enforced, milliseconds(100)).kind,
            TestResultKind::TimedFail);
}

}  // namespace
