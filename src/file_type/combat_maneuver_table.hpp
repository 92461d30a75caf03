// The combat maneuver table record (file 0x30000000) and its rows.
#pragma once

#include <cstdint>
#include <vector>

#include "error/parse_error.hpp"
#include "error/result.hpp"
#include "utils/byte_reader.hpp"

namespace quorvane_dat {

struct CombatManeuver {
  std::uint32_t style = 0;
  std::uint32_t attack_height = 0;
  std::uint32_t attack_type = 0;
  std::uint32_t min_skill_level = 0;
  std::uint32_t motion = 0;

  static Result<CombatManeuver, ParseError> read(ByteReader& reader);
  friend bool operator==(const CombatManeuver&, const CombatManeuver&) = default;
};

struct CombatManeuverTable {
  std::uint32_t id = 0;
  std::vector<CombatManeuver> combat_maneuvers;

  static Result<CombatManeuverTable, ParseError> read(ByteReader& reader);
  friend bool operator==(const CombatManeuverTable&, const CombatManeuverTable&) = default;
};

}  // namespace quorvane_dat
