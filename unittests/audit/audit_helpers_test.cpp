// The labelling helpers of the audit's report and its backhand test.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/common/motion_command_names.hpp"
#include "tests/shield_stance_backhand_audit.hpp"

namespace {

TEST(MotionLabel, NamedAndUnnamedIds) {
  const struct {
    std::uint32_t motion;
    const char* label;
  } cases[] = {
      {0x1000005Eu, "BackhandHigh (0x1000005E)"},
      {0x00000000u, "Invalid (0x00000000)"},
      {0x080000A2u, "Cancel (0x080000A2)"},
      {0x85000002u, "HoldSidestep (0x85000002)"},
      {0x80000040u, "SwordShieldCombat (0x80000040)"},
      {0xDEADBEEFu, "0xDEADBEEF"},
      {0x080000A3u, "0x080000A3"},
      {0x0000ABCDu, "0x0000ABCD"},
      {0x00000001u, "0x00000001"},
      {0xFFFFFFFFu, "0xFFFFFFFF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(audit::motion_label(c.motion), c.label) << std::hex << c.motion;
  }
}

TEST(AttackHeightName, KnownHeightsAndEverythingElse) {
  const struct {
    std::uint32_t height;
    std::string_view name;
  } cases[] = {
      {1, "High"},    {2, "Medium"},  {3, "Low"},         {0, "Unknown"},
      {4, "Unknown"}, {7, "Unknown"}, {0x101, "Unknown"}, {0xFFFFFFFFu, "Unknown"},
  };
  for (const auto& c : cases) EXPECT_EQ(audit::attack_height_name(c.height), c.name) << c.height;
}

TEST(BackhandMotion, ExactlyTheThreeBackhandsOfTheNameTable) {
  std::vector<std::uint32_t> backhands;
  for (const auto& row : common::motion_command_names::MOTION_COMMAND_NAMES) {
    if (audit::is_backhand_motion(row.id)) backhands.push_back(row.id);
  }
  EXPECT_EQ(backhands, (std::vector<std::uint32_t>{0x1000005Eu, 0x1000005Fu, 0x10000060u}));
}

TEST(BackhandMotion, UnnamedMotionsAreNeverBackhands) {
  for (const std::uint32_t motion : {0xDEADBEEFu, 0x100001B0u, 0x10000200u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(audit::is_backhand_motion(motion)) << std::hex << motion;
  }
  EXPECT_FALSE(audit::is_backhand_motion(0x1000005Bu));  // SlashHigh
  EXPECT_FALSE(audit::is_backhand_motion(0x10000173u));  // OffhandSlashHigh
}

}  // namespace
