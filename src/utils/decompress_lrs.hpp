// Decoder of the archive's LZSS-style compressed file bodies. Never fails: a
// short or malformed input yields a shorter result.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quorvane_dat {

std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input);

}  // namespace quorvane_dat
