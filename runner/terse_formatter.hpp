// TerseFormatter: one character per check, failed checks on lines of their own.
#pragma once

#include <cstddef>

#include "runner/console_formatter.hpp"

namespace runner {

class TerseFormatter final : public ConsoleFormatter {
 public:
  using ConsoleFormatter::ConsoleFormatter;

  std::error_code write_result(const TestDesc& desc, const TestResult& result,
                               std::optional<ExecTime> exec_time, std::string_view stdout_bytes,
                               const ConsoleTestState& state) override;
  // After the summary, the ignore message of a run of one ignored check.
  std::error_code write_run_finish(const ConsoleTestState& state, bool& success) override;

  // A progress line ends every this many columns.
  static constexpr std::size_t MAX_COLUMN = 88;

 private:
  // The "failures" section, also when only time-limit failures exist.
  std::error_code write_failure_sections(const ConsoleTestState& state) override;
  std::error_code write_short_result(std::string_view word, Color color);
  std::error_code write_failed(std::string_view name);
  std::error_code write_progress();

  std::size_t test_count_ = 0;   // results written so far
  std::size_t test_column_ = 0;  // short results on the current line
};

}  // namespace runner
