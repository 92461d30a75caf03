// read_batch: the selection sorted by offset and cut into segments of about
// one window of the archive each. A worker reads a segment's window with one
// call, gathers every file of the segment through its block chain from that
// window (reads the window does not hold go to the file itself, so every
// result is exactly what get_file would give), and decodes it. The calling
// thread hands the finished segments to the callback in order; workers stay
// at most a few segments ahead of it, which bounds the memory.
#include "quorvane_dat/lib/batch_reader.hpp"

#include <sched.h>
#include <sys/uio.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/chain_reader.hpp"
#include "quorvane_dat/lib/corruption.hpp"
#include "quorvane_dat/lib/library_boundary.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"
#include "quorvane_dat/utils/positioned_read.hpp"

namespace quorvane_dat {

// The handle's open file, for the batch reader alone.
class BatchAccess {
 public:
  static const ArchiveSource& file(const DatDatabase& database) noexcept { return *database.source_; }
};

namespace {

constexpr std::size_t MIN_WINDOW = std::size_t{1} << 20;
// Segments a worker may finish ahead of the one being handed over, per worker.
constexpr std::size_t SEGMENTS_AHEAD_PER_WORKER = 2;

// Positioned reads answered from one window of the archive when it holds the
// whole request. A request that runs past the window but starts in it or just
// beyond moves the window there; anything else (behind the window, too large
// for it, past where the file ended) is read from the file itself, so short
// reads and errors come from the very read that was asked for.
class WindowSource {
 public:
  WindowSource(const ArchiveSource& file, std::size_t capacity) : file_(file), capacity_(capacity) {}

  void fill(std::uint64_t start) {
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity_);
    start_ = start;
    length_ = 0;
    const std::array<::iovec, 1> part{{{buffer_.get(), capacity_}}};
    if (auto got = file_.read_vectored_at(part, start)) length_ = *got;
  }

  Result<void, IoError> read_exact_at_compat(std::span<std::uint8_t> buf, std::uint64_t offset) {
    if (!cover(offset, buf.size())) return file_.read_exact_at_compat(buf, offset);
    if (!buf.empty()) std::memcpy(buf.data(), at(offset), buf.size());
    return {};
  }

  Result<std::size_t, IoError> read_vectored_at(std::span<const ::iovec> parts,
                                                std::uint64_t offset) {
    std::size_t total = 0;
    for (const ::iovec& part : parts) total += part.iov_len;
    if (!cover(offset, total)) return file_.read_vectored_at(parts, offset);
    const std::uint8_t* from = at(offset);
    for (const ::iovec& part : parts) {
      if (part.iov_len != 0) std::memcpy(part.iov_base, from, part.iov_len);
      from += part.iov_len;
    }
    return total;
  }

 private:
  const std::uint8_t* at(std::uint64_t offset) const noexcept {
    return buffer_.get() + (offset - start_);
  }
  bool holds(std::uint64_t offset, std::size_t length) const noexcept {
    return offset >= start_ && offset - start_ <= length_ && length <= length_ - (offset - start_);
  }
  bool cover(std::uint64_t offset, std::size_t length) {
    if (holds(offset, length)) return true;
    const bool window_was_full = length_ == capacity_;
    const bool just_ahead = offset >= start_ && offset - start_ < length_ + capacity_;
    if (buffer_ && window_was_full && just_ahead && length <= capacity_ / 2) {
      fill(offset);
      return holds(offset, length);
    }
    return false;
  }

  const ArchiveSource& file_;
  std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint64_t start_ = 0;
  std::size_t length_ = 0;
};

struct FileResult {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint32_t> blocks;
  std::uint64_t declared_size = 0;
  std::optional<DatError> error;
};

struct Segment {
  std::size_t first = 0;  // positions in the sorted selection
  std::size_t last = 0;
  std::vector<FileResult> results;
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
  // A new segment starts where a file begins a window's length or more past
  // the start of the current one.
  void cut_segments() {
    std::size_t first = 0;
    while (first < files_.size()) {
      std::size_t last = first + 1;
      const std::uint64_t start = files_[first].offset;
      while (last < files_.size() && files_[last].offset - start < window_) ++last;
      segments_.push_back(Segment{first, last, {}, false, false});
      first = last;
    }
  }

  // Reads and decodes the files of `segment`; when even its bookkeeping
  // cannot be allocated, every file of it is handed over as out of memory.
  void process(Segment& segment, WindowSource& source) noexcept {
    try {
      segment.results.resize(segment.last - segment.first);
      source.fill(files_[segment.first].offset);
    } catch (const std::bad_alloc&) {
      segment.results.clear();
      segment.out_of_memory = true;
      return;
    }
    std::vector<std::uint8_t> stored;
    for (std::size_t i = segment.first; i < segment.last; ++i) {
      FileResult& result = segment.results[i - segment.first];
      try {
        read_one(files_[i], source, stored, result);
      } catch (const std::bad_alloc&) {
        result = FileResult{};
        result.error = detail::out_of_memory();
      } catch (const std::length_error&) {
        result = FileResult{};
        result.error = detail::out_of_memory();
      }
    }
  }

  void read_one(const DatFileEntry& entry, WindowSource& source, std::vector<std::uint8_t>& stored,
                FileResult& result) {
    result.declared_size = entry.size;
    if (entry.size > database_.archive_length()) {
      result.error = detail::file_larger_than_archive(entry.id, entry.size,
                                                      database_.archive_length());
      return;
    }
    const bool decode = options_.decode && entry.is_compressed();
    std::vector<std::uint8_t>& target = decode ? stored : result.bytes;
    target.resize(entry.size);
    if (entry.size != 0) {
      detail::ChainReader<WindowSource> chain(source, database_.header().block_size, target);
      if (options_.collect_blocks) chain.record_blocks(&result.blocks);
      if (auto gathered = chain.run(entry.offset); !gathered) {
        result.error = std::move(gathered).error();
        result.bytes.clear();
        return;
      }
    }
    if (entry.is_compressed() && entry.size >= 4) {
      result.declared_size = quorvane_base::load_u32_le(target.data());
    }
    if (decode) decompress_lrs_into(stored, result.bytes);
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
    return go_on;
  }

  DatResult<void> run_inline(const BatchCallback& callback) {
    WindowSource source(BatchAccess::file(database_), window_);
    for (Segment& segment : segments_) {
      process(segment, source);
      if (!hand_over(segment, callback)) break;
    }
    return {};
  }

  DatResult<void> run_parallel(const BatchCallback& callback, std::size_t workers) {
    const std::size_t ahead = workers * SEGMENTS_AHEAD_PER_WORKER;
    auto work = [&] {
      WindowSource source(BatchAccess::file(database_), window_);
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
        process(segments_[k], source);
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
