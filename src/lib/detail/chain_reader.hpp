// ChainReader: gathers the bytes of one block chain, for file fetch and for
// the directory walk. Internal to the archive library.
#pragma once

#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <vector>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/lib/detail/corruption.hpp"

namespace quorvane_dat::detail {

// The highest block offset whose payload still starts within 32 bits.
inline constexpr std::uint64_t MAX_BLOCK_OFFSET = 0xFFFFFFFBU;
// Most blocks gathered by one read of a contiguous run.
inline constexpr std::uint32_t MAX_SCATTER_BLOCKS = 512;

// Gathers one block chain into `out`. The result is exactly that of reading
// each block's pointer and then its payload piece in turn; where consecutive
// blocks lie next to each other (next == block + block_size) a run of them is
// read with one system call and only the blocks whose pointers confirm the
// run are kept. Any short or failed run read is replayed block by block, so
// errors come from the same read as in the one-block-at-a-time order.
// `Source` is the open file itself, or a ReadAheadReader over it.
template <class Source>
class ChainReader {
 public:
  ChainReader(Source& file, std::uint32_t block_size, std::span<std::uint8_t> out)
      : file_(file), block_size_(block_size), out_(out) {}

  // Makes the reader append the offset of every block whose pointer it reads
  // to `blocks`, in chain order; a chain that loops ends with the first block
  // it comes back to.
  void record_blocks(std::vector<std::uint32_t>* blocks) noexcept { blocks_ = blocks; }

  // Whether the chain came back to a block it had already gathered.
  bool looped() const noexcept { return looped_; }

  DatResult<void> run(std::uint32_t first_block) {
    current_ = first_block;
    // The first read takes every block the chain still needs (up to the
    // scatter limit) as if the chain were contiguous, which a freshly written
    // chain is: one system call for a node or a small file. After the chain
    // turns away, reads start again at one block and double while it holds.
    std::uint32_t window = MAX_SCATTER_BLOCKS;
    while (pos_ < out_.size()) {
      if (current_ > MAX_BLOCK_OFFSET) {
        return Err{
            corruption("block offset 0x%08llX leaves no room for a payload below 4 GiB", ull(current_))};
      }
      if (block_size_ <= BLOCK_POINTER_SIZE) {
        if (auto step = exact_step(); !step) return step;
        continue;
      }
      if (repeat_from_visited_block()) return {};
      const std::uint64_t step_start = current_;
      const std::size_t step_pos = pos_;
      auto next_window = scatter_step(window);
      if (!next_window) return Err{std::move(next_window).error()};
      window = *next_window;
      record_visited(step_start, step_pos);
    }
    return {};
  }

 private:
  std::size_t remaining() const noexcept { return out_.size() - pos_; }

  // One step as the format describes it: the pointer, then the payload piece.
  DatResult<void> exact_step() {
    std::array<std::uint8_t, BLOCK_POINTER_SIZE> pointer{};
    if (auto r = file_.read_exact_at_compat(pointer, current_); !r) return Err{std::move(r).error()};
    record(current_);
    const std::uint32_t next = quorvane_base::load_u32_le(pointer.data());
    if (next == 0) {
      // The chain ends early: everything still missing follows this pointer.
      if (auto r = file_.read_exact_at_compat(out_.subspan(pos_), current_ + BLOCK_POINTER_SIZE); !r) {
        return Err{std::move(r).error()};
      }
      pos_ = out_.size();
      return {};
    }
    if (block_size_ <= BLOCK_POINTER_SIZE) {
      return Err{corruption("block_size %u is too small to follow block 0x%08llX to 0x%08X",
                            static_cast<unsigned>(block_size_), ull(current_),
                            static_cast<unsigned>(next))};
    }
    const std::size_t piece = std::min<std::size_t>(remaining(), block_size_ - BLOCK_POINTER_SIZE);
    if (auto r = file_.read_exact_at_compat(out_.subspan(pos_, piece), current_ + BLOCK_POINTER_SIZE);
        !r) {
      return Err{std::move(r).error()};
    }
    pos_ += piece;
    current_ = next;
    return {};
  }

  // Reads up to `window` blocks from current_ as if they were contiguous and
  // keeps those the pointers confirm. Returns the window for the next step:
  // doubled after a fully confirmed run, 1 after the chain turned away.
  //
  // The run's raw bytes (pointer, payload, pointer, payload, ...) are read in
  // one piece into `out` at pos_, the 4 bytes per block that do not fit there
  // into a small tail buffer; then, block by block, the pointer is taken and
  // the payload moved down to its place. Each payload lands at or below its
  // raw position and above everything already placed, so no raw byte is
  // overwritten before it is used. One large copy in the kernel is far
  // cheaper than two small ones per block.
  // Kept apart from SegmentReader's side table of pointers: reading runs that
  // way here too cost the one-thread batch read about 8 % more CPU time.
  DatResult<std::uint32_t> scatter_step(std::uint32_t window) {
    const std::size_t payload = block_size_ - BLOCK_POINTER_SIZE;
    const std::size_t base = pos_;
    std::size_t count = 0;
    std::size_t planned = base;
    for (std::uint64_t block = current_;
         count < window && planned < out_.size() && block <= MAX_BLOCK_OFFSET;
         block += block_size_, ++count) {
      planned += std::min(out_.size() - planned, payload);
    }
    const std::size_t in_out = planned - base;
    std::array<std::uint8_t, BLOCK_POINTER_SIZE * MAX_SCATTER_BLOCKS> tail;
    const std::array<::iovec, 2> parts{
        {{out_.data() + base, in_out}, {tail.data(), BLOCK_POINTER_SIZE * count}}};
    // Copies `n` raw bytes at `raw` of the run to `dst`; the raw bytes are
    // out_[base, base + in_out) followed by the tail.
    auto copy_raw = [&](std::uint8_t* dst, std::size_t raw, std::size_t n) {
      if (raw < in_out) {
        const std::size_t head = std::min(n, in_out - raw);
        std::memmove(dst, out_.data() + base + raw, head);
        dst += head;
        raw += head;
        n -= head;
      }
      if (n != 0) std::memcpy(dst, tail.data() + (raw - in_out), n);
    };

    auto got = file_.read_vectored_at(parts, current_);
    if (!got) {
      if (auto step = exact_step(); !step) return Err{std::move(step).error()};
      return 1U;
    }
    std::uint64_t block = current_;
    for (std::size_t i = 0; i < count; ++i, block += block_size_) {
      const std::size_t raw = i * block_size_;
      const std::size_t piece = std::min(remaining(), payload);
      if (*got < raw + BLOCK_POINTER_SIZE + piece) {
        // The read stopped short inside this block: replay it exactly.
        current_ = block;
        if (auto step = exact_step(); !step) return Err{std::move(step).error()};
        return 1U;
      }
      std::uint8_t pointer[BLOCK_POINTER_SIZE];
      copy_raw(pointer, raw, BLOCK_POINTER_SIZE);
      record(block);
      copy_raw(out_.data() + pos_, raw + BLOCK_POINTER_SIZE, piece);
      const std::uint32_t next = quorvane_base::load_u32_le(pointer);
      if (next == 0 && piece < remaining()) {
        // Early end of the chain: the rest lies right after this payload piece.
        if (auto r = file_.read_exact_at_compat(out_.subspan(pos_ + piece),
                                                block + BLOCK_POINTER_SIZE + piece);
            !r) {
          return Err{std::move(r).error()};
        }
        pos_ = out_.size();
        return 1U;
      }
      pos_ += piece;
      // The pointer of the block in which the data ends is read, never followed.
      if (pos_ == out_.size()) return 1U;
      if (next != block + block_size_) {
        current_ = next;
        return 1U;
      }
    }
    current_ = block;
    return std::min(window * 2, MAX_SCATTER_BLOCKS);
  }

  // A run of blocks already gathered: blocks start, start + block_size, ...
  // up to `end`, whose payloads were placed from `pos` on, one full payload each.
  struct VisitedRun {
    std::uint64_t end;
    std::size_t pos;
  };

  // Remembers the whole blocks that the last step gathered from `step_start`
  // (a step reads contiguous blocks only).
  void record_visited(std::uint64_t step_start, std::size_t step_pos) {
    if (pos_ >= out_.size()) return;
    const std::size_t payload = block_size_ - BLOCK_POINTER_SIZE;
    const std::uint64_t blocks = (pos_ - step_pos) / payload;
    if (blocks == 0) return;
    visited_.emplace(step_start, VisitedRun{step_start + blocks * block_size_, step_pos});
  }

  // A chain that comes back to a block it has already gathered repeats from
  // there on: every later block, pointer and payload is one already read. The
  // rest of the result is then the bytes gathered since that block's payload,
  // over and over, which is what following the loop block by block would
  // produce; copying them keeps a looping chain from costing one read per
  // block up to the claimed size.
  bool repeat_from_visited_block() {
    if (visited_.empty()) return false;
    auto it = visited_.upper_bound(current_);
    if (it == visited_.begin()) return false;
    --it;
    const std::uint64_t start = it->first;
    if (current_ >= it->second.end || (current_ - start) % block_size_ != 0) return false;
    const std::size_t payload = block_size_ - BLOCK_POINTER_SIZE;
    const std::size_t from = it->second.pos + (current_ - start) / block_size_ * payload;
    looped_ = true;
    record(current_);
    // [from, pos_) is one period; doubling copies keep the copies few.
    while (pos_ < out_.size()) {
      const std::size_t n = std::min(out_.size() - pos_, pos_ - from);
      std::memcpy(out_.data() + pos_, out_.data() + from, n);
      pos_ += n;
    }
    return true;
  }

  void record(std::uint64_t block) {
    if (blocks_ != nullptr) blocks_->push_back(static_cast<std::uint32_t>(block));
  }

  Source& file_;
  std::vector<std::uint32_t>* blocks_ = nullptr;
  std::uint32_t block_size_;
  std::span<std::uint8_t> out_;
  std::size_t pos_ = 0;
  std::uint64_t current_ = 0;
  std::map<std::uint64_t, VisitedRun> visited_;
  bool looped_ = false;
};

}  // namespace quorvane_dat::detail
