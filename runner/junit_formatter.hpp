// JunitFormatter: one JUnit XML document on one line, written when the run
// ends (the suite element needs its totals first).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "runner/output_formatter.hpp"
#include "runner/output_location.hpp"

namespace runner {

class JunitFormatter final : public OutputFormatter {
 public:
  JunitFormatter(OutputLocation& out, const FormatterConfig& config);

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
  struct Completed {
    TestDesc desc;
    TestResult result;
    std::optional<ExecTime> exec_time;
    std::string stdout_bytes;
  };

  std::string testcase_text(const Completed& test) const;

  OutputLocation& out_;
  FormatterConfig config_;
  std::vector<Completed> results_;  // in completion order
};

// The class name and test name under which a check is reported.
struct JunitNames {
  std::string class_name;
  std::string test_name;
};
JunitNames junit_names(const TestDesc& desc);

}  // namespace runner
