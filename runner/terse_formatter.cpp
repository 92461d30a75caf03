#include "runner/terse_formatter.hpp"

#include <string>

#include "runner/report_sections.hpp"

namespace runner {

std::error_code TerseFormatter::write_progress() {
  std::string text = " ";
  text += std::to_string(test_count_);
  text.push_back('/');
  text += std::to_string(run_total());
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

std::error_code TerseFormatter::write_failure_sections(const ConsoleTestState& state) {
  return write_section(out_, "failures", state.failures);
}

std::error_code TerseFormatter::write_run_finish(const ConsoleTestState& state, bool& success) {
  if (auto ec = ConsoleFormatter::write_run_finish(state, success)) return ec;
  // A single ignored check: say why it was ignored.
  if (run_total() != 1 || state.ignores.size() != 1) return {};
  const TestDesc& desc = state.ignores.front().first;
  if (!desc.ignore_message) return {};
  std::string text = "test: ";
  text += desc.name;
  text += ", ignore_message: ";
  text += *desc.ignore_message;
  text += "\n\n";
  return out_.write_plain(text);
}

}  // namespace runner
