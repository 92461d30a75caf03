// ConsoleTestState: the run state owned by the main thread.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "runner/test_opts.hpp"
#include "runner/test_types.hpp"

namespace runner {

struct ConsoleTestState {
  std::size_t total = 0;
  std::size_t passed = 0;
  std::size_t failed = 0;
  std::size_t ignored = 0;
  std::size_t measured = 0;
  std::size_t filtered_out = 0;

  // (descriptor, captured output) in completion order.
  std::vector<std::pair<TestDesc, std::string>> not_failures;  // successes
  std::vector<std::pair<TestDesc, std::string>> failures;
  std::vector<std::pair<TestDesc, std::string>> time_failures;
  std::vector<std::pair<TestDesc, std::string>> ignores;

  ExecTime exec_time{};  // the suite's elapsed time, set after the run loop
  const TestOpts* options = nullptr;

  // The log file (--logfile), open from before the run until the process ends.
  struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, FileCloser> log_out;

  // Writes one text to the log file, if one is open.
  [[nodiscard]] std::error_code write_log(std::string_view text);
};

}  // namespace runner
