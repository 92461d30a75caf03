// FileIndex: the directory index of an open archive, a hash map from file id
// to a copy of its directory entry, holding exactly one entry per id.
//
// It is built once while the directory is walked and only looked up after
// that, so it is laid out for that use and for touching little memory: the
// entries sit in fixed-size chunks in the order they were first inserted
// (growing never copies or leaves a discarded array behind), and an
// open-addressing table of 4-byte entry numbers finds them. Building it costs
// a handful of allocations rather than one heap node per entry.
//
// The slot of an id comes from a multiply-shift hash whose multiplier is drawn
// at random once per process, so ids chosen by whoever wrote the archive
// cannot be aimed at one probe sequence. Iteration follows insertion order
// and does not depend on the hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "quorvane_dat/export.hpp"
#include "quorvane_dat/lib/dat_header.hpp"

namespace quorvane_dat {

class QUORVANE_DAT_API FileIndex {
 public:
  using value_type = std::pair<std::uint32_t, DatFileEntry>;

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = FileIndex::value_type;
    using difference_type = std::ptrdiff_t;
    using pointer = const value_type*;
    using reference = const value_type&;

    const_iterator() = default;
    reference operator*() const noexcept { return index_->item(position_); }
    pointer operator->() const noexcept { return &index_->item(position_); }
    const_iterator& operator++() noexcept {
      ++position_;
      return *this;
    }
    const_iterator operator++(int) noexcept {
      const_iterator before = *this;
      ++position_;
      return before;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) noexcept {
      return a.position_ == b.position_;
    }

   private:
    friend class FileIndex;
    const_iterator(const FileIndex* index, std::size_t position) noexcept
        : index_(index), position_(position) {}
    const FileIndex* index_ = nullptr;
    std::size_t position_ = 0;
  };

  FileIndex();
  FileIndex(FileIndex&&) noexcept;
  FileIndex& operator=(FileIndex&&) noexcept;
  FileIndex(const FileIndex&) = delete;
  FileIndex& operator=(const FileIndex&) = delete;
  ~FileIndex();

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

  /// Makes room in the lookup table for `count` entries without growing it
  /// again; false (the index unchanged) when the memory cannot be had.
  bool reserve(std::size_t count) noexcept;

  /// Stores `entry` under its id; an entry already held under that id is
  /// replaced (its place in the iteration order is kept). False, with the
  /// index unchanged, when it cannot grow (out of memory, or 2^32 - 1 entries).
  bool insert_or_assign(const DatFileEntry& entry) noexcept;

  /// The entry held under `id`, or nullptr.
  const DatFileEntry* find(std::uint32_t id) const noexcept;
  bool contains(std::uint32_t id) const noexcept { return find(id) != nullptr; }
  std::size_t count(std::uint32_t id) const noexcept { return contains(id) ? 1 : 0; }

  const_iterator begin() const noexcept { return {this, 0}; }
  const_iterator end() const noexcept { return {this, size_}; }

  /// Equal when both hold the same ids with equal entries, in any order.
  friend QUORVANE_DAT_API bool operator==(const FileIndex& a, const FileIndex& b) noexcept;

 private:
  static constexpr unsigned CHUNK_BITS = 9;  // 512 entries, 14 KiB per chunk
  static constexpr std::size_t CHUNK_SIZE = std::size_t{1} << CHUNK_BITS;

  value_type& item(std::size_t position) const noexcept {
    return chunks_[position >> CHUNK_BITS][position & (CHUNK_SIZE - 1)];
  }
  /// Multiply-shift: the top bits of the product pick the slot.
  std::size_t slot_of(std::uint32_t id) const noexcept {
    return static_cast<std::size_t>((std::uint64_t{id} * multiplier_) >> shift_);
  }
  void rehash(std::size_t slot_count);
  bool insert_or_assign_or_throw(const DatFileEntry& entry);
  void release() noexcept;

  /// Storage for CHUNK_SIZE entries each; an entry is constructed when inserted.
  std::vector<value_type*> chunks_;
  std::size_t size_ = 0;
  /// Entry number + 1 per slot, 0 for an empty slot; a power of two in size,
  /// at most half full.
  std::vector<std::uint32_t> slots_;
  unsigned shift_ = 64;       // 64 - log2(slots_.size())
  std::uint64_t multiplier_;  // odd; the same for every index of the process
};

}  // namespace quorvane_dat
