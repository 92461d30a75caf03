// A test-only program with its own registry of checks, for the output format
// tests: passing, failing and ignored checks whose names, messages and output
// hold markup, quotes, control characters and colour sequences.
#include <array>
#include <chrono>
#include <span>
#include <string_view>
#include <thread>

#include "runner/check_failure.hpp"
#include "runner/output.hpp"
#include "runner/test_main.hpp"

namespace {

constexpr std::string_view kFile = "unittests/runner_formats/fixture_main.cpp";

void a_passes() { runner::println("hello from a passing check"); }

void fails_with_markup() {
  runner::print("\x1b[31mred\x1b[0m plain ]]> <?pi & \"quoted\" bell\x07 nul");
  runner::print(std::string_view("\0", 1));
  runner::println(" tab\tend");
  runner::println("second line \xFF bad byte");
  runner::fail("boom <&> \"q\"");
}

void fails_silently() { runner::fail("no output"); }

void ignored_with_message() {}

void unit_kind() {}

void unknown_kind() {}

void wrong_panic_message() { runner::fail("actual <failure> & \"text\""); }

void slow_doc() { std::this_thread::sleep_for(std::chrono::milliseconds(60)); }

constexpr runner::TestDescAndFn entry(std::string_view name, runner::TestFn fn, std::size_t line,
                                      runner::TestType type = runner::TestType::IntegrationTest) {
  return {runner::TestDesc{
              .name = name,
              .ignore = false,
              .ignore_message = std::nullopt,
              .should_panic = runner::ShouldPanic::No,
              .expected_message = {},
              .source_path = kFile,
              .start_line = line,
              .start_col = 6,
              .end_line = line,
              .end_col = 6 + name.size(),
              .test_type = type,
          },
          fn};
}

constexpr runner::TestDescAndFn ignored_entry() {
  auto e = entry("fixture::ignored_with_message", &ignored_with_message, 30);
  e.desc.ignore = true;
  e.desc.ignore_message = "needs \"quotes\" <tags> & \x01 ctrl";
  return e;
}

constexpr runner::TestDescAndFn panic_entry() {
  auto e = entry("fixture::wrong_panic_message", &wrong_panic_message, 36);
  e.desc.should_panic = runner::ShouldPanic::YesWithMessage;
  e.desc.expected_message = "wanted <&> \"x\"";
  return e;
}

// Ascending byte order of name.
constexpr std::array kRegistry{
    entry("fixture::a_passes", &a_passes, 18),
    entry("fixture::fails_silently", &fails_silently, 28),
    entry("fixture::fails_with_markup", &fails_with_markup, 20),
    ignored_entry(),
    entry("fixture::module::unit_kind", &unit_kind, 32, runner::TestType::UnitTest),
    entry("fixture::slow_doc", &slow_doc, 38, runner::TestType::DocTest),
    entry("fixture::unknown_kind", &unknown_kind, 34, runner::TestType::Unknown),
    panic_entry(),
};

}  // namespace

int main(int argc, char** argv) {
  runner::test_main_static(argc, argv, kRegistry);
  return 0;
}
