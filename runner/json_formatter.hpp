// JsonFormatter: one JSON object per line, for runs and for the listing.
#pragma once

#include <cstddef>
#include <string>

#include "runner/formatter_base.hpp"

namespace runner {

class JsonFormatter final : public FormatterBase {
 public:
  using FormatterBase::FormatterBase;

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
  DiscoveryCounts discovered_;
};

}  // namespace runner
