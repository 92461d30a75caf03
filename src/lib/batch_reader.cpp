// read_batch: the selection sorted by offset and cut into segments of about
// one window of the archive each. A worker gathers the files of a segment
// with a few large scatter reads (SegmentReader; every result is exactly what
// get_file would give) and decodes the compressed ones. The calling thread
// hands the finished segments to the callback in order; workers stay at most
// a few segments ahead of it, which bounds the memory.
#include "quorvane_dat/lib/batch_reader.hpp"

#include <sched.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/detail/corruption.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/lib/detail/library_boundary.hpp"
#include "quorvane_dat/lib/detail/segment_reader.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"

namespace quorvane_dat {

// The handle's open file, for the batch reader alone.
class BatchAccess {
 public:
  static const detail::ArchiveSource& file(const DatDatabase& database) noexcept { return *database.source_; }
};

namespace {

constexpr std::size_t MIN_WINDOW = std::size_t{1} << 20;
// Segments a worker may finish ahead of the one being handed over, per worker.
constexpr std::size_t SEGMENTS_AHEAD_PER_WORKER = 2;

struct FileResult {
  std::span<const std::uint8_t> bytes;  // into the segment's arenas or `decoded`
  std::vector<std::uint8_t> decoded;
  std::vector<std::uint32_t> blocks;
  std::uint64_t declared_size = 0;
  std::optional<DatError> error;
};

// Consecutive files of the sorted selection whose chains, if contiguous, lie
// within one window of the archive and whose bytes fill at most one window;
// a file larger than that has a segment of its own.
struct Segment {
  std::size_t first = 0;  // positions in the sorted selection
  std::size_t last = 0;
  std::uint64_t arena_bytes = 0;   // stored bytes of the files handed over undecoded
  std::uint64_t stored_bytes = 0;  // stored bytes of the files to decode
  std::uint64_t discarded_bytes = 0;  // the largest file read but not handed over
  std::vector<FileResult> results;
  std::unique_ptr<std::uint8_t[]> arena;
  bool out_of_memory = false;
  bool done = false;
};

class Batch {
 public:
  Batch(const DatDatabase& database, std::vector<DatFileEntry> files, const BatchOptions& options)
      : database_(database),
        files_(std::move(files)),
        options_(options),
        window_(std::max(options.window_bytes, MIN_WINDOW)) {
    std::stable_sort(files_.begin(), files_.end(),
                     [](const DatFileEntry& a, const DatFileEntry& b) { return a.offset < b.offset; });
    cut_segments();
  }

  DatResult<void> run(const BatchCallback& callback, unsigned threads) {
    if (threads <= 1 || segments_.size() <= 1) return run_inline(callback);
    return run_parallel(callback, std::min<std::size_t>(threads, segments_.size()));
  }

 private:
  bool decoded(const DatFileEntry& entry) const noexcept {
    return options_.decode && entry.is_compressed();
  }
  // Whether the file's bytes are handed over (decoded or as stored).
  bool kept(const DatFileEntry& entry) const noexcept {
    return options_.deliver_stored || entry.is_compressed();
  }

  // Where the chain of `entry` would end if its blocks lay one after another.
  std::uint64_t chain_end(const DatFileEntry& entry) const noexcept {
    const std::uint64_t block_size = database_.header().block_size;
    if (block_size <= BLOCK_POINTER_SIZE) return std::uint64_t{entry.offset} + entry.size;
    const std::uint64_t payload = block_size - BLOCK_POINTER_SIZE;
    const std::uint64_t blocks = std::max<std::uint64_t>(1, (entry.size + payload - 1) / payload);
    return entry.offset + blocks * block_size;
  }

  void cut_segments() {
    std::size_t first = 0;
    while (first < files_.size()) {
      Segment segment;
      segment.first = first;
      const std::uint64_t start = files_[first].offset;
      std::uint64_t bytes = 0;
      std::size_t last = first;
      while (last < files_.size()) {
        const DatFileEntry& entry = files_[last];
        const std::uint64_t span = chain_end(entry) - start;
        if (last > first && (span > window_ || bytes + entry.size > window_)) break;
        bytes += entry.size;
        if (entry.size <= database_.archive_length()) {
          if (decoded(entry)) {
            segment.stored_bytes += entry.size;
          } else if (kept(entry)) {
            segment.arena_bytes += entry.size;
          } else {
            segment.discarded_bytes = std::max<std::uint64_t>(segment.discarded_bytes, entry.size);
          }
        }
        ++last;
      }
      segment.last = last;
      segments_.push_back(std::move(segment));
      first = last;
    }
  }

  // What a worker keeps from one segment to the next.
  struct Worker {
    explicit Worker(const Batch& batch)
        : reader(BatchAccess::file(batch.database_), batch.database_.header().block_size) {}
    detail::SegmentReader reader;
    std::vector<detail::GatherTarget> targets;
    std::unique_ptr<std::uint8_t[]> stored;  // the compressed files' stored bytes
    std::uint64_t stored_capacity = 0;
    std::unique_ptr<std::uint8_t[]> discard;  // where files not handed over are read to
    std::uint64_t discard_capacity = 0;
  };

  // Reads and decodes the files of `segment`; when even its bookkeeping
  // cannot be allocated, every file of it is handed over as out of memory.
  void process(Segment& segment, Worker& worker) noexcept {
    try {
      gather(segment, worker);
    } catch (const std::bad_alloc&) {
      segment.results.clear();
      segment.arena.reset();
      segment.out_of_memory = true;
      return;
    }
    for (std::size_t i = segment.first; i < segment.last; ++i) {
      FileResult& result = segment.results[i - segment.first];
      if (result.error || !decoded(files_[i])) continue;
      try {
        decompress_lrs_into(result.bytes, result.decoded);
        result.bytes = result.decoded;
      } catch (const std::bad_alloc&) {
        result = FileResult{};
        result.error = detail::out_of_memory();
      } catch (const std::length_error&) {
        result = FileResult{};
        result.error = detail::out_of_memory();
      }
    }
  }

  // Gathers the stored bytes of the segment's files: those handed over as
  // stored into the segment's arena, those to decode into the worker's.
  void gather(Segment& segment, Worker& worker) {
    segment.results.resize(segment.last - segment.first);
    segment.arena = std::make_unique_for_overwrite<std::uint8_t[]>(segment.arena_bytes);
    if (segment.stored_bytes > worker.stored_capacity) {
      worker.stored.reset();
      worker.stored = std::make_unique_for_overwrite<std::uint8_t[]>(segment.stored_bytes);
      worker.stored_capacity = segment.stored_bytes;
    }
    if (segment.discarded_bytes > worker.discard_capacity) {
      worker.discard.reset();
      worker.discard = std::make_unique_for_overwrite<std::uint8_t[]>(segment.discarded_bytes);
      worker.discard_capacity = segment.discarded_bytes;
    }
    worker.targets.clear();
    std::uint8_t* arena = segment.arena.get();
    std::uint8_t* stored = worker.stored.get();
    for (std::size_t i = segment.first; i < segment.last; ++i) {
      const DatFileEntry& entry = files_[i];
      FileResult& result = segment.results[i - segment.first];
      result.declared_size = entry.size;
      if (entry.size > database_.archive_length()) {
        result.error = detail::file_larger_than_archive(entry.id, entry.size,
                                                        database_.archive_length());
        continue;
      }
      // Files that are read only to be checked all share one scratch place.
      std::uint8_t* discard = worker.discard.get();
      std::uint8_t*& place = decoded(entry) ? stored : kept(entry) ? arena : discard;
      if (kept(entry)) result.bytes = {place, entry.size};
      worker.targets.push_back({&entry, {place, entry.size},
                                options_.collect_blocks ? &result.blocks : nullptr,
                                &result.error});
      if (kept(entry)) place += entry.size;
    }
    worker.reader.gather(worker.targets);
    for (std::size_t i = segment.first; i < segment.last; ++i) {
      const DatFileEntry& entry = files_[i];
      FileResult& result = segment.results[i - segment.first];
      if (result.error) {
        result.bytes = {};
      } else if (entry.is_compressed() && entry.size >= 4) {
        result.declared_size = quorvane_base::load_u32_le(result.bytes.data());
      }
    }
  }

  // Hands the files of a finished segment over; false when the callback stopped.
  bool hand_over(Segment& segment, const BatchCallback& callback) {
    bool go_on = true;
    for (std::size_t i = segment.first; i < segment.last && go_on; ++i) {
      BatchFile file;
      file.entry = &files_[i];
      if (segment.out_of_memory) {
        file.error = &out_of_memory_;
        go_on = callback(file);
        continue;
      }
      const FileResult& result = segment.results[i - segment.first];
      file.declared_size = result.declared_size;
      if (result.error) {
        file.error = &*result.error;
      } else {
        file.bytes = result.bytes;
        file.blocks = result.blocks;
      }
      go_on = callback(file);
    }
    segment.results = {};
    segment.arena.reset();
    return go_on;
  }

  DatResult<void> run_inline(const BatchCallback& callback) {
    Worker worker(*this);
    for (Segment& segment : segments_) {
      process(segment, worker);
      if (!hand_over(segment, callback)) break;
    }
    return {};
  }

  DatResult<void> run_parallel(const BatchCallback& callback, std::size_t workers) {
    const std::size_t ahead = workers * SEGMENTS_AHEAD_PER_WORKER;
    auto work = [&] {
      Worker worker(*this);
      for (;;) {
        std::size_t k = 0;
        {
          std::unique_lock lock(mutex_);
          work_ready_.wait(lock, [&] {
            return stop_ || next_ >= segments_.size() || next_ < handed_over_ + ahead;
          });
          if (stop_ || next_ >= segments_.size()) return;
          k = next_++;
        }
        process(segments_[k], worker);
        {
          std::lock_guard lock(mutex_);
          segments_[k].done = true;
        }
        segment_done_.notify_all();
      }
    };

    // Stops and joins the workers however the hand-over ends, also when the
    // callback throws.
    std::vector<std::thread> threads;
    threads.reserve(workers);
    struct Joiner {
      Batch& batch;
      std::vector<std::thread>& threads;
      ~Joiner() {
        {
          std::lock_guard lock(batch.mutex_);
          batch.stop_ = true;
        }
        batch.work_ready_.notify_all();
        for (std::thread& thread : threads) thread.join();
      }
    } joiner{*this, threads};
    std::optional<DatError> failure;
    try {
      for (std::size_t i = 0; i < workers; ++i) threads.emplace_back(work);
    } catch (const std::system_error& error) {
      failure = DatError(IoError::from_os(error.code().value()));
    }
    if (!failure) {
      for (Segment& segment : segments_) {
        {
          std::unique_lock lock(mutex_);
          segment_done_.wait(lock, [&] { return segment.done; });
        }
        const bool go_on = hand_over(segment, callback);
        {
          std::lock_guard lock(mutex_);
          ++handed_over_;
          if (!go_on) stop_ = true;
        }
        work_ready_.notify_all();
        if (!go_on) break;
      }
    }
    if (failure) return Err{std::move(*failure)};
    return {};
  }

  const DatDatabase& database_;
  const DatError out_of_memory_ = detail::out_of_memory();
  std::vector<DatFileEntry> files_;
  BatchOptions options_;
  std::size_t window_;
  std::vector<Segment> segments_;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable segment_done_;
  std::size_t next_ = 0;
  std::size_t handed_over_ = 0;
  bool stop_ = false;
};

unsigned available_processors() noexcept {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  const unsigned hinted = std::thread::hardware_concurrency();
  return hinted != 0 ? hinted : 1;
}

}  // namespace

DatResult<void> read_batch(const DatDatabase& database, std::span<const DatFileEntry> selection,
                           const BatchOptions& options, const BatchCallback& callback) {
  try {
    std::vector<DatFileEntry> files;
    if (selection.empty()) {
      files.reserve(database.files().size());
      for (const auto& [id, entry] : database.files()) files.push_back(entry);
    } else {
      files.assign(selection.begin(), selection.end());
    }
    Batch batch(database, std::move(files), options);
    return batch.run(callback, options.threads != 0 ? options.threads : available_processors());
  } catch (const std::bad_alloc&) {
    return Err{detail::out_of_memory()};
  } catch (const std::length_error&) {
    return Err{detail::out_of_memory()};
  }
}

}  // namespace quorvane_dat
