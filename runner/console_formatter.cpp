#include "runner/console_formatter.hpp"

#include <string>

#include "runner/report_sections.hpp"

namespace runner {

std::error_code ConsoleFormatter::write_test_discovered(const TestDesc& desc,
                                                        std::string_view kind_word) {
  discovered_.add(desc, kind_word);
  std::string line(desc.name);
  line += ": ";
  line += kind_word;
  line.push_back('\n');
  return out_.write_plain(line);
}

std::error_code ConsoleFormatter::write_run_start(std::size_t test_count,
                                                  std::optional<std::uint64_t> shuffle_seed) {
  run_total_ = test_count;
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

std::error_code ConsoleFormatter::write_timeout(const TestDesc& desc) {
  return out_.write_plain(timeout_warning_text(desc));
}

std::error_code ConsoleFormatter::write_run_finish(const ConsoleTestState& state, bool& success) {
  if (config_.display_output) {
    if (auto ec = write_section(out_, "successes", state.not_failures)) return ec;
  }
  if (state.failed != 0) {
    if (auto ec = write_failure_sections(state)) return ec;
  }
  if (auto ec = write_summary(out_, state)) return ec;
  success = state.failed == 0;
  return {};
}

}  // namespace runner
