#include "runner/console.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "quorvane_base/available_parallelism.hpp"
#include "runner/check_failure.hpp"
#include "runner/cli.hpp"
#include "runner/completion_channel.hpp"
#include "runner/console_state.hpp"
#include "runner/formatters.hpp"
#include "runner/report_sections.hpp"
#include "runner/selection.hpp"
#include "runner/shuffle.hpp"
#include "runner/test_thread.hpp"

namespace runner {
namespace {

using Clock = CompletionChannel::Clock;

std::string log_line(const CompletedTest& done) {
  std::string line;
  switch (done.result.kind) {
    case TestResultKind::Ok: line = "ok"; break;
    case TestResultKind::Failed: line = "failed"; break;
    case TestResultKind::FailedMsg: line = "failed: " + done.result.message; break;
    case TestResultKind::Ignored:
      line = "ignored";
      if (done.desc.ignore_message) {
        line += ": ";
        line += *done.desc.ignore_message;
      }
      break;
    case TestResultKind::TimedFail: line = "failed (time limit exceeded)"; break;
  }
  line.push_back(' ');
  line += done.desc.name;
  if (done.exec_time) {
    line += " <";
    line += format_seconds(done.exec_time->count(), 3);
    line.push_back('>');
  }
  line.push_back('\n');
  return line;
}

// The counter and the report list of the end-of-run sections that a result
// of `kind` goes to.
struct Tally {
  std::size_t& count;
  std::vector<std::pair<TestDesc, std::string>>& list;
};

Tally tally_for(ConsoleTestState& state, TestResultKind kind) {
  switch (kind) {
    case TestResultKind::Ok: return {state.passed, state.not_failures};
    case TestResultKind::Ignored: return {state.ignored, state.ignores};
    case TestResultKind::Failed:
    case TestResultKind::FailedMsg: return {state.failed, state.failures};
    case TestResultKind::TimedFail: break;
  }
  return {state.failed, state.time_failures};
}

// Writes the log line and the result line of a completed check and counts it.
std::error_code record_completed(CompletedTest done, ConsoleTestState& state,
                                 OutputFormatter& formatter) {
  if (auto ec = state.write_log(log_line(done))) return ec;
  if (auto ec =
          formatter.write_result(done.desc, done.result, done.exec_time, done.stdout_bytes, state)) {
    return ec;
  }
  if (done.result.kind == TestResultKind::FailedMsg) {
    // The failures section shows the message after the check's own output.
    done.stdout_bytes += "note: ";
    done.stdout_bytes += done.result.message;
  }
  const Tally tally = tally_for(state, done.result.kind);
  ++tally.count;
  tally.list.emplace_back(done.desc, std::move(done.stdout_bytes));
  return {};
}

struct RunContext {
  const TestOpts& opts;
  RunSettings settings;
  std::shared_ptr<CompletionChannel> channel;
  ConsoleTestState& state;
  OutputFormatter& formatter;
};

std::error_code run_sequential(RunContext& ctx, const std::vector<TestDescAndFn>& tests) {
  for (std::size_t id = 0; id < tests.size(); ++id) {
    if (auto ec = ctx.formatter.write_test_start(tests[id].desc)) return ec;
    std::optional<std::thread> thread = run_test(tests[id], id, ctx.settings, ctx.channel);
    CompletedTest done = ctx.channel->recv();
    if (thread) thread->join();
    const bool failed = done.result.is_failure();
    if (auto ec = record_completed(std::move(done), ctx.state, ctx.formatter)) return ec;
    if (failed && ctx.opts.fail_fast) break;
  }
  return {};
}

struct RunningTest {
  TestDesc desc;
  std::optional<std::thread> thread;
  std::optional<Clock::time_point> warn_at;  // cleared once the warning is written
};

// Lets the threads of abandoned checks go; the process ends right after the run.
void abandon(std::map<std::size_t, RunningTest>& running) {
  for (auto& [id, test] : running) {
    if (test.thread && test.thread->joinable()) test.thread->detach();
  }
  running.clear();
}

std::error_code run_parallel(RunContext& ctx, const std::vector<TestDescAndFn>& tests,
                             std::size_t concurrency) {
  std::map<std::size_t, RunningTest> running;
  std::size_t next = 0;
  while (next < tests.size() || !running.empty()) {
    while (running.size() < concurrency && next < tests.size()) {
      const std::size_t id = next++;
      if (auto ec = ctx.formatter.write_test_start(tests[id].desc)) {
        abandon(running);
        return ec;
      }
      const Clock::time_point warn_at = Clock::now() + TIMEOUT_WARNING;
      std::optional<std::thread> thread = run_test(tests[id], id, ctx.settings, ctx.channel);
      running.emplace(id, RunningTest{tests[id].desc, std::move(thread), warn_at});
    }

    std::optional<CompletedTest> done;
    while (!done) {
      std::optional<Clock::time_point> earliest;
      for (const auto& [id, test] : running) {
        if (test.warn_at && (!earliest || *test.warn_at < *earliest)) earliest = test.warn_at;
      }
      if (!earliest) {
        done = ctx.channel->recv();
        break;
      }
      done = ctx.channel->recv_until(*earliest);
      if (done) break;
      const Clock::time_point now = Clock::now();
      for (auto& [id, test] : running) {
        if (test.warn_at && *test.warn_at <= now) {
          test.warn_at.reset();
          if (auto ec = ctx.formatter.write_timeout(test.desc)) {
            abandon(running);
            return ec;
          }
        }
      }
    }

    auto it = running.find(done->id);
    if (it != running.end()) {
      if (it->second.thread) it->second.thread->join();
      running.erase(it);
    }
    const bool failed = done->result.is_failure();
    if (auto ec = record_completed(std::move(*done), ctx.state, ctx.formatter)) {
      abandon(running);
      return ec;
    }
    if (failed && ctx.opts.fail_fast) {
      abandon(running);
      break;
    }
  }
  return {};
}

}  // namespace

std::size_t get_concurrency() {
  if (const char* value = std::getenv("QUORVANE_TEST_THREADS")) {
    auto parsed = parse_u64(value);
    if (const auto* count = std::get_if<std::uint64_t>(&parsed);
        count != nullptr && *count >= 1 && *count <= SIZE_MAX) {
      return static_cast<std::size_t>(*count);
    }
    fail(std::string("QUORVANE_TEST_THREADS is `") + value + "`, should be a positive integer.");
  }
  return quorvane_base::available_parallelism().value_or(1);
}

std::error_code run_tests_console(const TestOpts& opts, std::vector<TestDescAndFn> tests,
                                  bool& success) {
  success = false;
  // Decided first: a bad thread-count variable stops the program before anything is printed.
  const std::size_t concurrency = opts.test_threads ? *opts.test_threads : get_concurrency();

  OutputLocation out = stdout_location(opts);
  FormatterConfig config;
  config.is_multithreaded = concurrency > 1;
  config.time_options = opts.time_options;
  config.display_output = opts.display_output;
  std::unique_ptr<OutputFormatter> formatter = make_formatter(opts.format, out, config);

  ConsoleTestState state;
  state.options = &opts;
  if (opts.logfile) {
    state.log_out.reset(std::fopen(opts.logfile->c_str(), "w"));
    if (!state.log_out) return {errno, std::system_category()};
  }

  const Clock::time_point start = Clock::now();
  const std::size_t registered = tests.size();
  std::vector<TestDescAndFn> selected = filter_tests(opts, std::move(tests));
  const std::optional<std::uint64_t> seed = get_shuffle_seed(opts);
  if (seed) shuffle_tests(*seed, selected);
  state.total = selected.size();
  state.filtered_out = registered - selected.size();
  if (auto ec = formatter->write_run_start(state.total, seed)) return ec;

  RunContext ctx{opts, RunSettings{!opts.nocapture, !opts.run_tests, opts.time_options},
                 std::make_shared<CompletionChannel>(), state, *formatter};
  const std::error_code ec =
      concurrency == 1 ? run_sequential(ctx, selected) : run_parallel(ctx, selected, concurrency);
  if (ec) return ec;
  state.exec_time = ExecTime(Clock::now() - start);
  return formatter->write_run_finish(state, success);
}

}  // namespace runner
