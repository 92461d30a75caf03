#include "runner/json_formatter.hpp"

#include <string>

#include "runner/escape.hpp"

namespace runner {
namespace {

// One line "{ member, member }": members are added in order, each already
// rendered as key and value.
class JsonLine {
 public:
  JsonLine& text(std::string_view key, std::string_view value) {
    std::string rendered = "\"";
    rendered += json_escape(value);
    rendered.push_back('"');
    return raw(key, rendered);
  }
  JsonLine& number(std::string_view key, std::uint64_t value) { return raw(key, std::to_string(value)); }
  JsonLine& boolean(std::string_view key, bool value) { return raw(key, value ? "true" : "false"); }
  JsonLine& seconds(std::string_view key, double value) { return raw(key, plain_decimal(value)); }
  std::string finish() const { return line_ + " }\n"; }

 private:
  JsonLine& raw(std::string_view key, std::string_view value) {
    line_ += first_ ? "{ \"" : ", \"";
    first_ = false;
    line_ += key;
    line_ += "\": ";
    line_ += value;
    return *this;
  }
  std::string line_;
  bool first_ = true;
};

}  // namespace

std::error_code JsonFormatter::write_discovery_start() {
  return out_.write_plain(JsonLine().text("type", "suite").text("event", "discovery").finish());
}

std::error_code JsonFormatter::write_test_discovered(const TestDesc& desc, std::string_view kind_word) {
  discovered_.add(desc, kind_word);
  JsonLine line;
  line.text("type", kind_word)
      .text("event", "discovered")
      .text("name", desc.name)
      .boolean("ignore", desc.ignore)
      .text("ignore_message", desc.ignore_message.value_or(std::string_view()))
      .text("source_path", desc.source_path)
      .number("start_line", desc.start_line)
      .number("start_col", desc.start_col)
      .number("end_line", desc.end_line)
      .number("end_col", desc.end_col);
  return out_.write_plain(line.finish());
}

std::error_code JsonFormatter::write_discovery_finish(const ConsoleTestState& /*state*/) {
  JsonLine line;
  line.text("type", "suite")
      .text("event", "completed")
      .number("tests", discovered_.tests)
      .number("benchmarks", discovered_.benchmarks)
      .number("total", discovered_.tests + discovered_.benchmarks)
      .number("ignored", discovered_.ignored);
  return out_.write_plain(line.finish());
}

std::error_code JsonFormatter::write_run_start(std::size_t test_count,
                                               std::optional<std::uint64_t> shuffle_seed) {
  JsonLine line;
  line.text("type", "suite").text("event", "started").number("test_count", test_count);
  if (shuffle_seed) line.number("shuffle_seed", *shuffle_seed);
  return out_.write_plain(line.finish());
}

std::error_code JsonFormatter::write_test_start(const TestDesc& desc) {
  return out_.write_plain(
      JsonLine().text("type", "test").text("event", "started").text("name", desc.name).finish());
}

std::error_code JsonFormatter::write_timeout(const TestDesc& desc) {
  return out_.write_plain(
      JsonLine().text("type", "test").text("event", "timeout").text("name", desc.name).finish());
}

std::error_code JsonFormatter::write_result(const TestDesc& desc, const TestResult& result,
                                            std::optional<ExecTime> exec_time,
                                            std::string_view stdout_bytes,
                                            const ConsoleTestState& /*state*/) {
  std::string_view event = "failed";
  if (result.kind == TestResultKind::Ok) event = "ok";
  if (result.kind == TestResultKind::Ignored) event = "ignored";

  JsonLine line;
  line.text("type", "test").text("name", desc.name).text("event", event);
  if (exec_time) line.seconds("exec_time", exec_time->count());
  const bool show_stdout = result.kind != TestResultKind::Ok || config_.display_output;
  if (show_stdout && !stdout_bytes.empty()) line.text("stdout", utf8_lossy(stdout_bytes));
  switch (result.kind) {
    case TestResultKind::FailedMsg: line.text("message", result.message); break;
    case TestResultKind::TimedFail: line.text("reason", "time limit exceeded"); break;
    case TestResultKind::Ignored:
      if (desc.ignore_message) line.text("message", *desc.ignore_message);
      break;
    case TestResultKind::Ok:
    case TestResultKind::Failed: break;
  }
  return out_.write_plain(line.finish());
}

std::error_code JsonFormatter::write_run_finish(const ConsoleTestState& state, bool& success) {
  success = state.failed == 0;
  JsonLine line;
  line.text("type", "suite")
      .text("event", success ? "ok" : "failed")
      .number("passed", state.passed)
      .number("failed", state.failed)
      .number("ignored", state.ignored)
      .number("measured", state.measured)
      .number("filtered_out", state.filtered_out)
      .seconds("exec_time", state.exec_time.count());
  return out_.write_plain(line.finish());
}

std::error_code JsonFormatter::write_merged_doctests_times(double total, double compilation) {
  JsonLine line;
  line.text("type", "report").seconds("total_time", total).seconds("compilation_time", compilation);
  return out_.write_plain(line.finish());
}

}  // namespace runner
