// The odd multiplier of the library's multiply-shift hashes, drawn at random
// once per process, so that values chosen by whoever wrote an archive (file
// ids, node offsets) cannot be aimed at one probe sequence.
#pragma once

#include <cstdint>

namespace quorvane_dat::detail {

std::uint64_t process_hash_multiplier() noexcept;

}  // namespace quorvane_dat::detail
