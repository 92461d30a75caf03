#include "tools/portal_dat_sample/maneuver_rows.hpp"

#include <array>
#include <initializer_list>

#include "dat_writer/record_bytes.hpp"

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

// Appends one row of attack `type` per height, High (1) to Low (3), playing
// `motions` in that order.
void add_heights(std::vector<CombatManeuver>& rows, std::uint32_t style, std::uint32_t skill,
                 std::uint32_t type, const std::array<std::uint32_t, 3>& motions) {
  for (std::uint32_t height = 1; height <= 3; ++height) {
    rows.push_back(CombatManeuver{style, height, type, skill, motions[height - 1]});
  }
}

void add_hand_combat(std::vector<CombatManeuver>& rows) {
  add_heights(rows, HAND_COMBAT, 0, ATTACK_PUNCH, {0x1000018Fu, 0x10000190u, 0x10000191u});
  add_tier(rows, HAND_COMBAT, 0, {{3, ATTACK_KICK, 0x10000185u}});
  add_heights(rows, HAND_COMBAT, 100, ATTACK_PUNCH, {0x10000192u, 0x10000193u, 0x10000194u});
  add_heights(rows, HAND_COMBAT, 200, ATTACK_PUNCH, {0x10000195u, 0x10000196u, 0x10000197u});
}

// The sword stance carries backhands too; only the shield stance is audited.
void add_sword_combat(std::vector<CombatManeuver>& rows) {
  add_tier(rows, SWORD_COMBAT, 0,
           {{1, ATTACK_THRUST, 0x1000005Au},
            {1, ATTACK_SLASH, 0x1000005Bu},
            {1, ATTACK_SLASH, BACKHAND_HIGH},
            {2, ATTACK_THRUST, 0x10000058u},
            {2, ATTACK_SLASH, 0x1000005Cu},
            {2, ATTACK_SLASH, BACKHAND_MED},
            {3, ATTACK_THRUST, 0x10000059u},
            {3, ATTACK_SLASH, 0x1000005Du},
            {3, ATTACK_SLASH, BACKHAND_LOW}});
  add_heights(rows, SWORD_COMBAT, 150, ATTACK_SLASH, {0x10000121u, 0x10000120u, 0x1000011Fu});
  add_heights(rows, SWORD_COMBAT, 150, ATTACK_THRUST, {0x10000127u, 0x10000126u, 0x10000125u});
  add_heights(rows, SWORD_COMBAT, 300, ATTACK_SLASH, {0x10000124u, 0x10000123u, 0x10000122u});
  add_heights(rows, SWORD_COMBAT, 300, ATTACK_THRUST, {0x1000012Au, 0x10000129u, 0x10000128u});
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
           {{1, ATTACK_SLASH, 0x10000121u},
            {2, ATTACK_THRUST, 0x10000126u},
            {2, ATTACK_PUNCH, UNNAMED_SHIELD_BASH}});
  add_tier(rows, SWORD_SHIELD_COMBAT, 300,
           {{3, ATTACK_SLASH, 0x10000122u}, {1, ATTACK_SLASH, 0x1000005Bu}});
  if (variant == Variant::FourBackhandRows) {
    rows.push_back(CombatManeuver{SWORD_SHIELD_COMBAT, 2, ATTACK_SLASH, 300, BACKHAND_MED});
  }
}

void add_two_handed_combat(std::vector<CombatManeuver>& rows) {
  const std::uint32_t sword = TWO_HANDED_SWORD_COMBAT;
  add_heights(rows, sword, 0, ATTACK_SLASH, {0x10000186u, 0x10000187u, 0x10000188u});
  add_heights(rows, sword, 200, ATTACK_SLASH, {0x10000189u, 0x1000018Au, 0x1000018Bu});
  add_heights(rows, sword, 200, ATTACK_THRUST, {0x1000018Cu, 0x1000018Du, 0x1000018Eu});
  const std::uint32_t staff = TWO_HANDED_STAFF_COMBAT;
  add_heights(rows, staff, 0, ATTACK_THRUST, {0x1000005Au, 0x10000058u, 0x10000059u});
  add_tier(rows, staff, 0, {{3, ATTACK_SLASH, UNNAMED_STAFF_SWEEP}});
}

void add_dual_wield_combat(std::vector<CombatManeuver>& rows) {
  const std::uint32_t dual = DUAL_WIELD_COMBAT;
  add_heights(rows, dual, 0, ATTACK_SLASH, {0x1000005Bu, 0x1000005Cu, 0x1000005Du});
  add_heights(rows, dual, 0, ATTACK_OFFHAND_SLASH, {0x10000173u, 0x10000174u, 0x10000175u});
  add_heights(rows, dual, 250, ATTACK_OFFHAND_SLASH, {0x1000017Bu, 0x1000017Au, 0x10000179u});
  add_heights(rows, dual, 250, ATTACK_OFFHAND_SLASH, {0x1000017Eu, 0x1000017Du, 0x1000017Cu});
}

// Missile stances: one shot per height at each of four skill tiers.
void add_missile_combat(std::vector<CombatManeuver>& rows) {
  const std::uint32_t stances[] = {BOW_COMBAT, CROSSBOW_COMBAT, SLING_COMBAT, THROWN_WEAPON_COMBAT,
                                   ATLATL_COMBAT};
  for (const std::uint32_t stance : stances) {
    for (const std::uint32_t skill : {0u, 75u, 175u, 325u}) {
      add_heights(rows, stance, skill, ATTACK_MISSILE, {0x100000D0u, 0x100000D1u, 0x100000D2u});
    }
    add_tier(rows, stance, 0, {{2, ATTACK_MISSILE, 0x10000061u}});
  }
}

// A second shield stance, with backhands of its own, that the audit must not count.
void add_thrown_shield_combat(std::vector<CombatManeuver>& rows) {
  const std::uint32_t stance = THROWN_SHIELD_COMBAT;
  add_heights(rows, stance, 0, ATTACK_SLASH, {BACKHAND_HIGH, BACKHAND_MED, BACKHAND_LOW});
  add_tier(rows, stance, 0, {{2, ATTACK_MISSILE, 0x100000D1u}});
  add_heights(rows, stance, 200, ATTACK_THRUST, {0x1000005Au, 0x10000058u, 0x10000059u});
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
  return dat_writer::encode_maneuver_table(id, static_cast<std::uint32_t>(rows.size()), rows);
}

std::vector<std::uint8_t> table_record(Variant variant) {
  if (variant == Variant::ShortTable) {
    std::vector<std::uint8_t> out;
    dat_writer::append_u32_le(out, COMBAT_MANEUVER_TABLE_ID);
    return out;
  }
  const std::uint32_t id =
      variant == Variant::WrongSelfId ? COMBAT_MANEUVER_TABLE_ID + 1 : COMBAT_MANEUVER_TABLE_ID;
  return encode_table(id, maneuver_rows(variant));
}

}  // namespace portal_dat_sample
