// The pretty format's lines and the end-of-run sections, written to a memory file.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>

#include "runner/pretty_formatter.hpp"
#include "runner/report_sections.hpp"

namespace {

// A memory file as the output location; `text()` reads back what was written.
class MemoryOutput {
 public:
  explicit MemoryOutput(std::optional<runner::TerminalColors> colors = std::nullopt,
                        bool use_color = false)
      : fd_(::memfd_create("pretty", 0)), location_(fd_, std::move(colors), use_color) {}
  ~MemoryOutput() { ::close(fd_); }
  MemoryOutput(const MemoryOutput&) = delete;
  MemoryOutput& operator=(const MemoryOutput&) = delete;

  runner::OutputLocation& location() { return location_; }
  std::string text() const {
    std::string out;
    char buf[4096];
    for (off_t pos = 0;;) {
      const ssize_t n = ::pread(fd_, buf, sizeof buf, pos);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
      pos += n;
    }
    return out;
  }

 private:
  int fd_;
  runner::OutputLocation location_;
};

runner::TestDesc named(std::string_view name) {
  runner::TestDesc d;
  d.name = name;
  d.test_type = runner::TestType::IntegrationTest;
  return d;
}

runner::TerminalColors fake_colors() { return runner::TerminalColors{"<R>", "<G>", "<Y>", "</>"}; }

// A pretty formatter writing to a memory file, coloured with fake_colors().
struct PrettyOnMemory {
  explicit PrettyOnMemory(const runner::FormatterConfig& config = {}, bool use_color = true)
      : out(fake_colors(), use_color), f(out.location(), config) {}

  // The result line of `desc`, for a check that printed nothing.
  std::error_code result(const runner::TestDesc& desc, const runner::TestResult& result,
                         std::optional<runner::ExecTime> time = std::nullopt) {
    return f.write_result(desc, result, time, "", state);
  }

  MemoryOutput out;
  runner::PrettyFormatter f;
  runner::ConsoleTestState state;
};

TEST(ReportSections, SectionListsOutputBlocksThenSortedNames) {
  const runner::ReportList list = {
      {named("zeta"), "z out\n"},
      {named("alpha"), ""},
      {named("Beta"), std::string("bad \xff byte")},
  };
  EXPECT_EQ(runner::section_text("failures", list),
            "\nfailures:\n\n"
            "---- zeta stdout ----\nz out\n\n"
            "---- Beta stdout ----\nbad \xef\xbf\xbd byte\n"
            "\nfailures:\n    Beta\n    alpha\n    zeta\n");
  // Without any output only the two headers and the names remain.
  EXPECT_EQ(runner::section_text("successes", {{named("b"), ""}, {named("a"), ""}}),
            "\nsuccesses:\n\nsuccesses:\n    a\n    b\n");
}

TEST(ReportSections, SummaryLineWithColouredVerdict) {
  MemoryOutput out(fake_colors(), true);
  runner::ConsoleTestState state;
  state.passed = 3;
  state.failed = 1;
  state.ignored = 2;
  state.filtered_out = 4;
  state.exec_time = std::chrono::milliseconds(1234);
  ASSERT_FALSE(runner::write_summary(out.location(), state));
  state.failed = 0;
  state.exec_time = std::chrono::milliseconds(5);
  ASSERT_FALSE(runner::write_summary(out.location(), state));
  EXPECT_EQ(out.text(),
            "\ntest result: <R>FAILED</>. 3 passed; 1 failed; 2 ignored; 0 measured; 4 filtered "
            "out; finished in 1.23s\n\n"
            "\ntest result: <G>ok</>. 3 passed; 0 failed; 2 ignored; 0 measured; 4 filtered out; "
            "finished in 0.01s\n\n");
}

TEST(PrettyFormatter, RunStartCountsAndSeed) {
  MemoryOutput out;
  runner::PrettyFormatter f(out.location(), {});
  ASSERT_FALSE(f.write_run_start(1, std::nullopt));
  ASSERT_FALSE(f.write_run_start(0, std::nullopt));
  ASSERT_FALSE(f.write_run_start(4, 18446744073709551615u));
  EXPECT_EQ(out.text(),
            "\nrunning 1 test\n\nrunning 0 tests\n"
            "\nrunning 4 tests (shuffle seed: 18446744073709551615)\n");
}

TEST(PrettyFormatter, SingleThreadPrintsNameBeforeTheResult) {
  PrettyOnMemory p;
  runner::TestDesc must_fail = named("mf");
  must_fail.should_panic = runner::ShouldPanic::Yes;
  runner::TestDesc ignored = named("ig");
  ignored.ignore = true;
  ignored.should_panic = runner::ShouldPanic::Yes;  // mode words are left out for ignored checks
  ignored.ignore_message = "later";

  ASSERT_FALSE(p.f.write_test_start(named("a")));
  EXPECT_EQ(p.out.text(), "test a ... ");  // before the check runs
  ASSERT_FALSE(p.result(named("a"), runner::TestResult::ok()));
  ASSERT_FALSE(p.f.write_test_start(must_fail));
  ASSERT_FALSE(p.result(must_fail, runner::TestResult::failed_msg("m")));
  ASSERT_FALSE(p.f.write_test_start(ignored));
  ASSERT_FALSE(p.result(ignored, runner::TestResult::ignored()));
  ASSERT_FALSE(p.f.write_timeout(named("slow")));
  EXPECT_EQ(p.out.text(),
            "test a ... <G>ok</>\n"
            "test mf - should panic ... <R>FAILED</>\n"
            "test ig ... <Y>ignored, later</>\n"
            "test slow has been running for over 60 seconds\n");
}

TEST(PrettyFormatter, ManyThreadsPrintNameWithResultAndTimesByThreshold) {
  runner::FormatterConfig config;
  config.is_multithreaded = true;
  config.time_options = runner::TestTimeOptions{};  // integration: warn 500 ms, critical 1000 ms
  PrettyOnMemory p(config);
  using std::chrono::milliseconds;

  ASSERT_FALSE(p.f.write_test_start(named("quiet")));
  EXPECT_EQ(p.out.text(), "");
  ASSERT_FALSE(p.result(named("fast"), runner::TestResult::ok(), milliseconds(12)));
  ASSERT_FALSE(p.result(named("warm"), runner::TestResult::ok(), milliseconds(500)));
  ASSERT_FALSE(p.result(named("hot"), runner::TestResult::timed_fail(), milliseconds(1500)));
  ASSERT_FALSE(p.result(named("untimed"), runner::TestResult::failed()));
  EXPECT_EQ(p.out.text(),
            "test fast ... <G>ok</> <0.012s>\n"
            "test warm ... <G>ok</><Y> <0.500s></>\n"
            "test hot ... <R>FAILED (time limit exceeded)</><R> <1.500s></>\n"
            "test untimed ... <R>FAILED</>\n");
}

TEST(PrettyFormatter, PlainOutputHasNoControlStrings) {
  PrettyOnMemory p({}, false);
  ASSERT_FALSE(p.result(named("a"), runner::TestResult::ok()));
  EXPECT_EQ(p.out.text(), "ok\n");
}

TEST(PrettyFormatter, RunFinishPrintsSectionsByCounts) {
  MemoryOutput out;
  runner::FormatterConfig config;
  config.display_output = true;
  runner::PrettyFormatter f(out.location(), config);
  runner::ConsoleTestState state;
  state.passed = 1;
  state.failed = 2;
  state.not_failures = {{named("good"), "shown\n"}};
  state.failures = {{named("bad"), "why\n"}};
  state.time_failures = {{named("slow"), ""}};
  bool success = true;
  ASSERT_FALSE(f.write_run_finish(state, success));
  EXPECT_FALSE(success);
  EXPECT_EQ(out.text(),
            "\nsuccesses:\n\n---- good stdout ----\nshown\n\n\nsuccesses:\n    good\n"
            "\nfailures:\n\n---- bad stdout ----\nwhy\n\n\nfailures:\n    bad\n"
            "\nfailures (time limit exceeded):\n\nfailures (time limit exceeded):\n    slow\n"
            "\ntest result: FAILED. 1 passed; 2 failed; 0 ignored; 0 measured; 0 filtered out; "
            "finished in 0.00s\n\n");
}

TEST(PrettyFormatter, ListingCountsWithSingularAndPlural) {
  {
    MemoryOutput out;
    runner::PrettyFormatter f(out.location(), {});
    runner::ConsoleTestState state;
    ASSERT_FALSE(f.write_discovery_start());
    ASSERT_FALSE(f.write_test_discovered(named("only"), "test"));
    ASSERT_FALSE(f.write_discovery_finish(state));
    EXPECT_EQ(out.text(), "only: test\n\n1 test, 0 benchmarks\n");
  }
  {
    MemoryOutput out;
    runner::PrettyFormatter f(out.location(), {});
    runner::ConsoleTestState state;
    ASSERT_FALSE(f.write_discovery_start());
    ASSERT_FALSE(f.write_discovery_finish(state));
    EXPECT_EQ(out.text(), "0 tests, 0 benchmarks\n");  // no empty line when nothing was listed
  }
}

TEST(PrettyFormatter, WriteErrorsAreReturned) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);  // no reader: writes fail with EPIPE (SIGPIPE is ignored below)
  auto previous = std::signal(SIGPIPE, SIG_IGN);
  runner::OutputLocation location(fds[1], std::nullopt, false);
  runner::PrettyFormatter f(location, {});
  const std::error_code ec = f.write_run_start(1, std::nullopt);
  std::signal(SIGPIPE, previous);
  ::close(fds[1]);
  EXPECT_EQ(ec, std::error_code(EPIPE, std::system_category()));
}

}  // namespace
