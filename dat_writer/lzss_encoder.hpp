// Encoder for the archive's compressed file bodies: a 4-byte little-endian
// declared size, then groups of eight tokens led by a flag byte (most
// significant bit first; 1 = back-reference of 2 bytes, 0 = literal byte).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace dat_writer {

// Greedy LZSS with hash chains: matches of 3 to 17 bytes at distances of 1 to
// 4095, overlapping matches included. Never emits the zero-distance end mark;
// the declared size ends the stream.
std::vector<std::uint8_t> compress_lrs(std::span<const std::uint8_t> input);

}  // namespace dat_writer
