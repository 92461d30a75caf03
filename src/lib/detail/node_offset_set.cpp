#include "quorvane_dat/lib/detail/node_offset_set.hpp"

namespace quorvane_dat::detail {

namespace {

constexpr unsigned INITIAL_BITS = 6;

}  // namespace

NodeOffsetSet::NodeOffsetSet()
    : keys_(std::size_t{1} << INITIAL_BITS, 0),
      on_path_(std::size_t{1} << INITIAL_BITS, 0),
      shift_(64 - INITIAL_BITS),
      multiplier_(process_hash_multiplier()) {}

std::size_t NodeOffsetSet::probe(std::uint32_t offset) const noexcept {
  return probe_slots(slot_of(offset), keys_.size(),
                     [&](std::size_t slot) { return keys_[slot] == 0 || keys_[slot] == offset; });
}

NodeOffsetSet::Seen NodeOffsetSet::find(std::uint32_t offset) const noexcept {
  const std::size_t slot = probe(offset);
  if (keys_[slot] == 0) return Seen::Never;
  return on_path_[slot] != 0 ? Seen::OnPath : Seen::Left;
}

void NodeOffsetSet::add_on_path(std::uint32_t offset) {
  if (2 * (size_ + 1) > keys_.size()) grow();
  const std::size_t slot = probe(offset);
  keys_[slot] = offset;
  on_path_[slot] = 1;
  ++size_;
}

void NodeOffsetSet::leave(std::uint32_t offset) noexcept {
  const std::size_t slot = probe(offset);
  if (keys_[slot] == offset) on_path_[slot] = 0;
}

void NodeOffsetSet::grow() {
  std::vector<std::uint32_t> old_keys(keys_.size() * 2, 0);
  std::vector<std::uint8_t> old_marks(on_path_.size() * 2, 0);
  old_keys.swap(keys_);
  old_marks.swap(on_path_);
  --shift_;
  for (std::size_t i = 0; i < old_keys.size(); ++i) {
    if (old_keys[i] == 0) continue;
    const std::size_t slot =
        probe_slots(slot_of(old_keys[i]), keys_.size(), [&](std::size_t s) { return keys_[s] == 0; });
    keys_[slot] = old_keys[i];
    on_path_[slot] = old_marks[i];
  }
}

}  // namespace quorvane_dat::detail
