// PrettyFormatter: the default output format, one line per check.
#pragma once

#include "runner/console_formatter.hpp"

namespace runner {

class PrettyFormatter final : public ConsoleFormatter {
 public:
  using ConsoleFormatter::ConsoleFormatter;

  // "N tests, M benchmarks" after the listed entries.
  std::error_code write_discovery_finish(const ConsoleTestState& state) override;
  // The name before the check runs, unless several checks run at once.
  std::error_code write_test_start(const TestDesc& desc) override;
  std::error_code write_result(const TestDesc& desc, const TestResult& result,
                               std::optional<ExecTime> exec_time, std::string_view stdout_bytes,
                               const ConsoleTestState& state) override;

 private:
  // The "failures" section and the time-limit one, each only when it has entries.
  std::error_code write_failure_sections(const ConsoleTestState& state) override;
};

}  // namespace runner
