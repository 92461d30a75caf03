// The failure hook: assertion messages, reports written into capture buffers,
// capture inheritance by spawned threads, thread names in reports.
#include <gtest/gtest.h>
#include <pthread.h>

#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "runner/check_failure.hpp"
#include "runner/output.hpp"

namespace {

struct AssertionCase {
  std::optional<std::string> message;
  std::string left;
  std::string right;
  std::string expected;
};

TEST(AssertionMessage, HasThreeLinesWithOptionalMessage) {
  const AssertionCase cases[] = {
      {std::nullopt, "1", "2", "assertion `left == right` failed\n  left: 1\n right: 2"},
      {"rows differ", "3", "2", "assertion `left == right` failed: rows differ\n  left: 3\n right: 2"},
      {"two\nlines", "{1, 2}", "{}",
       "assertion `left == right` failed: two\nlines\n  left: {1, 2}\n right: {}"},
      {"", "None", "Some(\"x\")",
       "assertion `left == right` failed: \n  left: None\n right: Some(\"x\")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(runner::assertion_message("==", c.left, c.right, c.message), c.expected);
  }
}

// Runs `body` on a thread of its own with a fresh capture buffer and returns
// what it captured.
template <class F>
std::string captured_on_thread(F body, std::optional<std::string> thread_name = std::nullopt) {
  auto buffer = std::make_shared<runner::CaptureBuffer>();
  std::thread t([&] {
    if (thread_name) runner::set_current_thread_name(*thread_name);
    runner::set_current_capture(buffer);
    body();
    runner::set_current_capture(nullptr);
  });
  t.join();
  return buffer->contents();
}

TEST(FailureReport, FailWritesReportIntoCaptureBufferAndThrows) {
  std::string thrown;
  const std::string out = captured_on_thread(
      [&] {
        runner::print("before\n");
        try {
          runner::fail("broken\nbadly", runner::SourceLocation{"some/file.cpp", 12, 34});
        } catch (const runner::CheckFailure& failure) {
          thrown = failure.message;
        }
      },
      "a_check::name_longer_than_fifteen_bytes");
  EXPECT_EQ(thrown, "broken\nbadly");
  // The backtrace note depends on whether this is the process's first report.
  const std::regex layout(
      "before\n\nthread 'a_check::name_longer_than_fifteen_bytes' \\([0-9]+\\) panicked at "
      "some/file.cpp:12:34:\nbroken\nbadly\n(note: run with `QUORVANE_BACKTRACE=1` environment "
      "variable to display a backtrace\n)?");
  EXPECT_TRUE(std::regex_match(out, layout)) << out;
}

TEST(FailureReport, AssertEqualRaisesOnlyWhenValuesDiffer) {
  std::string thrown;
  const std::string out = captured_on_thread([&] {
    runner::assert_equal(5, 5, "not raised");
    try {
      runner::assert_equal(std::string("a"), std::string("b"), [] { return std::string("lazy"); });
    } catch (const runner::CheckFailure& failure) {
      thrown = failure.message;
    }
  });
  EXPECT_EQ(thrown, "assertion `left == right` failed: lazy\n  left: \"a\"\n right: \"b\"");
  EXPECT_NE(out.find("panicked at unittests/runner_core/failure_report_test.cpp:"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("not raised"), std::string::npos);
}

TEST(FailureReport, UnnamedThreadAndSpawnedThreadShareTheBuffer) {
  const std::string out = captured_on_thread([] {
    runner::print("parent\n");
    std::thread child = runner::spawn_inheriting_capture([] {
      runner::eprint("child\n");
      runner::fail("child failed", runner::SourceLocation{"f.cpp", 1, 2});
    });
    child.join();
    runner::print("after join\n");
  });
  const std::regex layout(
      "parent\nchild\n\nthread '<unnamed>' \\([0-9]+\\) panicked at f.cpp:1:2:\nchild failed\n"
      "(note: [^\n]*\n)?after join\n");
  EXPECT_TRUE(std::regex_match(out, layout)) << out;
}

TEST(FailureReport, ThreadNamesFollowTheirRules) {
  EXPECT_EQ(runner::current_thread_name(), "main");  // GoogleTest runs tests on the main thread
  std::string named;
  std::string unnamed;
  std::string cleared;
  std::string os_visible;
  std::string long_name;
  std::thread t([&] {
    unnamed = runner::current_thread_name();
    runner::set_current_thread_name("x::y");
    named = runner::current_thread_name();
    runner::set_current_thread_name("module::a_rather_long_check_name");
    char os_name[64] = {};
    ::pthread_getname_np(::pthread_self(), os_name, sizeof os_name);
    os_visible = os_name;
    long_name = runner::current_thread_name();
    runner::clear_current_thread_name();
    cleared = runner::current_thread_name();
  });
  t.join();
  EXPECT_EQ(unnamed, "<unnamed>");
  EXPECT_EQ(named, "x::y");
  EXPECT_EQ(cleared, "<unnamed>");
  EXPECT_EQ(long_name, "module::a_rather_long_check_name");  // reports keep the full name
  EXPECT_EQ(os_visible, "module::a_rathe");                  // the system keeps 15 bytes
}

}  // namespace
