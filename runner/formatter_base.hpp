// FormatterBase: what every output format starts from. It holds where the
// format writes and what it was told about the run, and prints nothing at the
// points where a format has nothing to say; a format overrides those it uses.
#pragma once

#include <cstddef>
#include <string_view>

#include "runner/output_formatter.hpp"
#include "runner/output_location.hpp"

namespace runner {

// The entries a listing has shown so far, for its closing totals.
struct DiscoveryCounts {
  // Counts one listed entry of kind `kind_word` ("test" or "benchmark").
  void add(const TestDesc& desc, std::string_view kind_word);

  std::size_t tests = 0;
  std::size_t benchmarks = 0;
  std::size_t ignored = 0;  // entries marked ignored, of either kind
};

class FormatterBase : public OutputFormatter {
 public:
  // `out` must outlive the formatter.
  FormatterBase(OutputLocation& out, const FormatterConfig& config) : out_(out), config_(config) {}

  std::error_code write_discovery_start() override { return {}; }
  std::error_code write_test_discovered(const TestDesc& /*desc*/,
                                        std::string_view /*kind_word*/) override {
    return {};
  }
  std::error_code write_discovery_finish(const ConsoleTestState& /*state*/) override { return {}; }
  std::error_code write_test_start(const TestDesc& /*desc*/) override { return {}; }
  std::error_code write_timeout(const TestDesc& /*desc*/) override { return {}; }
  // This program holds no merged documentation checks.
  std::error_code write_merged_doctests_times(double /*total*/, double /*compilation*/) override {
    return {};
  }

 protected:
  OutputLocation& out_;
  FormatterConfig config_;
};

}  // namespace runner
