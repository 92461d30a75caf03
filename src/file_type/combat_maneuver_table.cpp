#include "quorvane_dat/file_type/combat_maneuver_table.hpp"

#include <utility>

#include "quorvane_dat/utils/detail/u32_fields.hpp"

namespace quorvane_dat {

namespace {

using detail::fail_field;

constexpr detail::U32Field<CombatManeuver> ROW_FIELDS[] = {
    QUORVANE_U32_FIELD(CombatManeuver, style),       QUORVANE_U32_FIELD(CombatManeuver, attack_height),
    QUORVANE_U32_FIELD(CombatManeuver, attack_type), QUORVANE_U32_FIELD(CombatManeuver, min_skill_level),
    QUORVANE_U32_FIELD(CombatManeuver, motion),
};

}  // namespace

Result<CombatManeuver, ParseError> CombatManeuver::read(ByteReader& reader) {
  CombatManeuver row;
  if (auto fields = detail::read_u32_fields(reader, reader.position(), row, ROW_FIELDS); !fields) {
    return Err{std::move(fields).error()};
  }
  return row;
}

Result<CombatManeuverTable, ParseError> CombatManeuverTable::read(ByteReader& reader) {
  const std::uint64_t start = reader.position();
  CombatManeuverTable table;
  auto id = reader.read_u32_le();
  if (!id) return fail_field(reader, start, std::move(id).error(), id_site);
  table.id = *id;

  auto count = reader.read_u32_le();
  if (!count) return fail_field(reader, start, std::move(count).error(), num_combat_maneuvers_site);

  // No reservation from the count: a huge count over a short record fails at
  // the first missing row after allocating only for the rows that were there.
  for (std::uint32_t i = 0; i < *count; ++i) {
    auto row = CombatManeuver::read(reader);
    if (!row) return fail_field(reader, start, std::move(row).error(), combat_maneuvers_site);
    table.combat_maneuvers.push_back(*row);
  }
  return table;
}

}  // namespace quorvane_dat
