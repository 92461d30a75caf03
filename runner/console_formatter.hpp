// ConsoleFormatter: what the two formats written for people, pretty and
// terse, print alike: the listing lines, the run start line, the timeout
// warning and the end-of-run report (sections with captured output, summary).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "runner/formatter_base.hpp"

namespace runner {

class ConsoleFormatter : public FormatterBase {
 public:
  using FormatterBase::FormatterBase;

  // "NAME: KIND", counted for the listing's totals.
  std::error_code write_test_discovered(const TestDesc& desc, std::string_view kind_word) override;
  // "running N tests", with the shuffle seed when shuffling; N is kept as the
  // run's total.
  std::error_code write_run_start(std::size_t test_count,
                                  std::optional<std::uint64_t> shuffle_seed) override;
  std::error_code write_timeout(const TestDesc& desc) override;
  // The "successes" section when passed checks' output is shown, the failure
  // sections when anything failed, then the summary line.
  std::error_code write_run_finish(const ConsoleTestState& state, bool& success) override;

 protected:
  const DiscoveryCounts& discovered() const noexcept { return discovered_; }
  // The number of selected checks, as told by write_run_start.
  std::size_t run_total() const noexcept { return run_total_; }

 private:
  // The sections of a run in which `state.failed` is not 0.
  virtual std::error_code write_failure_sections(const ConsoleTestState& state) = 0;

  DiscoveryCounts discovered_;
  std::size_t run_total_ = 0;
};

}  // namespace runner
