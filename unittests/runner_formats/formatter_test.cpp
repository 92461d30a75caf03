// The terse, JSON lines and JUnit formatters, driven directly and read back
// from their output location.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "formatter_output.hpp"
#include "runner/formatters.hpp"
#include "runner/json_formatter.hpp"
#include "runner/junit_formatter.hpp"
#include "runner/terminfo.hpp"
#include "runner/terse_formatter.hpp"
#include "unittests/support/env_guard.hpp"
#include "unittests/support/expected_file.hpp"
#include "unittests/support/process.hpp"

namespace {

using runner::ConsoleTestState;
using runner::ExecTime;
using runner::FormatterConfig;
using runner::TestDesc;
using runner::TestResult;
using runner_formats_test::CapturedOutput;

TestDesc desc(std::string_view name, runner::TestType type = runner::TestType::IntegrationTest) {
  TestDesc d;
  d.name = name;
  d.source_path = "tests/example.cpp";
  d.start_line = 12;
  d.start_col = 6;
  d.end_line = 12;
  d.end_col = 6 + name.size();
  d.test_type = type;
  return d;
}

void ok(std::error_code ec) { ASSERT_FALSE(ec) << ec.message(); }

// Finishes the run and checks the verdict that the formatter gives.
void finish(runner::OutputFormatter& f, const ConsoleTestState& state, bool expected_success) {
  bool success = !expected_success;
  ok(f.write_run_finish(state, success));
  EXPECT_EQ(success, expected_success);
}

// The configuration of a run with --show-output.
FormatterConfig showing_output() {
  FormatterConfig config;
  config.display_output = true;
  return config;
}

void expect_file(const CapturedOutput& out, const std::string& name) {
  EXPECT_TRUE(test_support::matches_expected_file(out.text(), RUNNER_FORMATS_EXPECTED_DIR "/" + name));
}

// ---- terse ----

TEST(TerseFormatter, ProgressLinesEvery87Results) {
  CapturedOutput out;
  runner::TerseFormatter f(out.location(), {});
  ConsoleTestState state;
  ok(f.write_run_start(200, std::nullopt));
  const TestDesc d = desc("t");
  for (int i = 0; i < 200; ++i) ok(f.write_result(d, TestResult::ok(), std::nullopt, {}, state));
  const std::string expected = "\nrunning 200 tests\n" + std::string(87, '.') + " 87/200\n" +
                               std::string(87, '.') + " 174/200\n" + std::string(26, '.');
  EXPECT_EQ(out.text(), expected);
}

TEST(TerseFormatter, FailuresGetTheirOwnLine) {
  CapturedOutput out(true);
  runner::TerseFormatter f(out.location(), {});
  ConsoleTestState state;
  ok(f.write_run_start(6, 42));
  const TestDesc d = desc("pass");
  ok(f.write_result(desc("first_fails"), TestResult::failed(), std::nullopt, {}, state));
  ok(f.write_result(d, TestResult::ok(), std::nullopt, {}, state));
  ok(f.write_result(d, TestResult::ignored(), std::nullopt, {}, state));
  ok(f.write_result(desc("msg"), TestResult::failed_msg("m"), std::nullopt, {}, state));
  ok(f.write_result(desc("slow"), TestResult::timed_fail(), ExecTime(2.0), {}, state));
  ok(f.write_timeout(desc("long")));
  ok(f.write_result(d, TestResult::ok(), ExecTime(0.5), {}, state));
  EXPECT_EQ(out.text(),
            "\nrunning 6 tests (shuffle seed: 42)\n"
            "first_fails --- <R>FAILED</>\n"
            "<G>.</><Y>i</> 3/6\n"
            "msg --- <R>FAILED</>\n"
            "slow --- <R>FAILED</>\n"
            "test long has been running for over 60 seconds\n"
            "<G>.</>");
}

TEST(TerseFormatter, FinishSectionsAndSummary) {
  const TestDesc a = desc("a_check");
  const TestDesc b = desc("b_check");
  const struct {
    const char* label;
    bool display_output;
    int failures;       // entries in the failures list
    int time_failures;  // entries in the time-limit list
    std::string expected;
  } cases[] = {
      {"all passed", false, 0, 0,
       "\ntest result: ok. 2 passed; 0 failed; 0 ignored; 0 measured; 1 filtered out; "
       "finished in 0.13s\n\n"},
      {"successes shown", true, 0, 0,
       "\nsuccesses:\n\n---- b_check stdout ----\nprinted\n\nsuccesses:\n    a_check\n    b_check\n"
       "\ntest result: ok. 2 passed; 0 failed; 0 ignored; 0 measured; 1 filtered out; "
       "finished in 0.13s\n\n"},
      {"one failure", false, 1, 0,
       "\nfailures:\n\n---- b_check stdout ----\nboom\n\nfailures:\n    b_check\n"
       "\ntest result: FAILED. 2 passed; 1 failed; 0 ignored; 0 measured; 1 filtered out; "
       "finished in 0.13s\n\n"},
      // Time-limit failures alone still give the (empty) failures section.
      {"time limit only", false, 0, 1,
       "\nfailures:\n\nfailures:\n"
       "\ntest result: FAILED. 2 passed; 1 failed; 0 ignored; 0 measured; 1 filtered out; "
       "finished in 0.13s\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CapturedOutput out;
    FormatterConfig config;
    config.display_output = c.display_output;
    runner::TerseFormatter f(out.location(), config);
    ok(f.write_run_start(3, std::nullopt));
    ConsoleTestState state;
    state.total = 3;
    state.passed = 2;
    state.filtered_out = 1;
    state.exec_time = ExecTime(0.126);
    state.not_failures = {{b, "printed"}, {a, ""}};
    if (c.failures) state.failures = {{b, "boom"}};
    if (c.time_failures) state.time_failures = {{a, "slow"}};
    state.failed = static_cast<std::size_t>(c.failures + c.time_failures);
    finish(f, state, state.failed == 0);
    EXPECT_EQ(out.text(), "\nrunning 3 tests\n" + c.expected);
  }
}

TEST(TerseFormatter, SingleIgnoredCheckShowsItsMessage) {
  // Only a run of exactly one check, ignored with a message, says why.
  const struct {
    std::size_t total;
    bool with_message;
    bool shown;
  } cases[] = {{1, true, true}, {1, false, false}, {2, true, false}};
  for (const auto& c : cases) {
    TestDesc d = desc("lonely");
    d.ignore = true;
    if (c.with_message) d.ignore_message = "not today";
    CapturedOutput out;
    runner::TerseFormatter f(out.location(), {});
    ConsoleTestState state;
    state.total = c.total;
    state.ignored = 1;
    state.ignores = {{d, ""}};
    ok(f.write_run_start(c.total, std::nullopt));
    ok(f.write_result(d, TestResult::ignored(), std::nullopt, {}, state));
    finish(f, state, true);
    std::string expected = c.total == 1 ? "\nrunning 1 test\n" : "\nrunning 2 tests\n";
    expected +=
        "i\ntest result: ok. 0 passed; 0 failed; 1 ignored; 0 measured; 0 filtered out; "
        "finished in 0.00s\n\n";
    if (c.shown) expected += "test: lonely, ignore_message: not today\n\n";
    EXPECT_EQ(out.text(), expected);
  }
}

TEST(TerseFormatter, ListsNamesOnly) {
  CapturedOutput out;
  runner::TerseFormatter f(out.location(), {});
  ok(f.write_discovery_start());
  ok(f.write_test_discovered(desc("one"), "test"));
  ok(f.write_test_discovered(desc("two"), "test"));
  ok(f.write_discovery_finish({}));
  EXPECT_EQ(out.text(), "one: test\ntwo: test\n");
}

// ---- JSON lines ----

TEST(JsonFormatter, RunLines) {
  CapturedOutput out;
  runner::JsonFormatter f(out.location(), {});
  ConsoleTestState state;
  TestDesc ignored = desc("skip \"me\"");
  ignored.ignore = true;
  ignored.ignore_message = "why\t<not>";
  ok(f.write_run_start(4, std::nullopt));
  ok(f.write_run_start(4, 18446744073709551615ULL));
  ok(f.write_test_start(desc("a")));
  ok(f.write_timeout(desc("a")));
  ok(f.write_result(desc("a"), TestResult::ok(), std::nullopt, "hidden", state));
  ok(f.write_result(desc("a"), TestResult::ok(), ExecTime(0.0125), {}, state));
  ok(f.write_result(desc("b"), TestResult::failed(), ExecTime(1e-7), "line\n\x1b[1m\xFF", state));
  ok(f.write_result(desc("c"), TestResult::failed_msg("did \"not\"\npanic"), std::nullopt, {}, state));
  ok(f.write_result(desc("d"), TestResult::timed_fail(), ExecTime(3.0), "out", state));
  ok(f.write_result(ignored, TestResult::ignored(), std::nullopt, {}, state));
  ok(f.write_result(desc("e"), TestResult::ignored(), std::nullopt, {}, state));
  state.passed = 2;
  state.failed = 3;
  state.ignored = 2;
  state.filtered_out = 1;
  state.exec_time = ExecTime(0.25);
  finish(f, state, false);
  expect_file(out, "json_run_lines.jsonl");
}

TEST(JsonFormatter, PassedOutputOnlyWhenShown) {
  CapturedOutput out;
  runner::JsonFormatter f(out.location(), showing_output());
  ConsoleTestState state;
  ok(f.write_result(desc("a"), TestResult::ok(), std::nullopt, "shown", state));
  ok(f.write_result(desc("b"), TestResult::ok(), std::nullopt, "", state));
  state.passed = 2;
  finish(f, state, true);
  expect_file(out, "json_passed_output_shown.jsonl");
}

TEST(JsonFormatter, ListingLinesEscapeEveryText) {
  CapturedOutput out;
  runner::JsonFormatter f(out.location(), {});
  TestDesc odd = desc("odd");
  odd.ignore = true;
  odd.ignore_message = "say \"no\" \\ \x01";
  odd.source_path = "dir\\file.cpp";
  ok(f.write_discovery_start());
  ok(f.write_test_discovered(desc("plain"), "test"));
  ok(f.write_test_discovered(odd, "test"));
  ok(f.write_discovery_finish({}));
  expect_file(out, "json_listing.jsonl");
}

// ---- JUnit ----

struct XmlCheck {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs xmllint on `document` with `args`; status -1 when xmllint is missing.
XmlCheck xmllint(const std::string& document, std::vector<std::string> args) {
  const std::string program = test_support::find_program("xmllint");
  if (program.empty()) return {};
  args.insert(args.begin(), program);
  args.emplace_back("-");
  test_support::ProcessOptions options;
  options.stdin_text = document;
  const auto result = test_support::run_process(args, options);
  return {result.status, result.out, result.err};
}

// The value of an XPath expression; xmllint ends it with one newline.
std::string xpath(const std::string& document, const std::string& expr) {
  std::string value = xmllint(document, {"--xpath", expr}).out;
  if (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

TEST(JunitFormatter, WholeDocumentOnOneLine) {
  CapturedOutput out;
  runner::JunitFormatter f(out.location(), {});
  ConsoleTestState state;
  ok(f.write_run_start(8, std::nullopt));
  EXPECT_EQ(out.text(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  ok(f.write_test_start(desc("a")));
  ok(f.write_timeout(desc("a")));
  ok(f.write_result(desc("a"), TestResult::ok(), std::nullopt, "not shown", state));
  ok(f.write_result(desc("b"), TestResult::failed(), ExecTime(0.5), "", state));
  ok(f.write_result(desc("c"), TestResult::failed(), std::nullopt, "x]]>y\n", state));
  ok(f.write_result(desc("d"), TestResult::failed_msg("a \"b\" <c> & d"), std::nullopt, {}, state));
  ok(f.write_result(desc("e"), TestResult::timed_fail(), ExecTime(2.25), "ignored out", state));
  ok(f.write_result(desc("f"), TestResult::ignored(), std::nullopt, {}, state));
  ok(f.write_result(desc("mod::inner::g", runner::TestType::UnitTest), TestResult::ok(), std::nullopt,
                    {}, state));
  ok(f.write_result(desc("h", runner::TestType::Unknown), TestResult::ok(), std::nullopt, {}, state));
  // Nothing but the declaration until the run finishes.
  EXPECT_EQ(out.text(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  state.total = 8;
  state.passed = 3;
  state.failed = 4;
  state.ignored = 1;
  finish(f, state, false);
  expect_file(out, "junit_document.xml");
  const std::string doc = out.text();
  if (test_support::find_program("xmllint").empty()) return;
  EXPECT_EQ(xmllint(doc, {"--noout"}).status, 0);
  EXPECT_EQ(xpath(doc, "count(//testcase)"), "7");
  EXPECT_EQ(xpath(doc, "count(//failure)"), "4");
  EXPECT_EQ(xpath(doc, "string(//testcase[@name='d']/failure/@message)"), "a \"b\" <c> & d");
  EXPECT_EQ(xpath(doc, "string(//testcase[@name='c']/system-out)"), "x]]>y\n");
}

TEST(JunitFormatter, HostileOutputStaysValidXml) {
  CapturedOutput out;
  runner::JunitFormatter f(out.location(), showing_output());
  ConsoleTestState state;
  const std::string hostile = std::string("\x1b[31mred\x1b[0m <?pi ?> ]]> ]]]]> & \x07\x0b\x0c bell") +
                              std::string("\0", 1) + "nul\xFF\xEF\xBF\xBE\n\r\n<![CDATA[]]>\ttab";
  ok(f.write_run_start(2, std::nullopt));
  ok(f.write_result(desc("shown_ok"), TestResult::ok(), std::nullopt, hostile, state));
  ok(f.write_result(desc("msg\x01<&"), TestResult::failed_msg(hostile), std::nullopt, hostile, state));
  state.total = 2;
  state.passed = 1;
  state.failed = 1;
  finish(f, state, false);
  const std::string doc = out.text();
  ASSERT_EQ(doc.back(), '\n');
  EXPECT_EQ(doc.find('\n'), doc.size() - 1) << "one line only";
  EXPECT_EQ(doc.find('\x1b'), std::string::npos);
  if (test_support::find_program("xmllint").empty()) GTEST_SKIP() << "xmllint not found";
  const XmlCheck check = xmllint(doc, {"--noout"});
  EXPECT_EQ(check.status, 0) << check.err << "\n" << doc;
  EXPECT_EQ(xpath(doc, "count(//testcase/system-out)"), "2");
  // The colour sequences are gone, the rest of the text survives.
  const std::string shown = xpath(doc, "string(//testcase[@name='shown_ok']/system-out)");
  EXPECT_EQ(shown.rfind("red <?pi ?> ]]> ]]]]> & ", 0), 0u) << shown;
  EXPECT_NE(shown.find("<![CDATA[]]>\ttab"), std::string::npos) << shown;
}

TEST(MakeFormatter, ChoosesTheFormatOfTheOptions) {
  CapturedOutput out;
  const struct {
    runner::OutputFormat format;
    std::string run_start;
  } cases[] = {
      {runner::OutputFormat::Pretty, "\nrunning 2 tests\n"},
      {runner::OutputFormat::Terse, "\nrunning 2 tests\n"},
      {runner::OutputFormat::Json,
       "{ \"type\": \"suite\", \"event\": \"started\", \"test_count\": 2 }\n"},
      {runner::OutputFormat::Junit, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
  };
  std::string expected;
  for (const auto& c : cases) {
    FormatterConfig config;
    config.is_multithreaded = true;  // the pretty name part comes with the result
    auto f = runner::make_formatter(c.format, out.location(), config);
    ASSERT_NE(f, nullptr);
    ok(f->write_run_start(2, std::nullopt));
    ConsoleTestState state;
    ok(f->write_result(desc("x"), TestResult::ok(), std::nullopt, {}, state));
    expected += c.run_start;
    switch (c.format) {
      case runner::OutputFormat::Pretty: expected += "test x ... ok\n"; break;
      case runner::OutputFormat::Terse: expected += "."; break;
      case runner::OutputFormat::Json:
        expected += "{ \"type\": \"test\", \"name\": \"x\", \"event\": \"ok\" }\n";
        break;
      case runner::OutputFormat::Junit: break;
    }
  }
  EXPECT_EQ(out.text(), expected);
}

// An output location that takes exactly `room` more bytes: a non-blocking
// pipe that nobody reads, filled to `room` bytes below its capacity. Writes of
// up to a page are atomic on a pipe, so one that does not fit fails whole.
class LimitedOutput {
 public:
  explicit LimitedOutput(std::size_t room) {
    if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) return;
    const int capacity = ::fcntl(fds_[1], F_SETPIPE_SZ, 4096);
    if (capacity < 0 || static_cast<std::size_t>(capacity) < room) return;
    const std::string fill(static_cast<std::size_t>(capacity) - room, '#');
    if (::write(fds_[1], fill.data(), fill.size()) != static_cast<ssize_t>(fill.size())) return;
    location_.emplace(fds_[1], std::optional(runner_formats_test::visible_colors()), true);
  }
  LimitedOutput(const LimitedOutput&) = delete;
  LimitedOutput& operator=(const LimitedOutput&) = delete;
  ~LimitedOutput() {
    for (const int fd : fds_) {
      if (fd >= 0) ::close(fd);
    }
  }
  // Empty when the pipe could not be set up.
  std::optional<runner::OutputLocation>& location() { return location_; }

 private:
  int fds_[2] = {-1, -1};
  std::optional<runner::OutputLocation> location_;
};

// Every write of a formatter passes its failure on: each sequence of calls is
// run against outputs with room for every length short of its whole output,
// and must fail on each; with room for all of it, it succeeds.
TEST(Formatters, WriteErrorsAreReturnedFromEveryWrite) {
  using Format = runner::OutputFormat;
  using Calls = std::function<std::error_code(runner::OutputFormatter&)>;
  FormatterConfig timed = showing_output();
  timed.is_multithreaded = true;
  timed.time_options = runner::TestTimeOptions{};
  TestDesc lonely = desc("lonely");
  lonely.ignore_message = "not today";
  ConsoleTestState state;
  state.total = 1;
  state.failed = 2;
  state.not_failures = {{desc("good"), "shown"}};
  state.failures = {{desc("bad"), "why"}};
  state.time_failures = {{desc("slow"), ""}};
  state.ignores = {{lonely, ""}};
  bool success = false;
  const Calls results = [&](runner::OutputFormatter& f) -> std::error_code {
    if (auto ec = f.write_run_start(1, 7)) return ec;
    if (auto ec = f.write_test_start(lonely)) return ec;
    if (auto ec = f.write_timeout(lonely)) return ec;
    if (auto ec = f.write_result(desc("a"), TestResult::ok(), ExecTime(0.7), {}, state)) return ec;
    if (auto ec = f.write_result(lonely, TestResult::ignored(), std::nullopt, {}, state)) return ec;
    return f.write_result(desc("b"), TestResult::failed(), ExecTime(2.0), "x", state);
  };
  const Calls finish = [&](runner::OutputFormatter& f) -> std::error_code {
    if (auto ec = f.write_run_start(1, std::nullopt)) return ec;
    return f.write_run_finish(state, success);
  };
  const Calls listing = [&](runner::OutputFormatter& f) -> std::error_code {
    if (auto ec = f.write_discovery_start()) return ec;
    if (auto ec = f.write_test_discovered(lonely, "test")) return ec;
    if (auto ec = f.write_discovery_finish(state)) return ec;
    return f.write_merged_doctests_times(1.5, 0.5);
  };
  const struct {
    const char* label;
    Format format;
    const Calls& calls;
  } cases[] = {
      {"pretty results", Format::Pretty, results}, {"pretty finish", Format::Pretty, finish},
      {"pretty listing", Format::Pretty, listing}, {"terse results", Format::Terse, results},
      {"terse finish", Format::Terse, finish},     {"terse listing", Format::Terse, listing},
      {"json results", Format::Json, results},     {"json finish", Format::Json, finish},
      {"json listing", Format::Json, listing},     {"junit finish", Format::Junit, finish},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CapturedOutput whole(true);
    ok(c.calls(*runner::make_formatter(c.format, whole.location(), timed)));
    const std::size_t length = whole.text().size();
    ASSERT_GT(length, 0u);
    for (std::size_t room = 0; room <= length; ++room) {
      LimitedOutput limited(room);
      ASSERT_TRUE(limited.location().has_value()) << "no pipe of one page";
      const std::error_code ec = c.calls(*runner::make_formatter(c.format, *limited.location(), timed));
      if (room < length) {
        EXPECT_EQ(ec, std::error_code(EAGAIN, std::system_category())) << "room " << room;
      } else {
        EXPECT_FALSE(ec) << ec.message();
      }
    }
  }
}

TEST(StdoutLocation, ColourOnlyWhenAskedAndDescribed) {
  test_support::EnvGuard env;
  env.unset("TERMINFO");
  env.unset("TERMINFO_DIRS");
  env.set("TERM", "xterm-256color");
  const bool described = runner::find_terminfo("xterm-256color").has_value();
  runner::TestOpts opts;
  opts.color = runner::ColorConfig::Never;
  EXPECT_FALSE(runner::stdout_location(opts).use_color());
  opts.color = runner::ColorConfig::Always;
  EXPECT_EQ(runner::stdout_location(opts).use_color(), described);
  env.set("TERM", "no-such-terminal-anywhere");
  EXPECT_FALSE(runner::stdout_location(opts).use_color());
  env.unset("TERM");
  EXPECT_FALSE(runner::stdout_location(opts).use_color());
  // Auto: never with capture off; otherwise only on a terminal.
  env.set("TERM", "xterm-256color");
  opts.color = runner::ColorConfig::Auto;
  opts.nocapture = true;
  EXPECT_FALSE(runner::stdout_location(opts).use_color());
  opts.nocapture = false;
  EXPECT_EQ(runner::stdout_location(opts).use_color(), described && ::isatty(1) == 1);
}

}  // namespace
