// Stored words and records as bytes: a little-endian 32-bit word, and the
// combat maneuver table's record (its id, a row count, then 20 bytes a row).
// Inline, so that the record reader's own tests build their inputs without
// linking the rest of the writer.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "quorvane_dat/file_type/combat_maneuver_table.hpp"

namespace dat_writer {

// Appends `value` as four little-endian bytes.
inline void append_u32_le(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// The record with `id`, the stored `count` (which may disagree with the rows
// given, for hostile inputs) and `rows` in order.
inline std::vector<std::uint8_t> encode_maneuver_table(
    std::uint32_t id, std::uint32_t count, std::span<const quorvane_dat::CombatManeuver> rows) {
  std::vector<std::uint8_t> out;
  out.reserve(8 + 20 * rows.size());
  append_u32_le(out, id);
  append_u32_le(out, count);
  for (const quorvane_dat::CombatManeuver& row : rows) {
    for (const std::uint32_t field :
         {row.style, row.attack_height, row.attack_type, row.min_skill_level, row.motion}) {
      append_u32_le(out, field);
    }
  }
  return out;
}

}  // namespace dat_writer
