// A few threads that write extracted files while the archive is still being
// read: the caller hands over copies of files' bytes, gathered into small
// batches, and waits only while the bytes queued and being written reach a
// bound, so that memory stays within it whatever the archive holds.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace portal_dat {

// One file to write: its id as printed, its name, its bytes, and what is
// wrong with its content when it is written all the same (--salvage).
struct WriteJob {
  std::string id;
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::string problem;
};

class WriterPool {
 public:
  using Handler = std::function<void(WriteJob&)>;

  // Starts up to `threads` threads that run `handler` (which must be safe to
  // call from several threads at once) on every job added. With fewer
  // than 2 threads requested, or when no thread can start, there are none
  // and add() runs the handler itself. At most `max_bytes` of files' bytes
  // are queued or being written at once (a single larger file is let in
  // alone).
  WriterPool(unsigned threads, std::size_t max_bytes, Handler handler);
  ~WriterPool() { finish(); }
  WriterPool(const WriterPool&) = delete;
  WriterPool& operator=(const WriterPool&) = delete;

  bool threaded() const noexcept { return !threads_.empty(); }
  // Queues `job` (or writes it, without threads); may wait for room.
  void add(WriteJob job);
  // Writes every job added and stops the threads; nothing may be added
  // afterwards.
  void finish();

 private:
  struct Batch {
    std::vector<WriteJob> jobs;
    std::size_t bytes = 0;
  };
  // Hands the batch being gathered to the threads.
  void submit();
  void work();

  Handler handler_;
  std::size_t max_bytes_;
  std::vector<std::thread> threads_;
  Batch gathering_;  // the caller's only

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable room_ready_;
  std::deque<Batch> queue_;
  std::size_t held_bytes_ = 0;  // queued or being written
  bool producer_waiting_ = false;
  unsigned idle_threads_ = 0;
  bool done_ = false;
};

}  // namespace portal_dat
