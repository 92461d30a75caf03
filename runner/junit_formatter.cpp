#include "runner/junit_formatter.hpp"

#include "runner/escape.hpp"

namespace runner {
namespace {

// ` name="value"` with the value escaped for an attribute.
void append_attr(std::string& out, std::string_view name, std::string_view value) {
  out.push_back(' ');
  out += name;
  out += "=\"";
  out += xml_escape(value);
  out.push_back('"');
}

// Captured output as the content of a system-out element: decoded as UTF-8,
// terminal colour sequences and characters XML cannot carry removed, in CDATA.
std::string system_out(std::string_view bytes) {
  std::string text = "<system-out>";
  text += str_to_cdata(xml_clean(utf8_lossy(bytes)));
  text += "</system-out>";
  return text;
}

}  // namespace

JunitNames junit_names(const TestDesc& desc) {
  const std::string name(desc.name);
  switch (desc.test_type) {
    case TestType::IntegrationTest: return {"integration", name};
    case TestType::UnitTest: {
      // The module path is the class, the last segment the test.
      const std::size_t sep = name.rfind("::");
      if (sep == std::string::npos) return {"unit", name};
      return {name.substr(0, sep), name.substr(sep + 2)};
    }
    case TestType::DocTest: {
      // "FILE - ITEM (line N)": the file is the class, the rest the test.
      const std::size_t sep = name.find(" - ");
      if (sep == std::string::npos) return {"doctest", name};
      return {name.substr(0, sep), name.substr(sep + 3)};
    }
    case TestType::Unknown: break;
  }
  return {"unknown", name};
}

std::error_code JunitFormatter::write_run_start(std::size_t /*test_count*/,
                                                std::optional<std::uint64_t> /*shuffle_seed*/) {
  return out_.write_plain("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
}

std::error_code JunitFormatter::write_result(const TestDesc& desc, const TestResult& result,
                                             std::optional<ExecTime> exec_time,
                                             std::string_view stdout_bytes,
                                             const ConsoleTestState& /*state*/) {
  results_.push_back({desc, result, exec_time, std::string(stdout_bytes)});
  return {};
}

std::string JunitFormatter::testcase_text(const Completed& test) const {
  if (test.result.kind == TestResultKind::Ignored) return {};
  const JunitNames names = junit_names(test.desc);
  std::string text = "<testcase";
  append_attr(text, "classname", names.class_name);
  append_attr(text, "name", names.test_name);
  append_attr(text, "time", test.exec_time ? plain_decimal(test.exec_time->count()) : "0");

  switch (test.result.kind) {
    case TestResultKind::Ok:
      if (config_.display_output && !test.stdout_bytes.empty()) {
        text += ">";
        text += system_out(test.stdout_bytes);
        text += "</testcase>";
      } else {
        text += "/>";
      }
      break;
    case TestResultKind::Failed:
    case TestResultKind::FailedMsg:
      text += "><failure";
      if (test.result.kind == TestResultKind::FailedMsg) {
        append_attr(text, "message", test.result.message);
      }
      append_attr(text, "type", "assert");
      text += "/>";
      if (!test.stdout_bytes.empty()) text += system_out(test.stdout_bytes);
      text += "</testcase>";
      break;
    case TestResultKind::TimedFail: text += "><failure type=\"timeout\"/></testcase>"; break;
    case TestResultKind::Ignored: break;
  }
  return text;
}

std::error_code JunitFormatter::write_run_finish(const ConsoleTestState& state, bool& success) {
  std::string text = "<testsuites><testsuite";
  append_attr(text, "name", "test");
  append_attr(text, "package", "test");
  append_attr(text, "id", "0");
  append_attr(text, "errors", "0");
  append_attr(text, "failures", std::to_string(state.failed));
  append_attr(text, "tests", std::to_string(state.total));
  append_attr(text, "skipped", std::to_string(state.ignored));
  text += " >";
  for (const Completed& test : results_) text += testcase_text(test);
  text += "<system-out/><system-err/></testsuite></testsuites>\n";
  success = state.failed == 0;
  return out_.write_plain(text);
}

}  // namespace runner
