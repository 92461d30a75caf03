// FileIndex: the directory index of an open archive, a hash map from file id
// to a copy of its directory entry, holding exactly one entry per id.
//
// It is built once while the directory is walked and only looked up after
// that, so it is laid out for that use: the entries sit in one array in the
// order they were first inserted, and an open-addressing table of (id, index)
// slots finds them. Building it costs two growing arrays rather than one heap
// node per entry, and a lookup touches one slot and one entry.
//
// The slot of an id comes from a multiply-shift hash whose multiplier is drawn
// at random once per process, so ids chosen by whoever wrote the archive
// cannot be aimed at one probe sequence. Iteration follows insertion order
// and does not depend on the hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "lib/dat_header.hpp"

namespace quorvane_dat {

class FileIndex {
 public:
  using value_type = std::pair<std::uint32_t, DatFileEntry>;
  using const_iterator = std::vector<value_type>::const_iterator;

  FileIndex();

  std::size_t size() const noexcept { return entries_.size(); }
  bool empty() const noexcept { return entries_.empty(); }

  // Makes room for `count` entries without growing again.
  void reserve(std::size_t count);

  // Stores `entry` under its id; an entry already held under that id is
  // replaced (its place in the iteration order is kept).
  void insert_or_assign(const DatFileEntry& entry);

  // The entry held under `id`, or nullptr.
  const DatFileEntry* find(std::uint32_t id) const noexcept;
  bool contains(std::uint32_t id) const noexcept { return find(id) != nullptr; }
  std::size_t count(std::uint32_t id) const noexcept { return contains(id) ? 1 : 0; }
  // The entry held under `id`; throws std::out_of_range when there is none.
  const DatFileEntry& at(std::uint32_t id) const;

  const_iterator begin() const noexcept { return entries_.begin(); }
  const_iterator end() const noexcept { return entries_.end(); }

  // Equal when both hold the same ids with equal entries, in any order.
  friend bool operator==(const FileIndex& a, const FileIndex& b) noexcept;

 private:
  struct Slot {
    std::uint32_t id;
    std::uint32_t index_plus_one;  // 0: the slot is empty
  };

  // Multiply-shift: the top bits of the product pick the slot.
  std::size_t slot_of(std::uint32_t id) const noexcept {
    return static_cast<std::size_t>((std::uint64_t{id} * multiplier_) >> shift_);
  }
  void rehash(std::size_t slot_count);

  std::vector<value_type> entries_;
  std::vector<Slot> slots_;  // a power of two in size, at most half full
  unsigned shift_ = 64;      // 64 - log2(slots_.size())
  std::uint64_t multiplier_;  // odd; the same for every index of the process
};

}  // namespace quorvane_dat
