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

std::error_code PrettyFormatter::write_discovery_finish(const ConsoleTestState& /*state*/) {
  const auto plural = [](std::size_t count, std::string_view word) {
    std::string text = std::to_string(count);
    text.push_back(' ');
    text += word;
    if (count != 1) text.push_back('s');
    return text;
  };
  std::string text;
  const DiscoveryCounts& listed = discovered();
  if (listed.tests != 0 || listed.benchmarks != 0) text.push_back('\n');
  text += plural(listed.tests, "test");
  text += ", ";
  text += plural(listed.benchmarks, "benchmark");
  text.push_back('\n');
  return out_.write_plain(text);
}

std::error_code PrettyFormatter::write_test_start(const TestDesc& desc) {
  // With several checks running at once the name goes with the result.
  if (config_.is_multithreaded) return {};
  return out_.write_plain(name_part(desc));
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

std::error_code PrettyFormatter::write_failure_sections(const ConsoleTestState& state) {
  if (!state.failures.empty()) {
    if (auto ec = write_section(out_, "failures", state.failures)) return ec;
  }
  if (state.time_failures.empty()) return {};
  return write_section(out_, "failures (time limit exceeded)", state.time_failures);
}

}  // namespace runner
