// Raising check failures. A failure writes its report through the failure
// hook (into the raising thread's capture buffer, or standard error) and then
// throws CheckFailure, which the runner catches at the check's thread entry.
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "runner/debug_repr.hpp"
#include "runner/source_location.hpp"

namespace runner {

// Thrown by `fail` and failed assertions after the report has been written.
// Checks must not catch it.
struct CheckFailure {
  std::string message;
};

// The three-line message of a failed equality assertion:
// "assertion `left OP right` failed[: MESSAGE]", "  left: L", " right: R".
std::string assertion_message(std::string_view op, std::string_view left, std::string_view right,
                              const std::optional<std::string>& message);

// Writes the failure report of `message` raised at `loc` on the calling
// thread, the way `fail` does, without throwing: into the thread's capture
// buffer when one is installed, else to standard error. The backtrace note
// follows the first report of the process only.
void write_failure_report(std::string_view message, const SourceLocation& loc);
// The same for a failure without a source location (an exception of another
// type that escaped a check); `what` names it, e.g. "an exception of type `X`".
void write_failure_report_unlocated(std::string_view what, std::string_view message);

// The name failure reports give the calling thread: the one set with
// set_current_thread_name, else "main" on the process's main thread, else
// "<unnamed>".
std::string current_thread_name();
// Names the calling thread for failure reports (the full name) and for the
// operating system (cut to its 15-byte limit).
void set_current_thread_name(std::string_view name);
// Forgets the name set with set_current_thread_name.
void clear_current_thread_name() noexcept;

// A plain failure with the check's message.
[[noreturn]] void fail(std::string message, SourceLocation loc = SourceLocation::current());

// Builds the three-line assertion message from the renderings and raises it.
[[noreturn]] void fail_assertion(std::string_view op, std::string left, std::string right,
                                 std::optional<std::string> message, SourceLocation loc);

// Equality assertion without a message of the check's own.
template <class L, class R>
void assert_equal(const L& left, const R& right, SourceLocation loc = SourceLocation::current()) {
  if (!(left == right)) fail_assertion("==", debug_repr(left), debug_repr(right), std::nullopt, loc);
}

// Equality assertion with a message: a text, or a callable producing the text,
// which is only called when the assertion fails.
template <class L, class R, class M>
requires(!std::same_as<std::remove_cvref_t<M>, SourceLocation>) void assert_equal(
    const L& left, const R& right, M&& message, SourceLocation loc = SourceLocation::current()) {
  if (left == right) return;
  std::string text;
  if constexpr (std::is_invocable_v<M>) {
    text = std::string(message());
  } else {
    text = std::string(message);
  }
  fail_assertion("==", debug_repr(left), debug_repr(right), std::move(text), loc);
}

}  // namespace runner
