// The built-in motion command table and its lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tests/common/motion_command_names.hpp"

namespace {

using common::motion_command_names::motion_command_name;
using common::motion_command_names::MOTION_COMMAND_NAMES;

TEST(NameTable, RowCountsPerTopByte) {
  const std::map<std::uint32_t, std::size_t> expected{
      {0x00, 1},  {0x08, 5}, {0x09, 83}, {0x0C, 1},  {0x0D, 10}, {0x10, 133}, {0x12, 3},
      {0x13, 49}, {0x20, 1}, {0x25, 1},  {0x40, 54}, {0x41, 4},  {0x42, 1},   {0x43, 36},
      {0x44, 1},  {0x45, 2}, {0x65, 4},  {0x80, 18}, {0x85, 2},
  };
  std::map<std::uint32_t, std::size_t> actual;
  for (const auto& row : MOTION_COMMAND_NAMES) ++actual[row.id >> 24];
  EXPECT_EQ(actual, expected);
  EXPECT_EQ(MOTION_COMMAND_NAMES.size(), 409u);
}

TEST(NameTable, FirstAndLastRows) {
  EXPECT_EQ(MOTION_COMMAND_NAMES.front().id, 0x00000000u);
  EXPECT_EQ(MOTION_COMMAND_NAMES.front().name, "Invalid");
  EXPECT_EQ(MOTION_COMMAND_NAMES.back().id, 0x85000002u);
  EXPECT_EQ(MOTION_COMMAND_NAMES.back().name, "HoldSidestep");
}

TEST(NameTable, NamesAreUniqueAndWellFormed) {
  std::set<std::string_view> seen;
  for (const auto& row : MOTION_COMMAND_NAMES) {
    EXPECT_TRUE(seen.insert(row.name).second) << "duplicate name " << row.name;
    EXPECT_GE(row.name.size(), 2u) << row.name;
    EXPECT_LE(row.name.size(), 37u) << row.name;
    const bool alnum = std::all_of(row.name.begin(), row.name.end(), [](char c) {
      return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
    EXPECT_TRUE(alnum) << "unexpected character in " << row.name;
  }
}

struct LookupCase {
  std::uint32_t id;
  std::optional<std::string_view> expected;
};

TEST(NameTable, LookupKnownAndUnknownIds) {
  const std::vector<LookupCase> cases{
      {0x00000000, "Invalid"},
      {0xDEADBEEF, std::nullopt},
      {0x8000003C, "HandCombat"},
      {0x8000003D, "NonCombat"},
      {0x8000013C, "ThrownShieldCombat"},
      {0x85000001, "HoldRun"},
      {0x85000002, "HoldSidestep"},
      {0xFFFFFFFF, std::nullopt},
      {0x85000003, std::nullopt},  // just past the last row
      {0x080000A2, "Cancel"},
      {0x080000A3, std::nullopt},  // between Cancel and CreateShortcutToSelected
      {0x080000A9, "CreateShortcutToSelected"},
      {0x00000001, std::nullopt},  // just past the first row
      {0x7FFFFFFF, std::nullopt},  // below every top-bit id
      {0x80000000, std::nullopt},
      {0x1000005E, "BackhandHigh"},
      {0x10000060, "BackhandLow"},
      {0x4000000C, "Off"},
      {0x420000F9, "ATOYOT"},
      {0x09000169, "AutomaticallyAcceptFellowshipRequests"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(motion_command_name(c.id), c.expected) << std::hex << "id 0x" << c.id;
  }
}

// Every row is found through the search, and the answer views the row's own
// constant text rather than a copy.
TEST(NameTable, EveryRowIsFoundAsAViewOfTheTable) {
  for (const auto& row : MOTION_COMMAND_NAMES) {
    const auto found = motion_command_name(row.id);
    ASSERT_TRUE(found.has_value()) << std::hex << "id 0x" << row.id;
    EXPECT_EQ(found->data(), row.name.data()) << row.name;
    EXPECT_EQ(found->size(), row.name.size()) << row.name;
  }
}

// Ids one above and one below each row are absent unless they are rows too.
TEST(NameTable, NeighboursOfRowsAreAbsentUnlessPresent) {
  std::set<std::uint32_t> ids;
  for (const auto& row : MOTION_COMMAND_NAMES) ids.insert(row.id);
  for (const auto& row : MOTION_COMMAND_NAMES) {
    for (const std::uint32_t probe : {row.id - 1u, row.id + 1u}) {
      if (ids.contains(probe)) continue;
      EXPECT_EQ(motion_command_name(probe), std::nullopt) << std::hex << "id 0x" << probe;
    }
  }
}

TEST(NameTable, ExactlyThreeBackhandNames) {
  std::vector<std::pair<std::uint32_t, std::string_view>> found;
  for (const auto& row : MOTION_COMMAND_NAMES) {
    std::string lower(row.name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find("backhand") != std::string::npos) found.emplace_back(row.id, row.name);
  }
  const std::vector<std::pair<std::uint32_t, std::string_view>> expected{
      {0x1000005E, "BackhandHigh"},
      {0x1000005F, "BackhandMed"},
      {0x10000060, "BackhandLow"},
  };
  EXPECT_EQ(found, expected);
}

}  // namespace
