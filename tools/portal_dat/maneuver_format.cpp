// Fetching the combat maneuver table and the text and JSON forms of its rows.
#include "tools/portal_dat/maneuver_format.hpp"

#include <cstdio>

#include "quorvane_dat/utils/byte_reader.hpp"
#include "tests/common/motion_command_lookup.hpp"
#include "tools/portal_dat/json_writer.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

namespace {

// The name of a motion command id from the program's table, or empty.
std::string_view motion_name(std::uint32_t id) {
  return common::motion_command_names::motion_command_name(id).value_or(std::string_view());
}

std::string_view height_name(std::uint32_t height) {
  switch (height) {
    case 1: return "High";
    case 2: return "Medium";
    case 3: return "Low";
    default: return "";
  }
}

// "0x80000040 SwordShieldCombat", or the id alone when it has no name.
std::string labelled(std::uint32_t id) {
  // Built by appending: g++ 12 at -O3 misreports "0x" + string as overlapping.
  const std::string_view name = motion_name(id);
  std::string text = "0x";
  text += hex8(id);
  if (!name.empty()) {
    text += ' ';
    text += name;
  }
  return text;
}

}  // namespace

std::optional<quorvane_dat::CombatManeuverTable> read_maneuver_table(
    const quorvane_dat::DatDatabase& database, std::string& error) {
  const auto bytes = database.get_file(COMBAT_MANEUVER_TABLE_ID);
  if (!bytes) {
    error = hex8(COMBAT_MANEUVER_TABLE_ID) + ": " + bytes.error().display();
    return std::nullopt;
  }
  quorvane_dat::ByteReader reader(*bytes);
  auto table = quorvane_dat::CombatManeuverTable::read(reader);
  if (!table) {
    error = hex8(COMBAT_MANEUVER_TABLE_ID) + ": cannot read the combat maneuver table: " +
            table.error().report();
    return std::nullopt;
  }
  return std::move(table).value();
}

std::string maneuver_row_text(const quorvane_dat::CombatManeuver& row) {
  std::string height = std::to_string(row.attack_height);
  if (const std::string_view name = height_name(row.attack_height); !name.empty()) {
    height += ' ';
    height += name;
  }
  char line[256];
  std::snprintf(line, sizeof line, "%-32s height %-8s type 0x%02X  skill %5u  motion %s",
                labelled(row.style).c_str(), height.c_str(), row.attack_type, row.min_skill_level,
                labelled(row.motion).c_str());
  return line;
}

std::string maneuver_row_json(const quorvane_dat::CombatManeuver& row) {
  return JsonObject()
      .add("style", std::uint64_t{row.style})
      .add("style_name", motion_name(row.style))
      .add("attack_height", std::uint64_t{row.attack_height})
      .add("attack_height_name", height_name(row.attack_height))
      .add("attack_type", std::uint64_t{row.attack_type})
      .add("min_skill_level", std::uint64_t{row.min_skill_level})
      .add("motion", std::uint64_t{row.motion})
      .add("motion_name", motion_name(row.motion))
      .str();
}

}  // namespace portal_dat
