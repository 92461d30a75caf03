#include "tools/portal_dat_sample/maneuver_rows.hpp"

#include <initializer_list>

namespace portal_dat_sample {

namespace {

using quorvane_dat::CombatManeuver;

struct Move {
  std::uint32_t height;
  std::uint32_t type;
  std::uint32_t motion;
};

// Appends one row per move for `style` at `skill`.
void add_tier(std::vector<CombatManeuver>& rows, std::uint32_t style, std::uint32_t skill,
              std::initializer_list<Move> moves) {
  for (const Move& move : moves) {
    rows.push_back(CombatManeuver{style, move.height, move.type, skill, move.motion});
  }
}

void add_hand_combat(std::vector<CombatManeuver>& rows) {
  add_tier(rows, HAND_COMBAT, 0,
           {{1, ATTACK_PUNCH, 0x1000018Fu}, {2, ATTACK_PUNCH, 0x10000190u},
            {3, ATTACK_PUNCH, 0x10000191u}, {3, ATTACK_KICK, 0x10000185u}});
  add_tier(rows, HAND_COMBAT, 100,
           {{1, ATTACK_PUNCH, 0x10000192u}, {2, ATTACK_PUNCH, 0x10000193u},
            {3, ATTACK_PUNCH, 0x10000194u}});
  add_tier(rows, HAND_COMBAT, 200,
           {{1, ATTACK_PUNCH, 0x10000195u}, {2, ATTACK_PUNCH, 0x10000196u},
            {3, ATTACK_PUNCH, 0x10000197u}});
}

// The sword stance carries backhands too; only the shield stance is audited.
void add_sword_combat(std::vector<CombatManeuver>& rows) {
  add_tier(rows, SWORD_COMBAT, 0,
           {{1, ATTACK_THRUST, 0x1000005Au}, {1, ATTACK_SLASH, 0x1000005Bu},
            {1, ATTACK_SLASH, BACKHAND_HIGH}, {2, ATTACK_THRUST, 0x10000058u},
            {2, ATTACK_SLASH, 0x1000005Cu}, {2, ATTACK_SLASH, BACKHAND_MED},
            {3, ATTACK_THRUST, 0x10000059u}, {3, ATTACK_SLASH, 0x1000005Du},
            {3, ATTACK_SLASH, BACKHAND_LOW}});
  add_tier(rows, SWORD_COMBAT, 150,
           {{1, ATTACK_SLASH, 0x10000121u}, {2, ATTACK_SLASH, 0x10000120u},
            {3, ATTACK_SLASH, 0x1000011Fu}, {1, ATTACK_THRUST, 0x10000127u},
            {2, ATTACK_THRUST, 0x10000126u}, {3, ATTACK_THRUST, 0x10000125u}});
  add_tier(rows, SWORD_COMBAT, 300,
           {{1, ATTACK_SLASH, 0x10000124u}, {2, ATTACK_SLASH, 0x10000123u},
            {3, ATTACK_SLASH, 0x10000122u}, {1, ATTACK_THRUST, 0x1000012Au},
            {2, ATTACK_THRUST, 0x10000129u}, {3, ATTACK_THRUST, 0x10000128u}});
}

struct ShieldBackhands {
  CombatManeuver high{SWORD_SHIELD_COMBAT, 1, ATTACK_SLASH, 0, BACKHAND_HIGH};
  CombatManeuver med{SWORD_SHIELD_COMBAT, 2, ATTACK_SLASH, 0, BACKHAND_MED};
  CombatManeuver low{SWORD_SHIELD_COMBAT, 3, ATTACK_SLASH, 0, BACKHAND_LOW};
};

// The audited stance: thrusts, slashes and one backhand per height, higher
// tiers of multi-strikes, a shield bash the name table does not know, and a
// slash that returns at a higher skill (a motion used by two rows).
void add_sword_shield_combat(std::vector<CombatManeuver>& rows, Variant variant) {
  ShieldBackhands backhand;
  switch (variant) {
    case Variant::HeightsOneOneThree: backhand.med.attack_height = 1; break;
    case Variant::HeightSeven: backhand.med.attack_height = 7; break;
    case Variant::AttackTypeTwo: backhand.high.attack_type = ATTACK_THRUST; break;
    case Variant::UnnamedBackhandMotion: backhand.low.motion = UNNAMED_LOW_BACKHAND; break;
    default: break;
  }
  const bool with_backhands = variant != Variant::NoBackhandRows;

  add_tier(rows, SWORD_SHIELD_COMBAT, 0,
           {{1, ATTACK_THRUST, 0x1000005Au}, {1, ATTACK_SLASH, 0x1000005Bu}});
  if (with_backhands) rows.push_back(backhand.high);
  add_tier(rows, SWORD_SHIELD_COMBAT, 0,
           {{2, ATTACK_THRUST, 0x10000058u}, {2, ATTACK_SLASH, 0x1000005Cu}});
  if (with_backhands) rows.push_back(backhand.med);
  add_tier(rows, SWORD_SHIELD_COMBAT, 0,
           {{3, ATTACK_THRUST, 0x10000059u}, {3, ATTACK_SLASH, 0x1000005Du}});
  if (with_backhands) rows.push_back(backhand.low);

  add_tier(rows, SWORD_SHIELD_COMBAT, 150,
           {{1, ATTACK_SLASH, 0x10000121u}, {2, ATTACK_THRUST, 0x10000126u},
            {2, ATTACK_PUNCH, UNNAMED_SHIELD_BASH}});
  add_tier(rows, SWORD_SHIELD_COMBAT, 300,
           {{3, ATTACK_SLASH, 0x10000122u}, {1, ATTACK_SLASH, 0x1000005Bu}});
  if (variant == Variant::FourBackhandRows) {
    rows.push_back(CombatManeuver{SWORD_SHIELD_COMBAT, 2, ATTACK_SLASH, 300, BACKHAND_MED});
  }
}

void add_two_handed_combat(std::vector<CombatManeuver>& rows) {
  add_tier(rows, TWO_HANDED_SWORD_COMBAT, 0,
           {{1, ATTACK_SLASH, 0x10000186u}, {2, ATTACK_SLASH, 0x10000187u},
            {3, ATTACK_SLASH, 0x10000188u}});
  add_tier(rows, TWO_HANDED_SWORD_COMBAT, 200,
           {{1, ATTACK_SLASH, 0x10000189u}, {2, ATTACK_SLASH, 0x1000018Au},
            {3, ATTACK_SLASH, 0x1000018Bu}, {1, ATTACK_THRUST, 0x1000018Cu},
            {2, ATTACK_THRUST, 0x1000018Du}, {3, ATTACK_THRUST, 0x1000018Eu}});
  add_tier(rows, TWO_HANDED_STAFF_COMBAT, 0,
           {{1, ATTACK_THRUST, 0x1000005Au}, {2, ATTACK_THRUST, 0x10000058u},
            {3, ATTACK_THRUST, 0x10000059u}, {3, ATTACK_SLASH, UNNAMED_STAFF_SWEEP}});
}

void add_dual_wield_combat(std::vector<CombatManeuver>& rows) {
  add_tier(rows, DUAL_WIELD_COMBAT, 0,
           {{1, ATTACK_SLASH, 0x1000005Bu}, {2, ATTACK_SLASH, 0x1000005Cu},
            {3, ATTACK_SLASH, 0x1000005Du}, {1, ATTACK_OFFHAND_SLASH, 0x10000173u},
            {2, ATTACK_OFFHAND_SLASH, 0x10000174u}, {3, ATTACK_OFFHAND_SLASH, 0x10000175u}});
  add_tier(rows, DUAL_WIELD_COMBAT, 250,
           {{1, ATTACK_OFFHAND_SLASH, 0x1000017Bu}, {2, ATTACK_OFFHAND_SLASH, 0x1000017Au},
            {3, ATTACK_OFFHAND_SLASH, 0x10000179u}, {1, ATTACK_OFFHAND_SLASH, 0x1000017Eu},
            {2, ATTACK_OFFHAND_SLASH, 0x1000017Du}, {3, ATTACK_OFFHAND_SLASH, 0x1000017Cu}});
}

// Missile stances: one shot per height at each of four skill tiers.
void add_missile_combat(std::vector<CombatManeuver>& rows) {
  const std::uint32_t stances[] = {BOW_COMBAT, CROSSBOW_COMBAT, SLING_COMBAT,
                                   THROWN_WEAPON_COMBAT, ATLATL_COMBAT};
  for (const std::uint32_t stance : stances) {
    for (const std::uint32_t skill : {0u, 75u, 175u, 325u}) {
      add_tier(rows, stance, skill,
               {{1, ATTACK_MISSILE, 0x100000D0u}, {2, ATTACK_MISSILE, 0x100000D1u},
                {3, ATTACK_MISSILE, 0x100000D2u}});
    }
    add_tier(rows, stance, 0, {{2, ATTACK_MISSILE, 0x10000061u}});
  }
}

// A second shield stance, with backhands of its own, that the audit must not count.
void add_thrown_shield_combat(std::vector<CombatManeuver>& rows) {
  add_tier(rows, THROWN_SHIELD_COMBAT, 0,
           {{1, ATTACK_SLASH, BACKHAND_HIGH}, {2, ATTACK_SLASH, BACKHAND_MED},
            {3, ATTACK_SLASH, BACKHAND_LOW}, {2, ATTACK_MISSILE, 0x100000D1u}});
  add_tier(rows, THROWN_SHIELD_COMBAT, 200,
           {{1, ATTACK_THRUST, 0x1000005Au}, {2, ATTACK_THRUST, 0x10000058u},
            {3, ATTACK_THRUST, 0x10000059u}});
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

}  // namespace

std::vector<CombatManeuver> maneuver_rows(Variant variant) {
  std::vector<CombatManeuver> rows;
  add_hand_combat(rows);
  add_sword_combat(rows);
  if (variant != Variant::NoShieldRows) add_sword_shield_combat(rows, variant);
  add_two_handed_combat(rows);
  add_dual_wield_combat(rows);
  add_missile_combat(rows);
  add_thrown_shield_combat(rows);
  return rows;
}

std::vector<std::uint8_t> encode_table(std::uint32_t id, std::span<const CombatManeuver> rows) {
  std::vector<std::uint8_t> out;
  out.reserve(8 + 20 * rows.size());
  put_u32(out, id);
  put_u32(out, static_cast<std::uint32_t>(rows.size()));
  for (const CombatManeuver& row : rows) {
    put_u32(out, row.style);
    put_u32(out, row.attack_height);
    put_u32(out, row.attack_type);
    put_u32(out, row.min_skill_level);
    put_u32(out, row.motion);
  }
  return out;
}

std::vector<std::uint8_t> table_record(Variant variant) {
  if (variant == Variant::ShortTable) {
    std::vector<std::uint8_t> out;
    put_u32(out, COMBAT_MANEUVER_TABLE_ID);
    return out;
  }
  const std::uint32_t id =
      variant == Variant::WrongSelfId ? COMBAT_MANEUVER_TABLE_ID + 1 : COMBAT_MANEUVER_TABLE_ID;
  return encode_table(id, maneuver_rows(variant));
}

}  // namespace portal_dat_sample
