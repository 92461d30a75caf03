// Time thresholds from the environment and their failure messages.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "unittests/support/env_guard.hpp"
#include "unittests/support/process.hpp"
#include "runner/time_options.hpp"

namespace {

using std::chrono::milliseconds;
using runner::TestTimeOptions;

struct ThresholdEnv : test_support::EnvGuard {
  ThresholdEnv() {
    unset("QUORVANE_TEST_TIME_UNIT");
    unset("QUORVANE_TEST_TIME_INTEGRATION");
    unset("QUORVANE_TEST_TIME_DOCTEST");
  }
};

// The failure message of reading the thresholds, if any.
std::optional<std::string> failure_of(bool enforce, TestTimeOptions* out = nullptr) {
  auto read = TestTimeOptions::from_env(enforce);
  if (auto* failure = std::get_if<runner::EnvFailure>(&read)) return failure->message;
  if (out != nullptr) *out = std::get<TestTimeOptions>(read);
  return std::nullopt;
}

TEST(TimeOptions, DefaultsWithoutVariables) {
  ThresholdEnv env;
  TestTimeOptions options;
  ASSERT_EQ(failure_of(true, &options), std::nullopt);
  EXPECT_TRUE(options.error_on_excess);
  EXPECT_EQ(options.unit_threshold.warn, milliseconds(50));
  EXPECT_EQ(options.unit_threshold.critical, milliseconds(100));
  EXPECT_EQ(options.integration_threshold.warn, milliseconds(500));
  EXPECT_EQ(options.integration_threshold.critical, milliseconds(1000));
  EXPECT_EQ(options.doctest_threshold.critical, milliseconds(1000));
  const auto unknown = options.threshold_for(runner::TestType::Unknown);
  EXPECT_EQ(unknown.warn, milliseconds(60000));
  EXPECT_EQ(unknown.critical, milliseconds(120000));
}

TEST(TimeOptions, VariablesReplaceTheirOwnKindOnly) {
  ThresholdEnv env;
  env.set("QUORVANE_TEST_TIME_INTEGRATION", "20,40");
  env.set("QUORVANE_TEST_TIME_DOCTEST", "+7,7");
  TestTimeOptions options;
  ASSERT_EQ(failure_of(false, &options), std::nullopt);
  EXPECT_FALSE(options.error_on_excess);
  EXPECT_EQ(options.integration_threshold.warn, milliseconds(20));
  EXPECT_EQ(options.integration_threshold.critical, milliseconds(40));
  EXPECT_EQ(options.doctest_threshold.warn, milliseconds(7));
  EXPECT_EQ(options.doctest_threshold.critical, milliseconds(7));
  EXPECT_EQ(options.unit_threshold.warn, milliseconds(50));

  runner::TestDesc desc;
  desc.test_type = runner::TestType::IntegrationTest;
  EXPECT_FALSE(options.is_warn(desc, runner::ExecTime(0.0199)));
  EXPECT_TRUE(options.is_warn(desc, runner::ExecTime(0.020)));
  EXPECT_FALSE(options.is_critical(desc, runner::ExecTime(0.0399)));
  EXPECT_TRUE(options.is_critical(desc, runner::ExecTime(0.040)));
}

TEST(TimeOptions, BadValuesRaiseTheirMessages) {
  const struct {
    const char* var;
    const char* value;
    const char* message;
  } cases[] = {
      {"QUORVANE_TEST_TIME_UNIT", "100",
       "Duration variable QUORVANE_TEST_TIME_UNIT expected to have 2 numbers separated by comma, "
       "but got 100"},
      {"QUORVANE_TEST_TIME_UNIT", "1,2,3",
       "Duration variable QUORVANE_TEST_TIME_UNIT expected to have 2 numbers separated by comma, "
       "but got 1,2,3"},
      {"QUORVANE_TEST_TIME_INTEGRATION", "",
       "Duration variable QUORVANE_TEST_TIME_INTEGRATION expected to have 2 numbers separated by "
       "comma, but got "},
      {"QUORVANE_TEST_TIME_INTEGRATION", "abc,5",
       "Duration value in variable QUORVANE_TEST_TIME_INTEGRATION is expected to be a number, but "
       "got abc"},
      {"QUORVANE_TEST_TIME_DOCTEST", "5,",
       "Duration value in variable QUORVANE_TEST_TIME_DOCTEST is expected to be a number, but got "},
      {"QUORVANE_TEST_TIME_DOCTEST", "-1,5",
       "Duration value in variable QUORVANE_TEST_TIME_DOCTEST is expected to be a number, but got "
       "-1"},
      {"QUORVANE_TEST_TIME_DOCTEST", " 1,5",
       "Duration value in variable QUORVANE_TEST_TIME_DOCTEST is expected to be a number, but got "
       " 1"},
      {"QUORVANE_TEST_TIME_UNIT", "5,4",
       "Test execution warn time should be less or equal to the critical time"},
  };
  for (const auto& c : cases) {
    ThresholdEnv env;
    env.set(c.var, c.value);
    EXPECT_EQ(failure_of(true), std::optional<std::string>(c.message)) << c.var << "=" << c.value;
  }
}

}  // namespace
