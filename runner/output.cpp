#include "runner/output.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>

#include "runner/check_failure.hpp"
#include "runner/fd_write.hpp"
#include "runner/io_error_text.hpp"

namespace runner {
namespace {

// One lock per standard stream, so that texts written by parallel threads with
// capture off do not interleave mid-write.
std::mutex g_stdout_mutex;
std::mutex g_stderr_mutex;

std::terminate_handler g_previous_terminate = nullptr;
std::once_flag g_terminate_once;

void print_to(int fd, std::mutex& mutex, std::string_view stream, std::string_view text) {
  if (auto capture = current_capture()) {
    capture->append(text);
    return;
  }
  int error = 0;
  {
    std::lock_guard lock(mutex);
    error = write_all_fd(fd, text);
  }
  if (error != 0) {
    std::string message = "failed printing to ";
    message += stream;
    message += ": ";
    message += os_error_display(error);
    fail(std::move(message));
  }
}

[[noreturn]] void terminate_with_captured_output() {
  // Held for good: the process is about to abort.
  g_stdout_mutex.lock();
  g_stderr_mutex.lock();
  std::fflush(stdout);
  if (const auto capture = current_capture()) {
    (void)write_all_fd(1, capture->contents());
  }
  std::fflush(stdout);
  if (g_previous_terminate != nullptr) g_previous_terminate();
  std::abort();
}

}  // namespace

void print(std::string_view text) { print_to(1, g_stdout_mutex, "stdout", text); }

void eprint(std::string_view text) { print_to(2, g_stderr_mutex, "stderr", text); }

void install_capture_terminate_handler() {
  std::call_once(g_terminate_once,
                 [] { g_previous_terminate = std::set_terminate(&terminate_with_captured_output); });
}

std::thread spawn_inheriting_capture(std::function<void()> body) {
  return std::thread([buffer = current_capture(), body = std::move(body)] {
    set_current_capture(buffer);
    try {
      body();
    } catch (const CheckFailure&) {
      // The report went to the shared buffer; the failure ends this thread only.
    }
    set_current_capture(nullptr);
  });
}

}  // namespace runner
