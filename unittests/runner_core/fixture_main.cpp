// A test-only program built on the runner: one check for each way a check can
// end, so that the runner's output can be compared end to end. Its source
// lines are looked up by the end-to-end tests; they find them by content.
#include <array>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "runner/check_failure.hpp"
#include "runner/output.hpp"
#include "runner/test_main.hpp"
#include "runner/test_types.hpp"

namespace {

constexpr std::string_view FIXTURE_PATH = "unittests/runner_core/fixture_main.cpp";

void assert_with_message() { runner::assert_equal(1, 2, "the numbers differ"); }

void assert_without_message() { runner::assert_equal(std::string("left"), std::string("right")); }

void fails_plain() { runner::fail("plain failure\nsecond line"); }

void not_run() { runner::fail("an ignored check must not run"); }

void must_fail_and_fails() { runner::fail("failing as expected"); }

void must_fail_but_passes() {}

void must_fail_with_text_matching() { runner::fail("the expected text is here"); }

void must_fail_with_text_non_text() { throw 42; }

void must_fail_with_text_other() { runner::fail("some \"other\" text"); }

void nested_passes() {}

void passes() {}

void prints_then_fails() {
  runner::println("printed before failing");
  runner::eprintln("to standard error before failing");
  runner::fail("failure after printing");
}

void prints_then_passes() { runner::println("hidden output of a passing check"); }

void spawned_thread_prints() {
  runner::println("from the check's thread");
  std::thread child = runner::spawn_inheriting_capture([] {
    runner::println("from the spawned thread");
    runner::fail("failure in the spawned thread");
  });
  child.join();
  runner::fail("the check fails after its thread");
}

void throws_exception() { throw std::runtime_error("exception escaped the check"); }

// A failure that cannot be caught: raised through a noexcept boundary.
void raise_through_noexcept() noexcept { runner::fail("uncatchable failure"); }
void aborts_the_process() {
  runner::println("printed before the abort");
  raise_through_noexcept();
}

constexpr runner::TestDescAndFn entry(std::string_view name, runner::TestFn fn,
                                      runner::ShouldPanic should_panic = runner::ShouldPanic::No,
                                      std::string_view expected = {}) {
  runner::TestDesc desc;
  desc.name = name;
  desc.should_panic = should_panic;
  desc.expected_message = expected;
  desc.source_path = FIXTURE_PATH;
  desc.test_type = runner::TestType::IntegrationTest;
  return {desc, fn};
}

constexpr runner::TestDescAndFn ignored(std::string_view name, std::optional<std::string_view> message) {
  runner::TestDescAndFn e = entry(name, &not_run);
  e.desc.ignore = true;
  e.desc.ignore_message = message;
  return e;
}

constexpr runner::TestDescAndFn located(runner::TestDescAndFn e, std::size_t line, std::size_t col) {
  e.desc.start_line = line;
  e.desc.start_col = col;
  e.desc.end_line = line;
  e.desc.end_col = col + e.desc.name.size();
  return e;
}

using runner::ShouldPanic;

// Ascending byte order of name.
constexpr std::array REGISTRY{
    entry("assert_with_message", &assert_with_message),
    entry("assert_without_message", &assert_without_message),
    entry("fails_plain", &fails_plain),
    ignored("ignored_plain", std::nullopt),
    ignored("ignored_with_message", "not today"),
    entry("must_fail_and_fails", &must_fail_and_fails, ShouldPanic::Yes),
    located(entry("must_fail_but_passes", &must_fail_but_passes, ShouldPanic::Yes), 29, 6),
    entry("must_fail_with_text_matching", &must_fail_with_text_matching, ShouldPanic::YesWithMessage,
          "expected text"),
    entry("must_fail_with_text_non_text", &must_fail_with_text_non_text, ShouldPanic::YesWithMessage,
          "expected text"),
    entry("must_fail_with_text_other", &must_fail_with_text_other, ShouldPanic::YesWithMessage,
          "expected text"),
    entry("nested::module::passes", &nested_passes),
    entry("passes", &passes),
    entry("prints_then_fails", &prints_then_fails),
    entry("prints_then_passes", &prints_then_passes),
    entry("spawned_thread_prints", &spawned_thread_prints),
    entry("throws_exception", &throws_exception),
};

// Run instead of REGISTRY when RUNNER_FIXTURE_ABORT is set.
constexpr std::array ABORT_REGISTRY{entry("aborts_the_process", &aborts_the_process)};

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("RUNNER_FIXTURE_ABORT") != nullptr) {
    runner::test_main_static(argc, argv, ABORT_REGISTRY);
    return 0;
  }
  runner::test_main_static(argc, argv, REGISTRY);
  return 0;
}
