// Constants of the archive file format.
#pragma once

#include <cstdint>

#include "quorvane_dat/export.hpp"

namespace quorvane_dat {

inline constexpr std::uint64_t HEADER_OFFSET = 0x140;
inline constexpr std::uint64_t HEADER_SIZE = 80;
inline constexpr std::uint32_t VERSION_STRING_SIZE = 16;
inline constexpr std::uint32_t BLOCK_POINTER_SIZE = 4;

inline constexpr std::uint32_t NODE_BRANCH_COUNT = 62;
inline constexpr std::uint32_t NODE_ENTRY_SLOTS = 61;
inline constexpr std::uint32_t FILE_ENTRY_SIZE = 24;
inline constexpr std::uint32_t NODE_ENTRY_COUNT_OFFSET = NODE_BRANCH_COUNT * 4;    // 248
inline constexpr std::uint32_t NODE_ENTRIES_OFFSET = NODE_ENTRY_COUNT_OFFSET + 4;  // 252
inline constexpr std::uint32_t NODE_SIZE =
    NODE_ENTRIES_OFFSET + NODE_ENTRY_SLOTS * FILE_ENTRY_SIZE;  // 1716
static_assert(NODE_SIZE == 0x6B4);

inline constexpr std::uint32_t FILE_FLAG_COMPRESSED = 1;

}  // namespace quorvane_dat
