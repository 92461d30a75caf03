// Little-endian loads from raw bytes, independent of the host's byte order
// and of the pointer's alignment.
#pragma once

#include <cstdint>

namespace quorvane_base {

// Reads the 16-bit little-endian value at p[0..2).
constexpr std::uint16_t load_u16_le(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8));
}

// Reads the 32-bit little-endian value at p[0..4).
constexpr std::uint32_t load_u32_le(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace quorvane_base
