// PrettyFormatter: the default output format, one line per check.
#pragma once

#include "runner/output_formatter.hpp"
#include "runner/output_location.hpp"

namespace runner {

class PrettyFormatter final : public OutputFormatter {
 public:
  PrettyFormatter(OutputLocation& out, const FormatterConfig& config);

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

 private:
  OutputLocation& out_;
  FormatterConfig config_;
  std::size_t discovered_tests_ = 0;
  std::size_t discovered_benchmarks_ = 0;
};

}  // namespace runner
