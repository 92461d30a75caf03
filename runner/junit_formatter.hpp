// JunitFormatter: one JUnit XML document on one line, written when the run
// ends (the suite element needs its totals first).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "runner/formatter_base.hpp"

namespace runner {

// Listing in this format goes through the pretty formatter, and nothing is
// printed while checks run: only the declaration at the start, the rest at
// the finish.
class JunitFormatter final : public FormatterBase {
 public:
  using FormatterBase::FormatterBase;

  std::error_code write_run_start(std::size_t test_count,
                                  std::optional<std::uint64_t> shuffle_seed) override;
  // Keeps the result for the finish.
  std::error_code write_result(const TestDesc& desc, const TestResult& result,
                               std::optional<ExecTime> exec_time, std::string_view stdout_bytes,
                               const ConsoleTestState& state) override;
  std::error_code write_run_finish(const ConsoleTestState& state, bool& success) override;

 private:
  struct Completed {
    TestDesc desc;
    TestResult result;
    std::optional<ExecTime> exec_time;
    std::string stdout_bytes;
  };

  std::string testcase_text(const Completed& test) const;

  std::vector<Completed> results_;  // in completion order
};

// The class name and test name under which a check is reported.
struct JunitNames {
  std::string class_name;
  std::string test_name;
};
JunitNames junit_names(const TestDesc& desc);

}  // namespace runner
