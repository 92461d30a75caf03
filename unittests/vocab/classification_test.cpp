// Classification of motion command ids into motion command classes.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <string_view>
#include <vector>

#include "tests/common/motion_command_names.hpp"

namespace common::motion_command_names {
// Lets GoogleTest show classes by name in its own failure messages.
void PrintTo(MotionCommandClass value, std::ostream* os) { *os << debug_name(value); }
}  // namespace common::motion_command_names

namespace {

using common::motion_command_names::debug_name;
using common::motion_command_names::motion_command_class;
using common::motion_command_names::MOTION_COMMAND_NAMES;
using common::motion_command_names::MotionCommandClass;
using C = MotionCommandClass;

struct ClassCase {
  std::uint32_t id;
  C expected;
  std::string_view why;
};

TEST(Classification, RulesInOrder) {
  const std::vector<ClassCase> cases{
      {0x00000000, C::Invalid, "id 0"},
      {0x2500003B, C::Jump, "Jump by id"},
      {0x2000003A, C::Stop, "StopTurning"},
      {0x20000001, C::Stop, "unnamed id under the stop top byte"},
      {0x20FFFFFF, C::Stop, "unnamed id under the stop top byte"},
      {0x25000001, C::Misc, "only the one jump id is Jump"},
      {0x4000001E, C::Aim, "AimLevel, ahead of its top byte"},
      {0x4000002A, C::Aim, "AimLow90"},
      {0x4000002B, C::MagicGesture, "MagicBlast"},
      {0x40000039, C::MagicGesture, "MagicPray"},
      {0x80000049, C::Stance, "Magic under the stance top byte"},
      {0x1000006F, C::Action, "MagicPowerUp01 under the action top byte"},
      {0x8000003D, C::Stance, "NonCombat"},
      {0x80000040, C::Stance, "SwordShieldCombat"},
      {0x45000005, C::Locomotion, "WalkForward"},
      {0x44000007, C::Locomotion, "RunForward"},
      {0x40000004, C::Locomotion, "Stop is named, but its top byte decides"},
      {0x6500000D, C::Turn, "TurnRight"},
      {0x85000001, C::HoldKey, "HoldRun"},
      {0x41000003, C::Posture, "Ready"},
      {0x430000EA, C::StateEmote, "ShakeFistState"},
      {0x1300004C, C::QuickEmote, "Cheer"},
      {0x10000186, C::AttackHigh, "AttackHigh4"},
      {0x10000187, C::AttackMedium, "AttackMed4"},
      {0x10000188, C::AttackLow, "AttackLow4"},
      {0x1000011F, C::AttackLow, "DoubleSlashLow"},
      {0x10000121, C::AttackHigh, "DoubleSlashHigh"},
      {0x10000058, C::AttackMedium, "ThrustMed"},
      {0x10000194, C::AttackLow, "PunchSlowLow"},
      {0x10000185, C::Action, "OffhandKick: attack word, no height word"},
      {0x100000CD, C::Action, "SpecialAttack1: attack word, no height word"},
      {0x1000005E, C::Action, "BackhandHigh: no attack word"},
      {0x10000061, C::Action, "Shoot"},
      {0x1000004A, C::Action, "Hop"},
      {0x10000001, C::Action, "unnamed id under the action top byte"},
      {0x40000001, C::Locomotion, "unnamed id under the locomotion top byte"},
      {0x090000B1, C::Misc, "ToggleCombat"},
      {0x0D0000B2, C::Misc, "HighAttack: not under the action top byte"},
      {0x420000F9, C::Misc, "ATOYOT"},
      {0x90000001, C::UiPanel, "top byte 0x90"},
      {0x90000000, C::UiPanel, "top byte 0x90"},
      {0xDEADBEEF, C::Misc, "unknown top byte"},
      {0xFFFFFFFF, C::Misc, "unknown top byte"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(motion_command_class(c.id), c.expected) << std::hex << "id 0x" << c.id << ": " << c.why;
  }
}

// The totals over the whole table catch a mistyped id or name as well as a
// rule applied out of order.
TEST(Classification, TotalsOverTheTable) {
  const std::map<C, std::size_t> expected{
      {C::Misc, 103},      {C::Action, 67},       {C::QuickEmote, 49},   {C::StateEmote, 36},
      {C::Locomotion, 29}, {C::AttackHigh, 22},   {C::AttackMedium, 22}, {C::AttackLow, 22},
      {C::Stance, 18},     {C::MagicGesture, 15}, {C::Aim, 13},          {C::Posture, 4},
      {C::Turn, 4},        {C::HoldKey, 2},       {C::Invalid, 1},       {C::Stop, 1},
      {C::Jump, 1},
  };
  std::map<C, std::size_t> actual;
  for (const auto& row : MOTION_COMMAND_NAMES) ++actual[motion_command_class(row.id)];
  EXPECT_EQ(actual, expected);
}

TEST(Classification, VariantValuesAndDebugNames) {
  struct Variant {
    C value;
    std::uint8_t number;
    std::string_view name;
  };
  const std::vector<Variant> variants{
      {C::Invalid, 0, "Invalid"},
      {C::Stance, 1, "Stance"},
      {C::Locomotion, 2, "Locomotion"},
      {C::Turn, 3, "Turn"},
      {C::Jump, 4, "Jump"},
      {C::Stop, 5, "Stop"},
      {C::HoldKey, 6, "HoldKey"},
      {C::Aim, 7, "Aim"},
      {C::MagicGesture, 8, "MagicGesture"},
      {C::Posture, 9, "Posture"},
      {C::StateEmote, 10, "StateEmote"},
      {C::QuickEmote, 11, "QuickEmote"},
      {C::UiPanel, 12, "UiPanel"},
      {C::Action, 13, "Action"},
      {C::AttackHigh, 14, "AttackHigh"},
      {C::AttackMedium, 15, "AttackMedium"},
      {C::AttackLow, 16, "AttackLow"},
      {C::Misc, 17, "Misc"},
  };
  static_assert(sizeof(MotionCommandClass) == 1);
  for (const auto& v : variants) {
    EXPECT_EQ(static_cast<std::uint8_t>(v.value), v.number) << v.name;
    EXPECT_EQ(debug_name(v.value), v.name);
  }
}

}  // namespace
