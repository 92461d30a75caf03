#include "runner/pretty_formatter.hpp"

#include <string>

#include "runner/report_sections.hpp"

namespace runner {
namespace {

std::string name_part(const TestDesc& desc) {
  std::string text = "test ";
  text += desc.name;
  if (desc.should_panic != ShouldPanic::No && !desc.ignore) text += " - should panic";
  text += " ... ";
  return text;
}

}  // namespace

PrettyFormatter::PrettyFormatter(OutputLocation& out, const FormatterConfig& config)
    : out_(out), config_(config) {}

std::error_code PrettyFormatter::write_discovery_start() { return {}; }

std::error_code PrettyFormatter::write_test_discovered(const TestDesc& desc,
                                                       std::string_view kind_word) {
  if (kind_word == "benchmark") {
    ++discovered_benchmarks_;
  } else {
    ++discovered_tests_;
  }
  std::string line(desc.name);
  line += ": ";
  line += kind_word;
  line.push_back('\n');
  return out_.write_plain(line);
}

std::error_code PrettyFormatter::write_discovery_finish(const ConsoleTestState& /*state*/) {
  const auto plural = [](std::size_t count, std::string_view word) {
    std::string text = std::to_string(count);
    text.push_back(' ');
    text += word;
    if (count != 1) text.push_back('s');
    return text;
  };
  std::string text;
  if (discovered_tests_ != 0 || discovered_benchmarks_ != 0) text.push_back('\n');
  text += plural(discovered_tests_, "test");
  text += ", ";
  text += plural(discovered_benchmarks_, "benchmark");
  text.push_back('\n');
  return out_.write_plain(text);
}

std::error_code PrettyFormatter::write_run_start(std::size_t test_count,
                                                 std::optional<std::uint64_t> shuffle_seed) {
  std::string text = "\nrunning ";
  text += std::to_string(test_count);
  text += test_count == 1 ? " test" : " tests";
  if (shuffle_seed) {
    text += " (shuffle seed: ";
    text += std::to_string(*shuffle_seed);
    text.push_back(')');
  }
  text.push_back('\n');
  return out_.write_plain(text);
}

std::error_code PrettyFormatter::write_test_start(const TestDesc& desc) {
  // With several checks running at once the name goes with the result.
  if (config_.is_multithreaded) return {};
  return out_.write_plain(name_part(desc));
}

std::error_code PrettyFormatter::write_timeout(const TestDesc& desc) {
  return out_.write_plain(timeout_warning_text(desc));
}

std::error_code PrettyFormatter::write_result(const TestDesc& desc, const TestResult& result,
                                              std::optional<ExecTime> exec_time,
                                              std::string_view /*stdout_bytes*/,
                                              const ConsoleTestState& /*state*/) {
  if (config_.is_multithreaded) {
    if (auto ec = out_.write_plain(name_part(desc))) return ec;
  }
  std::error_code ec;
  switch (result.kind) {
    case TestResultKind::Ok: ec = out_.write_colored("ok", Color::Green); break;
    case TestResultKind::Failed:
    case TestResultKind::FailedMsg: ec = out_.write_colored("FAILED", Color::Red); break;
    case TestResultKind::Ignored:
      if (desc.ignore_message) {
        std::string word = "ignored, ";
        word += *desc.ignore_message;
        ec = out_.write_colored(word, Color::Yellow);
      } else {
        ec = out_.write_colored("ignored", Color::Yellow);
      }
      break;
    case TestResultKind::TimedFail:
      ec = out_.write_colored("FAILED (time limit exceeded)", Color::Red);
      break;
  }
  if (ec) return ec;
  if (config_.time_options && exec_time) {
    std::string text = " <";
    text += format_seconds(exec_time->count(), 3);
    text.push_back('>');
    const TestTimeOptions& limits = *config_.time_options;
    if (limits.is_critical(desc, *exec_time)) {
      ec = out_.write_colored(text, Color::Red);
    } else if (limits.is_warn(desc, *exec_time)) {
      ec = out_.write_colored(text, Color::Yellow);
    } else {
      ec = out_.write_plain(text);
    }
    if (ec) return ec;
  }
  return out_.write_plain("\n");
}

std::error_code PrettyFormatter::write_run_finish(const ConsoleTestState& state, bool& success) {
  if (config_.display_output) {
    if (auto ec = write_section(out_, "successes", state.not_failures)) return ec;
  }
  if (state.failed != 0) {
    if (!state.failures.empty()) {
      if (auto ec = write_section(out_, "failures", state.failures)) return ec;
    }
    if (!state.time_failures.empty()) {
      if (auto ec = write_section(out_, "failures (time limit exceeded)", state.time_failures)) {
        return ec;
      }
    }
  }
  if (auto ec = write_summary(out_, state)) return ec;
  success = state.failed == 0;
  return {};
}

std::error_code PrettyFormatter::write_merged_doctests_times(double /*total*/,
                                                             double /*compilation*/) {
  // This program holds no merged documentation checks.
  return {};
}

}  // namespace runner
