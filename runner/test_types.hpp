// Registry and result types of the check runner.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace runner {

enum class TestType : std::uint8_t { UnitTest, IntegrationTest, DocTest, Unknown };

// Expected-failure mode of a check.
enum class ShouldPanic : std::uint8_t {
  No,              // the check must not fail
  Yes,             // the check must fail
  YesWithMessage,  // the check must fail with a message containing `expected_message`
};

struct TestDesc {
  std::string_view name;
  bool ignore = false;
  std::optional<std::string_view> ignore_message;
  ShouldPanic should_panic = ShouldPanic::No;
  std::string_view expected_message;  // used with ShouldPanic::YesWithMessage
  std::string_view source_path;
  std::size_t start_line = 0;
  std::size_t start_col = 0;
  std::size_t end_line = 0;
  std::size_t end_col = 0;
  TestType test_type = TestType::Unknown;
};

using TestFn = void (*)();

struct TestDescAndFn {
  TestDesc desc;
  TestFn fn = nullptr;
};

enum class TestResultKind : std::uint8_t { Ok, Failed, FailedMsg, Ignored, TimedFail };

struct TestResult {
  TestResultKind kind = TestResultKind::Ok;
  std::string message;  // FailedMsg only

  static TestResult ok() { return {TestResultKind::Ok, {}}; }
  static TestResult failed() { return {TestResultKind::Failed, {}}; }
  static TestResult failed_msg(std::string msg) { return {TestResultKind::FailedMsg, std::move(msg)}; }
  static TestResult ignored() { return {TestResultKind::Ignored, {}}; }
  static TestResult timed_fail() { return {TestResultKind::TimedFail, {}}; }
  bool is_failure() const noexcept {
    return kind == TestResultKind::Failed || kind == TestResultKind::FailedMsg ||
           kind == TestResultKind::TimedFail;
  }
};

using ExecTime = std::chrono::duration<double>;  // seconds

struct CompletedTest {
  std::size_t id = 0;  // position in the selected list
  TestDesc desc;
  TestResult result;
  std::optional<ExecTime> exec_time;
  std::string stdout_bytes;  // captured output, raw bytes
};

}  // namespace runner
