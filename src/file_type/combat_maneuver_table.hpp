// The combat maneuver table record (file 0x30000000) and its rows.
#pragma once
// clang-format off
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "quorvane_dat/export.hpp"
#include "quorvane_dat/error/parse_error.hpp"
#include "quorvane_dat/error/result.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"

namespace quorvane_dat {

/// The file id of the combat maneuver table, which its record also carries.
inline constexpr std::uint32_t COMBAT_MANEUVER_TABLE_ID = 0x30000000u;

/// The name of an attack height: "High", "Medium", "Low" for 1, 2, 3, and
/// nothing for any other value (each caller says what to show then).
constexpr std::optional<std::string_view> attack_height_label(std::uint32_t attack_height) noexcept {
  switch (attack_height) {
    case 1: return "High";
    case 2: return "Medium";
    case 3: return "Low";
    default: return std::nullopt;
  }
}

/// One 20-byte row: a stance, an attack height and type, and the motion played.
/// Each field's site (for parse-error frames) is declared on the field's line.
struct QUORVANE_DAT_API CombatManeuver {
  std::uint32_t style = 0;            QUORVANE_FIELD_SITE(CombatManeuver, style);
  std::uint32_t attack_height = 0;    QUORVANE_FIELD_SITE(CombatManeuver, attack_height);
  std::uint32_t attack_type = 0;      QUORVANE_FIELD_SITE(CombatManeuver, attack_type);
  std::uint32_t min_skill_level = 0;  QUORVANE_FIELD_SITE(CombatManeuver, min_skill_level);
  std::uint32_t motion = 0;           QUORVANE_FIELD_SITE(CombatManeuver, motion);

  /// Reads the five fields in order; on failure the reader is back at the row's start.
  static Result<CombatManeuver, ParseError> read(ByteReader& reader);
  friend bool operator==(const CombatManeuver&, const CombatManeuver&) = default;
};

struct QUORVANE_DAT_API CombatManeuverTable {
  std::uint32_t id = 0;                          QUORVANE_FIELD_SITE(CombatManeuverTable, id);
  /// The row count is read from the record but not kept: it is the rows' length.
  QUORVANE_FIELD_SITE(CombatManeuverTable, num_combat_maneuvers);
  std::vector<CombatManeuver> combat_maneuvers;  QUORVANE_FIELD_SITE(CombatManeuverTable, combat_maneuvers);

  /// Reads the id, the row count and that many rows (the count reserves
  /// nothing); bytes after the last row are left unread. On failure no partial
  /// table is returned and the reader is back at the record's start.
  static Result<CombatManeuverTable, ParseError> read(ByteReader& reader);
  friend bool operator==(const CombatManeuverTable&, const CombatManeuverTable&) = default;
};

}  // namespace quorvane_dat
