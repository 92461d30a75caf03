// The shield-stance backhand audit: its constants, the two labelling helpers
// of its report, the check itself and the program's registry of checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "runner/test_types.hpp"

namespace audit {

// File id of the combat maneuver table, and the id the decoded table must carry.
using quorvane_dat::COMBAT_MANEUVER_TABLE_ID;
// `style` of the rows of the sword-and-shield stance (SwordShieldCombat).
inline constexpr std::uint32_t SWORD_SHIELD_COMBAT = 0x80000040u;
// `attack_type` of a slash.
inline constexpr std::uint32_t ATTACK_TYPE_SLASH = 4u;
// The stance must carry this many backhand rows, one per attack height 1, 2, 3.
inline constexpr std::size_t EXPECTED_BACKHAND_ROWS = 3;

// "BackhandHigh (0x1000005E)" for a named motion, "0xDEADBEEF" otherwise.
std::string motion_label(std::uint32_t motion);

// "High", "Medium", "Low" for heights 1, 2, 3; "Unknown" for anything else.
std::string_view attack_height_name(std::uint32_t attack_height) noexcept;

// True when the motion table names `motion` and the name holds "backhand" in
// any ASCII letter case.
bool is_backhand_motion(std::uint32_t motion) noexcept;

// The audit check: reads the combat maneuver table from portal.dat, prints
// its report and asserts the three slash backhand rows of SwordShieldCombat.
void shield_stance_has_three_backhand_rows();

// The program's four checks, in ascending byte order of name.
std::span<const runner::TestDescAndFn> registry() noexcept;

}  // namespace audit
