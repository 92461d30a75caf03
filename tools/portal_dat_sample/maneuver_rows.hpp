// The rows of the sample combat maneuver table and its byte encoding.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "tools/portal_dat_sample/sample_variant.hpp"

namespace portal_dat_sample {

using quorvane_dat::COMBAT_MANEUVER_TABLE_ID;

// Stances (motion command ids of the combat styles).
inline constexpr std::uint32_t HAND_COMBAT = 0x8000003Cu;
inline constexpr std::uint32_t SWORD_COMBAT = 0x8000003Eu;
inline constexpr std::uint32_t SWORD_SHIELD_COMBAT = 0x80000040u;
inline constexpr std::uint32_t TWO_HANDED_SWORD_COMBAT = 0x80000044u;
inline constexpr std::uint32_t TWO_HANDED_STAFF_COMBAT = 0x80000045u;
inline constexpr std::uint32_t DUAL_WIELD_COMBAT = 0x80000046u;
inline constexpr std::uint32_t BOW_COMBAT = 0x8000003Fu;
inline constexpr std::uint32_t CROSSBOW_COMBAT = 0x80000041u;
inline constexpr std::uint32_t SLING_COMBAT = 0x80000043u;
inline constexpr std::uint32_t THROWN_WEAPON_COMBAT = 0x80000047u;
inline constexpr std::uint32_t ATLATL_COMBAT = 0x8000013Bu;
inline constexpr std::uint32_t THROWN_SHIELD_COMBAT = 0x8000013Cu;

// Attack types.
inline constexpr std::uint32_t ATTACK_PUNCH = 0x01u;
inline constexpr std::uint32_t ATTACK_THRUST = 0x02u;
inline constexpr std::uint32_t ATTACK_SLASH = 0x04u;
inline constexpr std::uint32_t ATTACK_KICK = 0x08u;
inline constexpr std::uint32_t ATTACK_OFFHAND_SLASH = 0x20u;
inline constexpr std::uint32_t ATTACK_MISSILE = 0x100u;

// Backhand motions.
inline constexpr std::uint32_t BACKHAND_HIGH = 0x1000005Eu;
inline constexpr std::uint32_t BACKHAND_MED = 0x1000005Fu;
inline constexpr std::uint32_t BACKHAND_LOW = 0x10000060u;

// Motions the sample plays that the name table does not know.
inline constexpr std::uint32_t UNNAMED_SHIELD_BASH = 0x100001A4u;
inline constexpr std::uint32_t UNNAMED_STAFF_SWEEP = 0x100001A7u;
inline constexpr std::uint32_t UNNAMED_LOW_BACKHAND = 0x100001B0u;

// The table's rows in file order for `variant`.
std::vector<quorvane_dat::CombatManeuver> maneuver_rows(Variant variant);

// The table record: id, row count and the 20-byte rows, little-endian.
std::vector<std::uint8_t> encode_table(std::uint32_t id,
                                       std::span<const quorvane_dat::CombatManeuver> rows);

// The stored table content of `variant` (its id and rows, or the short record).
std::vector<std::uint8_t> table_record(Variant variant);

}  // namespace portal_dat_sample
