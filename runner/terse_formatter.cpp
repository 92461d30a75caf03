#include "runner/terse_formatter.hpp"

#include <string>

#include "runner/report_sections.hpp"

namespace runner {

TerseFormatter::TerseFormatter(OutputLocation& out, const FormatterConfig& config)
    : out_(out), config_(config) {}

std::error_code TerseFormatter::write_discovery_start() { return {}; }

std::error_code TerseFormatter::write_test_discovered(const TestDesc& desc,
                                                      std::string_view kind_word) {
  std::string line(desc.name);
  line += ": ";
  line += kind_word;
  line.push_back('\n');
  return out_.write_plain(line);
}

std::error_code TerseFormatter::write_discovery_finish(const ConsoleTestState& /*state*/) {
  return {};
}

std::error_code TerseFormatter::write_run_start(std::size_t test_count,
                                                std::optional<std::uint64_t> shuffle_seed) {
  total_test_count_ = test_count;
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

std::error_code TerseFormatter::write_test_start(const TestDesc& /*desc*/) { return {}; }

std::error_code TerseFormatter::write_timeout(const TestDesc& desc) {
  return out_.write_plain(timeout_warning_text(desc));
}

std::error_code TerseFormatter::write_progress() {
  std::string text = " ";
  text += std::to_string(test_count_);
  text.push_back('/');
  text += std::to_string(total_test_count_);
  text.push_back('\n');
  test_column_ = 0;
  return out_.write_plain(text);
}

std::error_code TerseFormatter::write_short_result(std::string_view word, Color color) {
  if (auto ec = out_.write_colored(word, color)) return ec;
  ++test_count_;
  ++test_column_;
  // End the line regularly so that line-buffered readers see progress.
  if (test_column_ % MAX_COLUMN == MAX_COLUMN - 1) return write_progress();
  return {};
}

std::error_code TerseFormatter::write_failed(std::string_view name) {
  // A failed check gets a line of its own; a line of short results before it
  // is finished with its progress first.
  if (test_column_ > 0) {
    if (auto ec = write_progress()) return ec;
  }
  ++test_count_;
  std::string text(name);
  text += " --- ";
  if (auto ec = out_.write_plain(text)) return ec;
  if (auto ec = out_.write_colored("FAILED", Color::Red)) return ec;
  return out_.write_plain("\n");
}

std::error_code TerseFormatter::write_result(const TestDesc& desc, const TestResult& result,
                                             std::optional<ExecTime> /*exec_time*/,
                                             std::string_view /*stdout_bytes*/,
                                             const ConsoleTestState& /*state*/) {
  switch (result.kind) {
    case TestResultKind::Ok: return write_short_result(".", Color::Green);
    case TestResultKind::Ignored: return write_short_result("i", Color::Yellow);
    case TestResultKind::Failed:
    case TestResultKind::FailedMsg:
    case TestResultKind::TimedFail: break;
  }
  return write_failed(desc.name);
}

std::error_code TerseFormatter::write_run_finish(const ConsoleTestState& state, bool& success) {
  if (config_.display_output) {
    if (auto ec = write_section(out_, "successes", state.not_failures)) return ec;
  }
  if (state.failed != 0) {
    if (auto ec = write_section(out_, "failures", state.failures)) return ec;
  }
  if (auto ec = write_summary(out_, state)) return ec;
  // A single ignored check: say why it was ignored.
  if (total_test_count_ == 1 && state.ignores.size() == 1) {
    const TestDesc& desc = state.ignores.front().first;
    if (desc.ignore_message) {
      std::string text = "test: ";
      text += desc.name;
      text += ", ignore_message: ";
      text += *desc.ignore_message;
      text += "\n\n";
      if (auto ec = out_.write_plain(text)) return ec;
    }
  }
  success = state.failed == 0;
  return {};
}

std::error_code TerseFormatter::write_merged_doctests_times(double /*total*/,
                                                            double /*compilation*/) {
  return {};
}

}  // namespace runner
