// OutputFormatter: the interface through which the runner prints, one
// implementation per output format. Called on the main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

#include "runner/console_state.hpp"
#include "runner/test_types.hpp"

namespace runner {

class OutputFormatter {
 public:
  virtual ~OutputFormatter() = default;

  // Listing mode.
  [[nodiscard]] virtual std::error_code write_discovery_start() = 0;
  [[nodiscard]] virtual std::error_code write_test_discovered(const TestDesc& desc,
                                                              std::string_view kind_word) = 0;
  [[nodiscard]] virtual std::error_code write_discovery_finish(const ConsoleTestState& state) = 0;

  // Running.
  [[nodiscard]] virtual std::error_code write_run_start(std::size_t test_count,
                                                        std::optional<std::uint64_t> shuffle_seed) = 0;
  [[nodiscard]] virtual std::error_code write_test_start(const TestDesc& desc) = 0;
  [[nodiscard]] virtual std::error_code write_timeout(const TestDesc& desc) = 0;
  [[nodiscard]] virtual std::error_code write_result(const TestDesc& desc, const TestResult& result,
                                                     std::optional<ExecTime> exec_time,
                                                     std::string_view stdout_bytes,
                                                     const ConsoleTestState& state) = 0;
  // Sets `success` to whether the run succeeded.
  [[nodiscard]] virtual std::error_code write_run_finish(const ConsoleTestState& state,
                                                         bool& success) = 0;
  [[nodiscard]] virtual std::error_code write_merged_doctests_times(double total,
                                                                    double compilation) = 0;
};

}  // namespace runner
