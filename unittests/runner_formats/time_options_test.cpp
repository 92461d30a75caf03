// Time thresholds from the environment and their failure messages.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runner/time_options.hpp"
#include "unittests/support/env_guard.hpp"
#include "unittests/support/process.hpp"

namespace {

using runner::TestTimeOptions;
using std::chrono::microseconds;
using std::chrono::milliseconds;

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

TEST(TimeOptions, ThresholdsFromDefaultsAndVariables) {
  using runner::TestType;
  using Limits = std::pair<int, int>;  // warn and critical in milliseconds
  const struct {
    const char* label;
    std::vector<std::pair<const char*, const char*>> env;
    bool enforce;
    Limits unit, integration, doctest;
  } cases[] = {
      {"defaults", {}, true, {50, 100}, {500, 1000}, {500, 1000}},
      {"each variable replaces its own kind only",
       {{"QUORVANE_TEST_TIME_INTEGRATION", "20,40"}, {"QUORVANE_TEST_TIME_DOCTEST", "+7,7"}},
       false,
       {50, 100},
       {20, 40},
       {7, 7}},
      {"unit", {{"QUORVANE_TEST_TIME_UNIT", "3,9"}}, true, {3, 9}, {500, 1000}, {500, 1000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ThresholdEnv env;
    for (const auto& [name, value] : c.env) env.set(name, value);
    TestTimeOptions options;
    ASSERT_EQ(failure_of(c.enforce, &options), std::nullopt);
    EXPECT_EQ(options.error_on_excess, c.enforce);
    const std::pair<TestType, Limits> kinds[] = {{TestType::UnitTest, c.unit},
                                                 {TestType::IntegrationTest, c.integration},
                                                 {TestType::DocTest, c.doctest},
                                                 {TestType::Unknown, {60000, 120000}}};
    for (const auto& [type, limits] : kinds) {
      runner::TestDesc desc;
      desc.test_type = type;
      const milliseconds warn(limits.first);
      const milliseconds critical(limits.second);
      const auto just_below = [](milliseconds ms) { return runner::ExecTime(ms) - microseconds(1); };
      EXPECT_EQ(options.threshold_for(type).warn, warn);
      EXPECT_EQ(options.threshold_for(type).critical, critical);
      // Each level starts at its threshold.
      EXPECT_FALSE(options.is_warn(desc, just_below(warn)));
      EXPECT_TRUE(options.is_warn(desc, runner::ExecTime(warn)));
      EXPECT_FALSE(options.is_critical(desc, just_below(critical)));
      EXPECT_TRUE(options.is_critical(desc, runner::ExecTime(critical)));
    }
  }
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
