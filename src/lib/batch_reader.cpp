// read_batch: the selection sorted by offset and cut into segments of about
// one window of the archive each. A worker gathers the files of a segment
// with a few large scatter reads (SegmentReader; every result is exactly what
// get_file would give) and decodes the compressed ones. The calling thread
// hands the finished segments to the callback in order; workers stay at most
// a few segments ahead of it, which bounds the memory.
#include "quorvane_dat/lib/batch_reader.hpp"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "quorvane_base/available_parallelism.hpp"
#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/lib/detail/corruption.hpp"
#include "quorvane_dat/lib/detail/database_access.hpp"
#include "quorvane_dat/lib/detail/library_boundary.hpp"
#include "quorvane_dat/lib/detail/segment_reader.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"

namespace quorvane_dat {

namespace {

constexpr std::size_t MIN_WINDOW = std::size_t{1} << 20;
// Segments a worker may finish ahead of the one being handed over, per worker.
constexpr std::size_t SEGMENTS_AHEAD_PER_WORKER = 2;

struct FileResult {
  std::span<const std::uint8_t> bytes;  // into the segment's arenas or `decoded`
  std::vector<std::uint8_t> decoded;
  std::vector<std::uint32_t> blocks;
  std::uint64_t declared_size = 0;
  DecodeFindings findings;
  bool chain_loops = false;
  bool streamed = false;  // read through a FileStream, not held whole
  std::array<std::uint8_t, BatchDigest::MAX_SIZE> digest{};
  std::size_t digest_size = 0;
  std::uint64_t digested_size = 0;
  std::optional<DatError> error;
};

DatError digest_failed(std::string_view why) {
  return DatError(DatError::Other{"digest failed: " + std::string(why)});
}

// Runs `call` into the caller's digest; whatever it throws becomes `error`.
template <class Call>
bool guarded(Call&& call, std::optional<DatError>& error) {
  try {
    call();
    return true;
  } catch (const std::exception& thrown) {
    error = digest_failed(thrown.what());
  } catch (...) {
    error = digest_failed("an exception that is no std::exception");
  }
  return false;
}

// The digests of a batch, one per worker, made before any worker starts.
using Digests = std::vector<std::unique_ptr<BatchDigest>>;

DatResult<Digests> make_digests(const BatchOptions& options, std::size_t workers) {
  Digests digests;
  if (!options.make_digest) return digests;
  std::optional<DatError> error;
  for (std::size_t i = 0; i < workers && !error; ++i) {
    guarded([&] { digests.push_back(options.make_digest()); }, error);
    if (!error && digests.back() == nullptr) error = digest_failed("make_digest gave no digest");
  }
  if (error) return Err{std::move(*error)};
  return digests;
}

// Consecutive files of the sorted selection whose chains, if contiguous, lie
// within one window of the archive and whose bytes fill at most one window;
// a file larger than that has a segment of its own.
struct Segment {
  std::size_t first = 0;  // positions in the sorted selection
  std::size_t last = 0;
  std::uint64_t arena_bytes = 0;      // stored bytes of the files handed over undecoded
  std::uint64_t stored_bytes = 0;     // stored bytes of the files to decode
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
    const std::size_t workers =
        threads <= 1 || segments_.size() <= 1 ? 1 : std::min<std::size_t>(threads, segments_.size());
    auto digests = make_digests(options_, workers);
    if (!digests) return Err{std::move(digests).error()};
    digests_ = std::move(*digests);
    if (workers == 1) return run_inline(callback);
    return run_parallel(callback, workers);
  }

 private:
  bool decoded(const DatFileEntry& entry) const noexcept {
    return options_.decode && entry.is_compressed();
  }
  bool digesting() const noexcept { return static_cast<bool>(options_.make_digest); }
  // Whether the file's stored bytes go to the worker's own buffer, one place
  // per file: those to decode, in a check those whose declared size is taken
  // from their first bytes, and those digested but not handed over.
  bool in_stored(const DatFileEntry& entry) const noexcept {
    return decoded(entry) || (options_.check_only && entry.is_compressed()) ||
           (digesting() && !kept(entry));
  }
  // Whether the file's bytes are handed over (decoded or as stored).
  bool kept(const DatFileEntry& entry) const noexcept {
    return !options_.check_only && (options_.deliver_stored || entry.is_compressed());
  }
  // Whether the file is too large to hold whole: its stored size, or the
  // most its stream could decode to (17 bytes per 2), exceeds the bound.
  bool streamed(const DatFileEntry& entry) const noexcept {
    if (entry.size > database_.archive_length()) return false;  // refused at once
    const std::uint64_t most = decoded(entry) ? std::uint64_t{entry.size} / 2 * 17 + 1 : entry.size;
    return std::max<std::uint64_t>(entry.size, most) > options_.stream_above;
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
        if (!streamed(entry)) bytes += entry.size;
        if (entry.size <= database_.archive_length() && !streamed(entry)) {
          if (in_stored(entry)) {
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
    Worker(const Batch& batch, BatchDigest* digest)
        : reader(detail::DatabaseAccess::file(batch.database_), batch.database_.header().block_size),
          digest(digest) {}
    detail::SegmentReader reader;
    BatchDigest* digest;  // nullptr without BatchOptions::make_digest
    std::vector<detail::GatherTarget> targets;
    std::unique_ptr<std::uint8_t[]> stored;  // the compressed files' stored bytes
    std::uint64_t stored_capacity = 0;
    std::unique_ptr<std::uint8_t[]> discard;  // where files not handed over are read to
    std::uint64_t discard_capacity = 0;
    std::vector<std::uint8_t> scratch;  // decoded bytes that are not handed over
  };

  StreamOptions stream_options() const noexcept {
    StreamOptions options;
    options.decode = options_.decode;
    options.collect_blocks = options_.collect_blocks;
    return options;
  }

  // Gives `bytes` whole to the worker's digest.
  static void digest_whole(const DatFileEntry& entry, std::span<const std::uint8_t> bytes,
                           BatchDigest& digest, FileResult& result) {
    result.digested_size = bytes.size();
    if (!guarded([&] { digest.begin(entry); }, result.error)) return;
    if (!bytes.empty() && !guarded([&] { digest.update(bytes); }, result.error)) return;
    finish_digest(digest, result);
  }

  static bool finish_digest(BatchDigest& digest, FileResult& result) {
    std::size_t size = 0;
    if (!guarded([&] { size = digest.finish(result.digest); }, result.error)) return false;
    if (size > result.digest.size()) {
      result.error = digest_failed("finish wrote " + std::to_string(size) + " bytes, more than " +
                                   std::to_string(result.digest.size()));
      return false;
    }
    result.digest_size = size;
    return true;
  }

  // Reads the stream to its end, piece by piece into the digest.
  static DatResult<void> digest_stream(FileStream& stream, BatchDigest& digest, FileResult& result) {
    if (!guarded([&] { digest.begin(stream.entry()); }, result.error)) return {};
    for (;;) {
      auto piece = stream.next();
      if (!piece) return Err{std::move(piece).error()};
      if (piece->empty()) break;
      result.digested_size += piece->size();
      if (!guarded([&] { digest.update(*piece); }, result.error)) return {};
    }
    finish_digest(digest, result);
    return {};
  }

  // Reads a large file through a stream on the worker, keeping only its
  // outcome (and its digest).
  void read_streamed(const DatFileEntry& entry, FileResult& result, BatchDigest* digest) const {
    auto stream = FileStream::open(database_, entry, stream_options());
    if (!stream) {
      result.error = std::move(stream).error();
      return;
    }
    auto read = digest != nullptr ? digest_stream(*stream, *digest, result) : stream->drain();
    if (!read) result.error = std::move(read).error();
    if (!result.error) result.declared_size = stream->declared_size();
    result.findings = stream->findings();
    result.chain_loops = stream->chain_loops();
    if (!result.error) result.blocks.assign(stream->blocks().begin(), stream->blocks().end());
  }

  // Reads and decodes the files of `segment`; when even its bookkeeping
  // cannot be allocated, every file of it is handed over as out of memory.
  void process(Segment& segment, Worker& worker) noexcept {
    const bool gathered =
        detail::on_exhaustion([&] { return gather(segment, worker), true; }, [] { return false; });
    if (!gathered) {
      segment.results.clear();
      segment.arena.reset();
      segment.out_of_memory = true;
      return;
    }
    for (std::size_t i = segment.first; i < segment.last; ++i) {
      FileResult& result = segment.results[i - segment.first];
      const bool decoded_all = detail::on_exhaustion(
          [&] {
            const DatFileEntry& entry = files_[i];
            if (result.streamed) {
              if (options_.check_only || worker.digest != nullptr)
                read_streamed(entry, result, worker.digest);
              return true;
            }
            if (result.error) return true;
            std::span<const std::uint8_t> content = result.bytes;
            if (decoded(entry)) {
              std::vector<std::uint8_t>& out = kept(entry) ? result.decoded : worker.scratch;
              decompress_lrs_into(result.bytes, out, result.findings);
              content = out;
            }
            if (worker.digest != nullptr) digest_whole(entry, content, *worker.digest, result);
            // What is not handed over was looked at only to decode or digest it.
            result.bytes = kept(entry) && !result.error ? content : std::span<const std::uint8_t>{};
            return true;
          },
          [] { return false; });
      if (!decoded_all) {
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
        result.error =
            detail::file_larger_than_archive(entry.id, entry.size, database_.archive_length());
        continue;
      }
      if (streamed(entry)) {
        result.streamed = true;
        continue;
      }
      // Files that are read only to be checked all share one scratch place.
      std::uint8_t* discard = worker.discard.get();
      std::uint8_t*& place = in_stored(entry) ? stored : kept(entry) ? arena : discard;
      result.bytes = {place, entry.size};
      worker.targets.push_back({&entry,
                                {place, entry.size},
                                options_.collect_blocks ? &result.blocks : nullptr,
                                &result.error,
                                &result.chain_loops});
      if (in_stored(entry) || kept(entry)) place += entry.size;
    }
    worker.reader.gather(worker.targets);
    for (std::size_t i = segment.first; i < segment.last; ++i) {
      const DatFileEntry& entry = files_[i];
      FileResult& result = segment.results[i - segment.first];
      if (result.streamed) continue;
      if (!result.error && entry.is_compressed() && entry.size >= 4) {
        result.declared_size = quorvane_base::load_u32_le(result.bytes.data());
      }
      if (result.error) result.bytes = {};
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
      if (result.streamed && !options_.check_only && !digesting()) {
        go_on = hand_over_stream(file, callback);
        continue;
      }
      file.declared_size = result.declared_size;
      file.chain_loops = result.chain_loops;
      if (result.error) {
        file.error = &*result.error;
      } else {
        file.bytes = result.bytes;
        file.blocks = result.blocks;
        file.findings = result.findings;
        file.digest = std::span(result.digest).first(result.digest_size);
        file.digested_size = result.digested_size;
      }
      go_on = callback(file);
    }
    // Released, not only cleared: `= {}` would keep the capacity of every
    // segment's results until the batch ends.
    std::vector<FileResult>().swap(segment.results);
    segment.arena.reset();
    return go_on;
  }

  // Hands a large file over as a stream that the callback may read.
  bool hand_over_stream(BatchFile& file, const BatchCallback& callback) {
    auto stream = FileStream::open(database_, *file.entry, stream_options());
    if (!stream) {
      const DatError error = std::move(stream).error();
      file.declared_size = file.entry->size;
      file.error = &error;
      return callback(file);
    }
    file.declared_size = stream->declared_size();
    file.stream = &*stream;
    return callback(file);
  }

  DatResult<void> run_inline(const BatchCallback& callback) {
    Worker worker(*this, digests_.empty() ? nullptr : digests_[0].get());
    for (Segment& segment : segments_) {
      process(segment, worker);
      if (!hand_over(segment, callback)) break;
    }
    return {};
  }

  DatResult<void> run_parallel(const BatchCallback& callback, std::size_t workers) {
    const std::size_t ahead = workers * SEGMENTS_AHEAD_PER_WORKER;
    auto work = [&](BatchDigest* digest) {
      Worker worker(*this, digest);
      for (;;) {
        std::size_t k = 0;
        {
          std::unique_lock lock(mutex_);
          work_ready_.wait(
              lock, [&] { return stop_ || next_ >= segments_.size() || next_ < handed_over_ + ahead; });
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
      for (std::size_t i = 0; i < workers; ++i) {
        threads.emplace_back(work, digests_.empty() ? nullptr : digests_[i].get());
      }
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
  Digests digests_;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable segment_done_;
  std::size_t next_ = 0;
  std::size_t handed_over_ = 0;
  bool stop_ = false;
};

// The affinity set, limited by a control-group CPU quota (the runner's count).
unsigned available_processors() {
  if (const auto count = quorvane_base::available_parallelism()) {
    return static_cast<unsigned>(std::min<std::size_t>(*count, 1024));
  }
  const unsigned hinted = std::thread::hardware_concurrency();
  return hinted != 0 ? hinted : 1;
}

}  // namespace

namespace {

DatResult<void> run_batch(const DatDatabase& database, std::vector<DatFileEntry> files,
                          const BatchOptions& options, const BatchCallback& callback) {
  if (files.empty()) return {};
  Batch batch(database, std::move(files), options);
  return batch.run(callback, options.threads != 0 ? options.threads : available_processors());
}

}  // namespace

DatResult<void> read_batch(const DatDatabase& database, std::span<const DatFileEntry> selection,
                           const BatchOptions& options, const BatchCallback& callback) {
  return detail::at_boundary([&] {
    return run_batch(database, {selection.begin(), selection.end()}, options, callback);
  });
}

DatResult<void> read_batch(const DatDatabase& database, const BatchOptions& options,
                           const BatchCallback& callback) {
  return detail::at_boundary([&] {
    std::vector<DatFileEntry> files;
    files.reserve(database.files().size());
    for (const auto& [id, entry] : database.files()) files.push_back(entry);
    return run_batch(database, std::move(files), options, callback);
  });
}

}  // namespace quorvane_dat
