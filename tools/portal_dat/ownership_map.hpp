// The ownership map of verify: the bytes of the archive that each chain (a
// file or a directory node) reads, kept as sorted runs, so that any byte read
// by two chains, a chain that reads a byte twice and a chain that reads the
// reserved start of the archive are all found.
//
// A chain owns exactly what gathering its bytes reads, block by block: the
// 4-byte pointer of every block and the payload piece taken from it. Every
// block but the last gives a full payload (block_size - 4 bytes); the last one
// gives whatever is still missing, which may run past block_size when its
// pointer is 0. The unused tail of a short last block belongs to nobody, so
// chains packed without padding do not collide.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "quorvane_dat/lib/dat_format.hpp"
#include "tools/portal_dat/verify_findings.hpp"

namespace portal_dat {

// The prefix that is never read and the header: no chain may read them.
inline constexpr std::uint64_t RESERVED_END = quorvane_dat::HEADER_OFFSET + quorvane_dat::HEADER_SIZE;

class OwnershipMap {
 public:
  // The block a chain goes on to after `block` when that block's pointer is
  // not 0; nullopt when it is 0 or cannot be read.
  using NextBlock = std::function<std::optional<std::uint32_t>(std::uint32_t block)>;

  // Bytes read by a chain whose owner's bytes cross those of another, or
  // the reserved range (`other` empty).
  struct Overlap {
    Subject owner;
    std::optional<Subject> other;
    std::uint64_t offset = 0;  // first byte of the overlap
    std::uint64_t bytes = 0;   // its length
  };

  explicit OwnershipMap(std::uint32_t block_size) noexcept : block_size_(block_size) {}

  // Records the bytes that gathering `size` bytes through `blocks` reads:
  // the chain's blocks in chain order, as the reader reports them. A chain
  // that comes back to a block it has read is recorded up to there; where
  // the blocks stop before that block (the reader having seen the repeat),
  // `next_block` is asked where the last block leads. Returns the lowest
  // offset the chain reads twice, if it comes back into its own bytes.
  // Memory: one run per stretch of the chain's distinct bytes, contiguous
  // blocks merged.
  std::optional<std::uint64_t> add_chain(Subject owner, std::span<const std::uint32_t> blocks,
                                         std::uint32_t size, const NextBlock& next_block);

  // Compares the chains: reports each chain that enters the reserved range
  // once, and each pair of chains that share bytes (naming the one whose
  // shared run starts later first), in the order of offsets. Every chain that
  // shares a byte with another is named in at least one report.
  void check(const std::function<void(const Overlap&)>& report);

  // Room for `chains` chains of one run each, the common case, so that the
  // map does not grow by doubling.
  void reserve(std::size_t chains) {
    owners_.reserve(chains);
    runs_.reserve(chains);
  }

  std::size_t run_count() const noexcept { return runs_.size(); }
  std::size_t owner_count() const noexcept { return owners_.size(); }

 private:
  // [start, end) of bytes read by one owner. 12 bytes: the end can pass
  // 2^32 (a long last block), so its two high bits share a word with the
  // owner's number.
  struct Run {
    std::uint32_t start;
    std::uint32_t end_low;
    std::uint32_t owner_and_end_high;

    std::uint64_t end() const noexcept {
      return (std::uint64_t{owner_and_end_high & 3U} << 32) | end_low;
    }
    std::uint32_t owner() const noexcept { return owner_and_end_high >> 2; }
  };
  static_assert(sizeof(Run) == 12);
  // Owner numbers fit in 30 bits: the directory walk reads at most one node
  // per 1716 bytes of a 4 GiB archive, about 2.5 million nodes of 61 entries.
  static constexpr std::uint32_t MAX_OWNERS = std::uint32_t{1} << 30;

  struct Span {
    std::uint64_t start;
    std::uint64_t end;
  };
  // Appends [start, end) to the chain's spans, merged with the last one when
  // it continues it.
  void push_span(std::uint64_t start, std::uint64_t end);
  bool in_spans(std::uint64_t offset) const noexcept;

  std::uint32_t block_size_;
  std::vector<Subject> owners_;
  std::vector<Run> runs_;
  std::vector<Span> spans_;  // the chain being added, reused
};

}  // namespace portal_dat
