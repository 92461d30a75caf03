// Starting one check: on a thread of its own named after it, with a fresh
// capture buffer, its failure caught and turned into a completed record that
// is sent to the main thread.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <thread>

#include "runner/completion_channel.hpp"
#include "runner/test_types.hpp"
#include "runner/time_options.hpp"

namespace runner {

struct RunSettings {
  bool capture = true;                          // install a capture buffer for the check
  bool benchmarks_only = false;                 // every check is reported ignored
  std::optional<TestTimeOptions> time_options;  // measure execution times
};

// Starts `test` as check number `id`. Returns the thread running it, or
// nothing when the record was produced at once (an ignored check) or the check
// ran on the calling thread because the system's thread limit was reached.
// Any other refusal to start a thread raises "failed to spawn thread to run
// test: ..." on the calling thread.
std::optional<std::thread> run_test(const TestDescAndFn& test, std::size_t id,
                                    const RunSettings& settings,
                                    std::shared_ptr<CompletionChannel> channel);

// Runs `test` on the calling thread and returns its completed record; the
// body of a check's thread.
CompletedTest run_test_inline(const TestDescAndFn& test, std::size_t id, const RunSettings& settings);

}  // namespace runner
