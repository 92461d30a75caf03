#include "runner/result_policy.hpp"

#include "runner/debug_repr.hpp"

namespace runner {
namespace {

std::string did_not_panic_message(const TestDesc& desc) {
  std::string text = "test did not panic as expected";
  if (!desc.source_path.empty()) {
    text += " at ";
    text += desc.source_path;
    text.push_back(':');
    text += std::to_string(desc.start_line);
    text.push_back(':');
    text += std::to_string(desc.start_col);
  }
  return text;
}

}  // namespace

TestResult calc_result(const TestDesc& desc, const std::optional<Panic>& panic,
                       const std::optional<TestTimeOptions>& time_opts,
                       std::optional<ExecTime> exec_time) {
  TestResult result = TestResult::ok();
  switch (desc.should_panic) {
    case ShouldPanic::No:
      if (panic) result = TestResult::failed();
      break;
    case ShouldPanic::Yes:
      if (!panic) result = TestResult::failed_msg(did_not_panic_message(desc));
      break;
    case ShouldPanic::YesWithMessage:
      if (!panic) {
        result = TestResult::failed_msg(did_not_panic_message(desc));
      } else if (!panic->message) {
        result = TestResult::failed_msg(
            "expected panic with string value,\n found non-string value: `" + panic->type_name +
            "`\n     expected substring: " + debug_quote(desc.expected_message));
      } else if (panic->message->find(desc.expected_message) == std::string::npos) {
        result = TestResult::failed_msg("panic did not contain expected string\n      panic message: " +
                                        debug_quote(*panic->message) +
                                        "\n expected substring: " + debug_quote(desc.expected_message));
      }
      break;
  }
  if (result.kind == TestResultKind::Ok && time_opts && time_opts->error_on_excess && exec_time &&
      time_opts->is_critical(desc, *exec_time)) {
    result = TestResult::timed_fail();
  }
  return result;
}

}  // namespace runner
