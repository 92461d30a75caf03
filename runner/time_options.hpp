// Time reporting thresholds per kind of check.
#pragma once

#include <chrono>
#include <string>
#include <variant>

#include "runner/source_location.hpp"
#include "runner/test_types.hpp"

namespace runner {

// A bad value of one of the runner's environment variables: the message of
// the failure it stops the program with, and where the value was refused.
struct EnvFailure {
  std::string message;
  SourceLocation location;
};

struct TimeThreshold {
  std::chrono::milliseconds warn;
  std::chrono::milliseconds critical;
};

struct TestTimeOptions {
  bool error_on_excess = false;
  TimeThreshold unit_threshold{std::chrono::milliseconds(50), std::chrono::milliseconds(100)};
  TimeThreshold integration_threshold{std::chrono::milliseconds(500), std::chrono::milliseconds(1000)};
  TimeThreshold doctest_threshold{std::chrono::milliseconds(500), std::chrono::milliseconds(1000)};

  // Reads QUORVANE_TEST_TIME_UNIT, QUORVANE_TEST_TIME_INTEGRATION and
  // QUORVANE_TEST_TIME_DOCTEST ("warn,critical" in milliseconds). A bad value
  // gives its failure instead of options.
  static std::variant<TestTimeOptions, EnvFailure> from_env(bool error_on_excess);

  TimeThreshold threshold_for(TestType type) const noexcept {
    switch (type) {
      case TestType::UnitTest: return unit_threshold;
      case TestType::IntegrationTest: return integration_threshold;
      case TestType::DocTest: return doctest_threshold;
      case TestType::Unknown: break;
    }
    return {std::chrono::seconds(60), std::chrono::seconds(120)};
  }
  bool is_warn(const TestDesc& desc, ExecTime time) const noexcept {
    return time >= threshold_for(desc.test_type).warn;
  }
  bool is_critical(const TestDesc& desc, ExecTime time) const noexcept {
    return time >= threshold_for(desc.test_type).critical;
  }
};

}  // namespace runner
