// OutputFormatter: the interface through which the runner prints, one
// implementation per output format. Called on the main thread only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "runner/console_state.hpp"
#include "runner/test_types.hpp"
#include "runner/time_options.hpp"

namespace runner {

// What every formatter is told about the run.
struct FormatterConfig {
  bool is_multithreaded = false;                // thread count above 1
  std::optional<TestTimeOptions> time_options;  // time reporting on
  bool display_output = false;                  // --show-output
};

// How long a check may run before write_timeout is called for it.
inline constexpr std::chrono::seconds TIMEOUT_WARNING{60};

// "test NAME has been running for over 60 seconds\n".
std::string timeout_warning_text(const TestDesc& desc);

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
  // Part of the described formatter interface; this program has no doctests
  // and never calls it.
  [[nodiscard]] virtual std::error_code write_merged_doctests_times(double total,
                                                                    double compilation) = 0;
};

}  // namespace runner
