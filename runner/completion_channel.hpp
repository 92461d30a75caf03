// The channel over which check threads send their completed records to the
// main thread: many senders, one receiver, receive with an optional deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "runner/test_types.hpp"

namespace runner {

class CompletionChannel {
 public:
  using Clock = std::chrono::steady_clock;

  void send(CompletedTest record) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(record));
    }
    ready_.notify_one();
  }

  // Waits for the next record.
  CompletedTest recv() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !queue_.empty(); });
    return pop_locked();
  }

  // Waits for the next record until `deadline`; nothing when it passed first.
  std::optional<CompletedTest> recv_until(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) return std::nullopt;
    return pop_locked();
  }

 private:
  CompletedTest pop_locked() {
    CompletedTest record = std::move(queue_.front());
    queue_.pop_front();
    return record;
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<CompletedTest> queue_;
};

}  // namespace runner
