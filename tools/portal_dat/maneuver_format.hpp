// The combat maneuver table as cmt and diff --records show it: fetched and
// decoded, and each row as one text line or one JSON object, with the names
// of its stance, height and motion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "quorvane_dat/lib/dat_database.hpp"

namespace portal_dat {

using quorvane_dat::COMBAT_MANEUVER_TABLE_ID;

// The table read from the archive, or nullopt with the reason in `error`
// ("30000000: ...").
std::optional<quorvane_dat::CombatManeuverTable> read_maneuver_table(
    const quorvane_dat::DatDatabase& database, std::string& error);

// "0x8000003C HandCombat            height 1 High   type 0x01  skill     0  motion 0x1000018F PunchFastHigh"
std::string maneuver_row_text(const quorvane_dat::CombatManeuver& row);

// The row as a JSON object, its numbers beside their names.
std::string maneuver_row_json(const quorvane_dat::CombatManeuver& row);

}  // namespace portal_dat
