// FileStream: a chain cursor that reads the chain's pointers and payloads in
// chain order through a small read window, and the streaming decoder fed
// from it.
#include "quorvane_dat/lib/file_stream.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/lib/detail/chain_reader.hpp"
#include "quorvane_dat/lib/detail/corruption.hpp"
#include "quorvane_dat/lib/detail/database_access.hpp"
#include "quorvane_dat/lib/detail/library_boundary.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"
#include "quorvane_dat/utils/lrs_stream_decoder.hpp"

namespace quorvane_dat {

namespace {

// Bytes one window fill reads at most; requests of half of it or more go
// straight to the file.
constexpr std::size_t WINDOW_BYTES = std::size_t{256} << 10;
// The first fill after a jump: a few small blocks, or one large one.
constexpr std::size_t FIRST_FILL = std::size_t{4} << 10;

// The payload bytes of one chain in chain order, exactly as the one-chain
// reader gathers them: each block's pointer, then its payload piece; a zero
// pointer makes everything still missing follow it contiguously. Reads are
// answered from a window that grows while the chain runs on contiguously;
// a request the window cannot answer in full is read from the file itself,
// so errors come from the same bytes as in the one-chain reader.
class ChainCursor {
 public:
  ChainCursor(const detail::ArchiveSource& source, std::uint32_t block_size, std::uint32_t first,
              std::uint64_t size, std::vector<std::uint32_t>* blocks) noexcept
      : source_(source), block_size_(block_size), current_(first), remaining_(size), blocks_(blocks) {}

  std::uint64_t remaining() const noexcept { return remaining_; }
  bool loops() const noexcept { return loops_; }

  // Fills the first min(out.size(), remaining()) bytes of `out`.
  DatResult<std::size_t> read(std::span<std::uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size() && remaining_ > 0) {
      if (!tail_ && piece_left_ == 0) {
        if (auto stepped = step(); !stepped) return Err{std::move(stepped).error()};
        continue;
      }
      const std::uint64_t available = tail_ ? remaining_ : piece_left_;
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size() - filled, available));
      if (auto got = read_at(out.subspan(filled, n), payload_at_); !got) {
        return Err{DatError(std::move(got).error())};
      }
      filled += n;
      remaining_ -= n;
      payload_at_ += n;
      if (!tail_) {
        piece_left_ -= n;
        if (piece_left_ == 0) current_ = next_;
      }
    }
    return filled;
  }

 private:
  // Reads the pointer of the block at current_ and sets up its payload piece.
  DatResult<void> step() {
    if (current_ > detail::MAX_BLOCK_OFFSET) {
      return Err{detail::corruption("block offset 0x%08llX leaves no room for a payload below 4 GiB",
                                    detail::ull(current_))};
    }
    std::array<std::uint8_t, BLOCK_POINTER_SIZE> pointer{};
    if (auto got = read_at(pointer, current_); !got) return Err{DatError(std::move(got).error())};
    visit(static_cast<std::uint32_t>(current_));
    const std::uint32_t next = quorvane_base::load_u32_le(pointer.data());
    payload_at_ = current_ + BLOCK_POINTER_SIZE;
    if (next == 0) {
      tail_ = true;
      return {};
    }
    if (block_size_ <= BLOCK_POINTER_SIZE) {
      return Err{detail::corruption("block_size %u is too small to follow block 0x%08llX to 0x%08X",
                                    static_cast<unsigned>(block_size_), detail::ull(current_),
                                    static_cast<unsigned>(next))};
    }
    piece_left_ = std::min<std::uint64_t>(remaining_, block_size_ - BLOCK_POINTER_SIZE);
    next_ = next;
    return {};
  }

  // Brent's cycle detection over the blocks visited: a tortoise block, moved
  // to the current block whenever the steps since it reach a power of two;
  // the chain loops when it comes back to the tortoise, and the steps since
  // then are the loop's length. A chain's next block depends on its current
  // block alone, so this finds every loop in constant memory.
  void visit(std::uint32_t block) {
    if (loops_) return;
    if (blocks_ != nullptr) blocks_->push_back(block);
    if (!have_tortoise_) {
      tortoise_ = block;
      have_tortoise_ = true;
      return;
    }
    ++since_;
    if (block == tortoise_) {
      loops_ = true;
      if (blocks_ != nullptr) end_blocks_at_first_repeat();
      return;
    }
    if (since_ == power_) {
      tortoise_ = block;
      power_ *= 2;
      since_ = 0;
    }
  }

  // The first block read twice is the first that equals the block one loop
  // length before it.
  void end_blocks_at_first_repeat() {
    std::vector<std::uint32_t>& blocks = *blocks_;
    for (std::size_t i = 0; i + since_ < blocks.size(); ++i) {
      if (blocks[i] == blocks[i + since_]) {
        blocks.resize(i + since_ + 1);
        return;
      }
    }
  }

  Result<void, IoError> read_at(std::span<std::uint8_t> dst, std::uint64_t offset) {
    if (dst.empty()) return {};
    if (offset >= window_start_ && offset - window_start_ <= window_length_ &&
        dst.size() <= window_length_ - (offset - window_start_)) {
      std::memcpy(dst.data(), window_.get() + (offset - window_start_), dst.size());
      return {};
    }
    if (dst.size() < WINDOW_BYTES / 2) {
      if (!window_) window_ = std::make_unique_for_overwrite<std::uint8_t[]>(WINDOW_BYTES);
      // A chain running on from the window's end reads ahead twice as far
      // each time; after a jump, a small fill.
      const bool onward = window_length_ != 0 && offset == window_start_ + window_length_;
      fill_ = onward ? std::min(fill_ * 2, WINDOW_BYTES) : FIRST_FILL;
      const std::size_t length = std::max(fill_, dst.size());
      const ::iovec part{window_.get(), length};
      auto got = source_.read_vectored_at(std::span<const ::iovec>(&part, 1), offset);
      window_start_ = offset;
      window_length_ = got ? *got : 0;
      if (window_length_ >= dst.size()) {
        std::memcpy(dst.data(), window_.get(), dst.size());
        return {};
      }
    }
    return source_.read_exact_at_compat(dst, offset);
  }

  const detail::ArchiveSource& source_;
  std::uint32_t block_size_;
  std::uint64_t current_;  // the block whose pointer is read next
  std::uint64_t remaining_;
  std::uint64_t next_ = 0;        // the current block's successor
  std::uint64_t piece_left_ = 0;  // of the current block's payload piece
  std::uint64_t payload_at_ = 0;  // where the next payload byte lies
  bool tail_ = false;             // after a zero pointer: the rest is contiguous

  std::vector<std::uint32_t>* blocks_;
  std::uint32_t tortoise_ = 0;
  bool have_tortoise_ = false;
  std::uint64_t since_ = 0;
  std::uint64_t power_ = 1;
  bool loops_ = false;

  std::unique_ptr<std::uint8_t[]> window_;
  std::uint64_t window_start_ = 0;
  std::size_t window_length_ = 0;
  std::size_t fill_ = FIRST_FILL;
};

}  // namespace

struct FileStream::Impl {
  Impl(const DatDatabase& database, const DatFileEntry& file, const StreamOptions& options)
      : entry(file),
        cursor(detail::DatabaseAccess::file(database), database.header().block_size, file.offset,
               file.size, options.collect_blocks ? &blocks : nullptr),
        piece_bytes(std::max<std::size_t>(options.piece_bytes, 1)) {
    if (options.decode && entry.is_compressed()) {
      // No more output than the stream could produce.
      const std::uint64_t most = std::uint64_t{entry.size} / 2 * 17 + 1;
      decoder.emplace(static_cast<std::size_t>(std::min<std::uint64_t>(piece_bytes, most)));
      input_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(WINDOW_BYTES, entry.size));
    } else {
      input_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(piece_bytes, entry.size));
    }
    input = std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(input_bytes, 1));
  }

  DatResult<std::span<const std::uint8_t>> fail(DatError why) {
    error = std::move(why);
    finished = true;
    return Err{*error};
  }

  DatResult<std::span<const std::uint8_t>> next_stored() {
    if (cursor.remaining() == 0) {
      finished = true;
      return std::span<const std::uint8_t>{};
    }
    auto got = cursor.read({input.get(), input_bytes});
    if (!got) return fail(std::move(got).error());
    return std::span<const std::uint8_t>(input.get(), *got);
  }

  DatResult<std::span<const std::uint8_t>> next_decoded() {
    LrsStreamDecoder& d = *decoder;
    if (pending_take) {
      d.take();
      pending_take = false;
    }
    for (;;) {
      if (d.output_full()) {
        pending_take = true;
        return d.output();
      }
      if (in_pos < in_len && !d.ended()) {
        in_pos += d.feed({input.get() + in_pos, in_len - in_pos});
        continue;
      }
      if (cursor.remaining() > 0) {
        // Once decoding has ended the rest of the chain is still read: its
        // errors are the file's errors.
        auto got = cursor.read({input.get(), input_bytes});
        if (!got) return fail(std::move(got).error());
        in_pos = 0;
        in_len = d.ended() ? 0 : *got;
        continue;
      }
      if (!d.ended()) {
        if (finish_called) {
          d.feed({});
        } else {
          d.finish();
          finish_called = true;
        }
        continue;
      }
      if (!d.output().empty()) {
        pending_take = true;
        return d.output();
      }
      finished = true;
      return std::span<const std::uint8_t>{};
    }
  }

  DatFileEntry entry;
  std::vector<std::uint32_t> blocks;
  ChainCursor cursor;
  std::size_t piece_bytes;
  std::optional<LrsStreamDecoder> decoder;
  std::unique_ptr<std::uint8_t[]> input;  // stored bytes: the pieces, or the decoder's input
  std::size_t input_bytes = 0;
  std::size_t in_pos = 0;
  std::size_t in_len = 0;
  bool pending_take = false;
  bool finish_called = false;
  bool finished = false;
  std::optional<DatError> error;
};

FileStream::FileStream(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
FileStream::FileStream(FileStream&&) noexcept = default;
FileStream& FileStream::operator=(FileStream&&) noexcept = default;
FileStream::~FileStream() = default;

DatResult<FileStream> FileStream::open(const DatDatabase& database, std::uint32_t id,
                                       const StreamOptions& options) {
  const DatFileEntry* entry = database.files().find(id);
  if (entry == nullptr) return Err{DatError::NotFound{id}};
  return open(database, *entry, options);
}

DatResult<FileStream> FileStream::open(const DatDatabase& database, const DatFileEntry& entry,
                                       const StreamOptions& options) {
  return detail::at_boundary([&]() -> DatResult<FileStream> {
    if (entry.size > database.archive_length()) {
      return Err{detail::file_larger_than_archive(entry.id, entry.size, database.archive_length())};
    }
    return FileStream(std::make_unique<Impl>(database, entry, options));
  });
}

DatResult<std::span<const std::uint8_t>> FileStream::next() {
  return detail::at_boundary([&]() -> DatResult<std::span<const std::uint8_t>> {
    Impl& s = *impl_;
    if (s.error) return Err{*s.error};
    if (s.finished) return std::span<const std::uint8_t>{};
    return s.decoder ? s.next_decoded() : s.next_stored();
  });
}

DatResult<void> FileStream::drain() {
  for (;;) {
    // Once a chain has looped, every later block is one already read without
    // error, so the rest of its stored bytes can neither fail nor tell
    // anything new; only decoding still needs them.
    if (!impl_->decoder && impl_->cursor.loops() && !impl_->error) {
      impl_->finished = true;
      return {};
    }
    auto piece = next();
    if (!piece) return Err{std::move(piece).error()};
    if (piece->empty()) return {};
  }
}

bool FileStream::finished() const noexcept { return impl_->finished; }
const DatFileEntry& FileStream::entry() const noexcept { return impl_->entry; }

std::uint64_t FileStream::declared_size() const noexcept {
  const Impl& s = *impl_;
  if (s.decoder && s.entry.size >= 4) return s.decoder->declared_size();
  return s.entry.size;
}

const DecodeFindings& FileStream::findings() const noexcept {
  static const DecodeFindings none;
  return impl_->decoder ? impl_->decoder->findings() : none;
}

bool FileStream::chain_loops() const noexcept { return impl_->cursor.loops(); }

std::span<const std::uint32_t> FileStream::blocks() const noexcept { return impl_->blocks; }

}  // namespace quorvane_dat
