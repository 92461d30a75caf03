// NodeOffsetSet: the directory nodes a walk has reached, each with a mark
// telling whether it is on the walk's current path (an ancestor of the node
// being read). Internal to the archive library.
//
// An open-addressing table of 4-byte offsets with a parallel byte of marks,
// at most half full: about ten bytes per node, a handful of allocations for
// the whole walk. Offsets are hashed with the process's random multiplier.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "quorvane_dat/lib/detail/hash_seed.hpp"

namespace quorvane_dat::detail {

class NodeOffsetSet {
 public:
  enum class Seen { Never, OnPath, Left };

  NodeOffsetSet();

  // Whether `offset` (never 0) was added, and if so whether it is still on the path.
  Seen find(std::uint32_t offset) const noexcept;
  // Adds `offset` (not yet held) as on the path.
  void add_on_path(std::uint32_t offset);
  // Marks `offset` (held) as left: its subtree is done.
  void leave(std::uint32_t offset) noexcept;

  std::size_t size() const noexcept { return size_; }

 private:
  std::size_t slot_of(std::uint32_t offset) const noexcept {
    return home_slot(offset, multiplier_, shift_);
  }
  // The slot holding `offset`, or the empty slot where it would go.
  std::size_t probe(std::uint32_t offset) const noexcept;
  void grow();

  std::vector<std::uint32_t> keys_;  // 0: empty
  std::vector<std::uint8_t> on_path_;
  std::size_t size_ = 0;
  unsigned shift_;
  std::uint64_t multiplier_;
};

}  // namespace quorvane_dat::detail
