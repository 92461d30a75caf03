// The writer threads of extract and their bounded queue.
#include "tools/portal_dat/writer_pool.hpp"

#include <pthread.h>
#include <signal.h>

#include <new>
#include <system_error>
#include <utility>

namespace portal_dat {

namespace {

// A batch is handed over once it holds this many files or bytes: few enough
// hand-overs that the threads rarely wait on one another, small enough that
// every thread has work.
constexpr std::size_t BATCH_FILES = 32;
constexpr std::size_t BATCH_BYTES = std::size_t{1} << 20;

}  // namespace

WriterPool::WriterPool(unsigned threads, std::size_t max_bytes, Handler handler)
    : handler_(std::move(handler)), max_bytes_(max_bytes) {
  if (threads < 2) return;
  // The threads take no signals: an interruption reaches the reading thread,
  // which stops the run, and no write of a writer is cut short by it.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  const bool masked = ::pthread_sigmask(SIG_BLOCK, &all, &previous) == 0;
  try {
    threads_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
  } catch (const std::system_error&) {
    // Fewer threads, or none: the caller writes.
  } catch (const std::bad_alloc&) {
  }
  if (masked) ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void WriterPool::add(WriteJob job) {
  if (threads_.empty()) {
    handler_(job);
    return;
  }
  gathering_.bytes += job.bytes.size();
  gathering_.jobs.push_back(std::move(job));
  if (gathering_.jobs.size() >= BATCH_FILES || gathering_.bytes >= BATCH_BYTES) submit();
}

void WriterPool::submit() {
  if (gathering_.jobs.empty()) return;
  std::unique_lock lock(mutex_);
  producer_waiting_ = true;
  room_ready_.wait(lock,
                   [&] { return held_bytes_ == 0 || held_bytes_ + gathering_.bytes <= max_bytes_; });
  producer_waiting_ = false;
  held_bytes_ += gathering_.bytes;
  queue_.push_back(std::move(gathering_));
  gathering_ = Batch{};
  const bool wake = idle_threads_ > 0;
  lock.unlock();
  if (wake) work_ready_.notify_one();
}

void WriterPool::work() {
  for (;;) {
    Batch batch;
    {
      std::unique_lock lock(mutex_);
      ++idle_threads_;
      work_ready_.wait(lock, [&] { return done_ || !queue_.empty(); });
      --idle_threads_;
      if (queue_.empty()) return;  // done, and nothing left to write
      batch = std::move(queue_.front());
      queue_.pop_front();
    }
    for (WriteJob& job : batch.jobs) handler_(job);
    const std::size_t bytes = batch.bytes;
    batch = Batch{};  // the copies released before room is made for more
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      held_bytes_ -= bytes;
      wake = producer_waiting_;
    }
    if (wake) room_ready_.notify_one();
  }
}

void WriterPool::finish() {
  if (threads_.empty()) return;
  submit();
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

}  // namespace portal_dat
