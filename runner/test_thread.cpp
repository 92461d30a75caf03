#include "runner/test_thread.hpp"

#include <cxxabi.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <string>
#include <system_error>
#include <typeinfo>

#include "runner/check_failure.hpp"
#include "runner/io_error_text.hpp"
#include "runner/output.hpp"
#include "runner/result_policy.hpp"

namespace runner {
namespace {

// Readable name of the type of the exception being handled.
std::string current_exception_type_name() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (type == nullptr) return "unknown";
  int status = 0;
  char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled != nullptr) ? demangled : type->name();
  std::free(demangled);
  return name;
}

// Calls the check function; returns what it raised, if anything. Exceptions
// other than check failures are failures too: their report is written here,
// since no failure hook saw them.
std::optional<Panic> call_check(TestFn fn) {
  try {
    fn();
    return std::nullopt;
  } catch (const CheckFailure& failure) {
    return Panic{failure.message, {}};
  } catch (abi::__forced_unwind&) {
    throw;  // thread cancellation must keep unwinding
  } catch (const std::exception& error) {
    std::string type = current_exception_type_name();
    write_failure_report_unlocated("an exception of type `" + type + "`", error.what());
    return Panic{std::string(error.what()), std::move(type)};
  } catch (...) {
    std::string type = current_exception_type_name();
    write_failure_report_unlocated("an exception of type `" + type + "`",
                                   "the exception carries no message");
    return Panic{std::nullopt, std::move(type)};
  }
}

}  // namespace

CompletedTest run_test_inline(const TestDescAndFn& test, std::size_t id, const RunSettings& settings) {
  std::shared_ptr<CaptureBuffer> buffer;
  if (settings.capture) {
    buffer = std::make_shared<CaptureBuffer>();
    set_current_capture(buffer);
  }
  std::optional<CompletionChannel::Clock::time_point> start;
  if (settings.time_options) start = CompletionChannel::Clock::now();
  std::optional<Panic> panic = call_check(test.fn);
  std::optional<ExecTime> exec_time;
  if (start) exec_time = ExecTime(CompletionChannel::Clock::now() - *start);
  if (settings.capture) set_current_capture(nullptr);

  CompletedTest record;
  record.id = id;
  record.desc = test.desc;
  record.result = calc_result(test.desc, panic, settings.time_options, exec_time);
  record.exec_time = exec_time;
  if (buffer) record.stdout_bytes = buffer->contents();
  return record;
}

std::optional<std::thread> run_test(const TestDescAndFn& test, std::size_t id,
                                    const RunSettings& settings,
                                    std::shared_ptr<CompletionChannel> channel) {
  if (test.desc.ignore || settings.benchmarks_only) {
    CompletedTest record;
    record.id = id;
    record.desc = test.desc;
    record.result = TestResult::ignored();
    channel->send(std::move(record));
    return std::nullopt;
  }
  try {
    return std::thread([test, id, settings, channel] {
      set_current_thread_name(test.desc.name);
      channel->send(run_test_inline(test, id, settings));
    });
  } catch (const std::system_error& error) {
    if (error.code() != std::errc::resource_unavailable_try_again) {
      fail("failed to spawn thread to run test: " + os_error_display(error.code().value()));
    }
  }
  // The system's thread limit is reached: run the check here instead.
  channel->send(run_test_inline(test, id, settings));
  return std::nullopt;
}

}  // namespace runner
