#include "runner/test_main.hpp"

#include <malloc.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <variant>

#include "runner/check_failure.hpp"
#include "runner/cli.hpp"
#include "runner/console.hpp"
#include "runner/debug_repr.hpp"
#include "runner/escape.hpp"
#include "runner/fd_write.hpp"
#include "runner/io_error_text.hpp"
#include "runner/output.hpp"
#include "runner/selection.hpp"

namespace runner {
namespace {

// Ends the process at once. Threads of checks abandoned by fail-fast or by an
// output error may still run, so no static destructors are run under them.
[[noreturn]] void exit_process(int status) {
  std::fflush(nullptr);
  std::_Exit(status);
}

void write_stderr(std::string_view text) noexcept { (void)write_all_fd(2, text); }

[[noreturn]] void exit_with_io_error(std::error_code error) {
  write_stderr("error: io error when listing tests: " + io_error_debug(error) + "\n");
  exit_process(101);
}

void run_main(std::vector<std::string> args, std::vector<TestDescAndFn> tests) {
  OptsResult parsed = parse_opts(args);
  if (const auto* error = std::get_if<OptsError>(&parsed)) {
    write_stderr("error: " + error->message + "\n");
    exit_process(101);
  }
  if (std::holds_alternative<HelpShown>(parsed)) return;
  const TestOpts& opts = std::get<TestOpts>(parsed);

  if (opts.list) {
    if (auto ec = list_tests_console(opts, std::move(tests))) exit_with_io_error(ec);
    return;
  }
  if (!opts.nocapture) install_capture_terminate_handler();
  bool success = false;
  if (auto ec = run_tests_console(opts, std::move(tests), success)) exit_with_io_error(ec);
  if (!success) exit_process(101);
}

}  // namespace

void test_main(std::vector<std::string> args, std::vector<TestDescAndFn> tests) {
  try {
    run_main(std::move(args), std::move(tests));
  } catch (const CheckFailure&) {
    // A failure on the main thread: its report is already on standard error.
    exit_process(101);
  }
}

void test_main_static(int argc, char** argv, std::span<const TestDescAndFn> tests) {
  // Writing to a closed pipe must fail with an error rather than end the process.
  std::signal(SIGPIPE, SIG_IGN);
  // Every check runs on a thread of its own, and each thread that finds the
  // allocator's existing arenas busy would map a fresh one (a 64 MiB
  // reservation grown a page at a time): one shared arena is far cheaper for
  // short checks.
  ::mallopt(M_ARENA_MAX, 1);
  std::vector<std::string> args;
  try {
    for (int i = 0; i < argc; ++i) {
      std::string_view arg(argv[i]);
      if (utf8_lossy(arg) != arg) {
        fail("process argument " + std::to_string(i) + " is not valid UTF-8: " + debug_quote(arg));
      }
      args.emplace_back(arg);
    }
  } catch (const CheckFailure&) {
    exit_process(101);
  }
  test_main(std::move(args), std::vector<TestDescAndFn>(tests.begin(), tests.end()));
}

}  // namespace runner
