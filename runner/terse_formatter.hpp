// TerseFormatter: one character per check, failed checks on lines of their own.
#pragma once

#include <cstddef>

#include "runner/output_formatter.hpp"
#include "runner/output_location.hpp"

namespace runner {

class TerseFormatter final : public OutputFormatter {
 public:
  TerseFormatter(OutputLocation& out, const FormatterConfig& config);

  std::error_code write_discovery_start() override;
  std::error_code write_test_discovered(const TestDesc& desc, std::string_view kind_word) override;
  std::error_code write_discovery_finish(const ConsoleTestState& state) override;
  std::error_code write_run_start(std::size_t test_count,
                                  std::optional<std::uint64_t> shuffle_seed) override;
  std::error_code write_test_start(const TestDesc& desc) override;
  std::error_code write_timeout(const TestDesc& desc) override;
  std::error_code write_result(const TestDesc& desc, const TestResult& result,
                               std::optional<ExecTime> exec_time, std::string_view stdout_bytes,
                               const ConsoleTestState& state) override;
  std::error_code write_run_finish(const ConsoleTestState& state, bool& success) override;
  std::error_code write_merged_doctests_times(double total, double compilation) override;

  // A progress line ends every this many columns.
  static constexpr std::size_t MAX_COLUMN = 88;

 private:
  std::error_code write_short_result(std::string_view word, Color color);
  std::error_code write_failed(std::string_view name);
  std::error_code write_progress();

  OutputLocation& out_;
  FormatterConfig config_;
  std::size_t test_count_ = 0;   // results written so far
  std::size_t test_column_ = 0;  // short results on the current line
  std::size_t total_test_count_ = 0;
};

}  // namespace runner
