// The odd multiplier of the library's multiply-shift hashes, drawn at random
// once per process, so that values chosen by whoever wrote an archive (file
// ids, node offsets) cannot be aimed at one probe sequence; and the probing
// that goes with it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane_dat::detail {

std::uint64_t process_hash_multiplier() noexcept;

// The probing that the library's open-addressing tables share: a key's home
// slot by multiply-shift in a table of 2^(64 - shift) slots, then linear
// probing, wrapping at the end, until `stop(slot)` holds. The tables keep at
// most half their slots full, so a probe always ends.
inline std::size_t home_slot(std::uint32_t key, std::uint64_t multiplier, unsigned shift) noexcept {
  return static_cast<std::size_t>((std::uint64_t{key} * multiplier) >> shift);
}

template <class Stop>
std::size_t probe_slots(std::size_t home, std::size_t slot_count, Stop&& stop) {
  const std::size_t mask = slot_count - 1;
  std::size_t slot = home;
  while (!stop(slot)) slot = (slot + 1) & mask;
  return slot;
}

}  // namespace quorvane_dat::detail
