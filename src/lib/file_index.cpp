#include "quorvane_dat/lib/file_index.hpp"

#include <algorithm>
#include <limits>
#include <type_traits>

#include "quorvane_dat/lib/detail/hash_seed.hpp"
#include "quorvane_dat/lib/detail/library_boundary.hpp"

namespace quorvane_dat {

namespace {

constexpr std::size_t MIN_SLOTS = 64;

}  // namespace

static_assert(std::is_trivially_destructible_v<FileIndex::value_type>,
              "entries are dropped with their chunks, without destructor calls");

FileIndex::FileIndex() : multiplier_(detail::process_hash_multiplier()) {}

FileIndex::FileIndex(FileIndex&& other) noexcept
    : chunks_(std::move(other.chunks_)),
      size_(std::exchange(other.size_, 0)),
      slots_(std::move(other.slots_)),
      shift_(std::exchange(other.shift_, 64)),
      multiplier_(other.multiplier_) {
  other.chunks_.clear();
  other.slots_.clear();
}

FileIndex& FileIndex::operator=(FileIndex&& other) noexcept {
  if (this != &other) {
    release();
    chunks_ = std::move(other.chunks_);
    size_ = std::exchange(other.size_, 0);
    slots_ = std::move(other.slots_);
    shift_ = std::exchange(other.shift_, 64);
    multiplier_ = other.multiplier_;
    other.chunks_.clear();
    other.slots_.clear();
  }
  return *this;
}

FileIndex::~FileIndex() { release(); }

void FileIndex::release() noexcept {
  std::allocator<value_type> allocator;
  for (value_type* chunk : chunks_) allocator.deallocate(chunk, CHUNK_SIZE);
  chunks_.clear();
  size_ = 0;
}

bool FileIndex::reserve(std::size_t count) noexcept {
  std::size_t slots = MIN_SLOTS;
  while (slots / 2 < count) {
    if (slots > std::numeric_limits<std::uint32_t>::max()) return false;
    slots *= 2;
  }
  if (slots <= slots_.size()) return true;
  return detail::on_exhaustion([&] { return rehash(slots), true; }, [] { return false; });
}

void FileIndex::rehash(std::size_t slot_count) {
  slots_.assign(slot_count, 0);
  shift_ = 64;
  for (std::size_t n = slot_count; n > 1; n >>= 1) --shift_;
  for (std::size_t i = 0; i < size_; ++i) {
    const std::size_t s = detail::probe_slots(slot_of(item(i).first), slot_count,
                                              [&](std::size_t at) { return slots_[at] == 0; });
    slots_[s] = static_cast<std::uint32_t>(i + 1);
  }
}

bool FileIndex::insert_or_assign(const DatFileEntry& entry) noexcept {
  return detail::on_exhaustion([&] { return insert_or_assign_or_throw(entry); }, [] { return false; });
}

bool FileIndex::insert_or_assign_or_throw(const DatFileEntry& entry) {
  if (slots_.empty() || size_ + 1 > slots_.size() / 2) {
    rehash(slots_.empty() ? MIN_SLOTS : slots_.size() * 2);
  }
  const std::size_t s = detail::probe_slots(slot_of(entry.id), slots_.size(), [&](std::size_t at) {
    return slots_[at] == 0 || item(slots_[at] - 1).first == entry.id;
  });
  if (slots_[s] != 0) {
    item(slots_[s] - 1).second = entry;
    return true;
  }
  // Entry numbers are 32-bit; the last id of the whole range would not fit
  // (and its index would take tens of gigabytes before that).
  if (size_ == std::numeric_limits<std::uint32_t>::max()) return false;
  if ((size_ & (CHUNK_SIZE - 1)) == 0) {
    if (chunks_.size() == chunks_.capacity())
      chunks_.reserve(std::max<std::size_t>(8, 2 * chunks_.size()));
    chunks_.push_back(std::allocator<value_type>().allocate(CHUNK_SIZE));
  }
  std::construct_at(&item(size_), entry.id, entry);
  ++size_;
  slots_[s] = static_cast<std::uint32_t>(size_);
  return true;
}

const DatFileEntry* FileIndex::find(std::uint32_t id) const noexcept {
  if (slots_.empty()) return nullptr;
  const std::size_t s = detail::probe_slots(slot_of(id), slots_.size(), [&](std::size_t at) {
    return slots_[at] == 0 || item(slots_[at] - 1).first == id;
  });
  return slots_[s] != 0 ? &item(slots_[s] - 1).second : nullptr;
}

bool operator==(const FileIndex& a, const FileIndex& b) noexcept {
  if (a.size() != b.size()) return false;
  for (const auto& [id, entry] : a) {
    const DatFileEntry* other = b.find(id);
    if (other == nullptr || !(*other == entry)) return false;
  }
  return true;
}

}  // namespace quorvane_dat
