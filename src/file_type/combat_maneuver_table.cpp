#include "quorvane_dat/file_type/combat_maneuver_table.hpp"

#include <array>

namespace quorvane_dat {

namespace {

struct RowField {
  std::uint32_t CombatManeuver::*member;
  const FieldSite* site;
};

constexpr std::array<RowField, 5> ROW_FIELDS{{
    {&CombatManeuver::style, &CombatManeuver::style_site},
    {&CombatManeuver::attack_height, &CombatManeuver::attack_height_site},
    {&CombatManeuver::attack_type, &CombatManeuver::attack_type_site},
    {&CombatManeuver::min_skill_level, &CombatManeuver::min_skill_level_site},
    {&CombatManeuver::motion, &CombatManeuver::motion_site},
}};

}  // namespace

Result<CombatManeuver, ParseError> CombatManeuver::read(ByteReader& reader) {
  const std::uint64_t start = reader.position();
  CombatManeuver row;
  for (const RowField& field : ROW_FIELDS) {
    auto value = reader.read_u32_le();
    if (!value) {
      reader.rewind_to(start);
      return Err{std::move(value).error().with_field(*field.site)};
    }
    row.*field.member = *value;
  }
  return row;
}

Result<CombatManeuverTable, ParseError> CombatManeuverTable::read(ByteReader& reader) {
  const std::uint64_t start = reader.position();
  auto fail = [&](ParseError&& error, const FieldSite& site) -> Result<CombatManeuverTable, ParseError> {
    reader.rewind_to(start);
    return Err{std::move(error).with_field(site)};
  };

  CombatManeuverTable table;
  auto id = reader.read_u32_le();
  if (!id) return fail(std::move(id).error(), id_site);
  table.id = *id;

  auto count = reader.read_u32_le();
  if (!count) return fail(std::move(count).error(), num_combat_maneuvers_site);

  // No reservation from the count: a huge count over a short record fails at
  // the first missing row after allocating only for the rows that were there.
  for (std::uint32_t i = 0; i < *count; ++i) {
    auto row = CombatManeuver::read(reader);
    if (!row) return fail(std::move(row).error(), combat_maneuvers_site);
    table.combat_maneuvers.push_back(*row);
  }
  return table;
}

}  // namespace quorvane_dat
