// Decoder of the archive's LZSS-style compressed file bodies. Never fails: a
// short or malformed input yields a shorter result.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "quorvane_dat/export.hpp"

namespace quorvane_dat {

QUORVANE_DAT_API std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input);

/// The same decoding into `out`, replacing its contents; its capacity is reused.
QUORVANE_DAT_API void decompress_lrs_into(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out);

}  // namespace quorvane_dat
