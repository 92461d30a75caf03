// TestOpts: the runner's options, built once from the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runner/time_options.hpp"

namespace runner {

enum class RunIgnored : std::uint8_t { No, Yes, Only };
enum class ColorConfig : std::uint8_t { Auto, Always, Never };
enum class OutputFormat : std::uint8_t { Pretty, Terse, Json, Junit };

struct TestOpts {
  bool list = false;
  std::vector<std::string> filters;
  bool filter_exact = false;
  // Part of the described options: parsed, but every check runs in process anyway.
  bool force_run_in_process = false;
  bool exclude_should_panic = false;
  RunIgnored run_ignored = RunIgnored::No;
  bool run_tests = true;
  bool bench_benchmarks = false;
  std::optional<std::string> logfile;
  bool nocapture = false;
  ColorConfig color = ColorConfig::Auto;
  OutputFormat format = OutputFormat::Pretty;
  bool shuffle = false;
  std::optional<std::uint64_t> shuffle_seed;
  std::optional<std::size_t> test_threads;
  std::vector<std::string> skip;
  std::optional<TestTimeOptions> time_options;
  bool fail_fast = false;
  bool display_output = false;  // --show-output
};

}  // namespace runner
