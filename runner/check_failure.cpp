#include "runner/check_failure.hpp"

#include <execinfo.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "runner/capture.hpp"
#include "runner/fd_write.hpp"

namespace runner {
namespace {

// Cleared by the first failure report of the process: only that one carries
// the backtrace note.
std::atomic<bool> g_first_report_done{false};

// Full name of the calling thread for reports; empty when not set.
thread_local std::string t_thread_name;
thread_local bool t_thread_named = false;

constexpr std::string_view BACKTRACE_NOTE =
    "note: run with `QUORVANE_BACKTRACE=1` environment variable to display a backtrace\n";

bool backtraces_enabled() {
  const char* value = std::getenv("QUORVANE_BACKTRACE");
  return value != nullptr && std::string_view(value) != "0";
}

std::string stack_backtrace() {
  void* frames[64];
  const int count = ::backtrace(frames, 64);
  std::string out = "stack backtrace:\n";
  std::unique_ptr<char*, decltype(&std::free)> symbols(::backtrace_symbols(frames, count), &std::free);
  for (int i = 0; i < count; ++i) {
    char index[16];
    std::snprintf(index, sizeof index, "%4d: ", i);
    out += index;
    if (symbols) {
      out += symbols.get()[i];
    } else {
      char addr[32];
      std::snprintf(addr, sizeof addr, "%p", frames[i]);
      out += addr;
    }
    out.push_back('\n');
  }
  return out;
}

// Writes all of `text` to fd 2; errors are ignored, there is nowhere left to report them.
void write_stderr(std::string_view text) noexcept { (void)write_all_fd(2, text); }

void emit_report(std::string header, std::string_view message) {
  std::string report = "\nthread '";
  report += current_thread_name();
  report += "' (";
  report += std::to_string(::gettid());
  report += ") ";
  report += header;
  report += ":\n";
  report += message;
  report.push_back('\n');
  const bool first = !g_first_report_done.exchange(true);
  if (backtraces_enabled()) {
    report += stack_backtrace();
  } else if (first) {
    report += BACKTRACE_NOTE;
  }
  if (auto capture = current_capture()) {
    capture->append(report);
  } else {
    write_stderr(report);
  }
}

}  // namespace

std::string assertion_message(std::string_view op, std::string_view left, std::string_view right,
                              const std::optional<std::string>& message) {
  std::string out = "assertion `left ";
  out += op;
  out += " right` failed";
  if (message) {
    out += ": ";
    out += *message;
  }
  out += "\n  left: ";
  out += left;
  out += "\n right: ";
  out += right;
  return out;
}

void write_failure_report(std::string_view message, const SourceLocation& loc) {
  std::string header = "panicked at ";
  header += loc.file;
  header.push_back(':');
  header += std::to_string(loc.line);
  header.push_back(':');
  header += std::to_string(loc.column);
  emit_report(std::move(header), message);
}

void write_failure_report_unlocated(std::string_view what, std::string_view message) {
  std::string header = "panicked with ";
  header += what;
  emit_report(std::move(header), message);
}

std::string current_thread_name() {
  if (t_thread_named) return t_thread_name;
  if (::gettid() == ::getpid()) return "main";
  return "<unnamed>";
}

void set_current_thread_name(std::string_view name) {
  t_thread_name.assign(name);
  t_thread_named = true;
  // The kernel keeps at most 15 bytes of a thread's name.
  std::string os_name(name.substr(0, 15));
  ::pthread_setname_np(::pthread_self(), os_name.c_str());
}

void clear_current_thread_name() noexcept {
  t_thread_name.clear();
  t_thread_named = false;
}

void fail(std::string message, SourceLocation loc) {
  write_failure_report(message, loc);
  throw CheckFailure{std::move(message)};
}

void fail_assertion(std::string_view op, std::string left, std::string right,
                    std::optional<std::string> message, SourceLocation loc) {
  fail(assertion_message(op, left, right, message), loc);
}

}  // namespace runner
