// The name-table self-checks, the order check over arbitrary tables, the
// renderings their reports show, and the registry entries of the checks.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runner/check_failure.hpp"
#include "runner/debug_repr.hpp"
#include "tests/common/motion_command_names.hpp"

namespace {

namespace names = common::motion_command_names;
using names::MotionCommandRow;

TEST(SelfChecks, AllThreePassOnTheBuiltInTable) {
  EXPECT_NO_THROW(names::tests::lookup_known_commands());
  EXPECT_NO_THROW(names::tests::classify_known_commands());
  EXPECT_NO_THROW(names::tests::table_is_strictly_sorted_for_binary_search());
  EXPECT_EQ(names::order_violation(names::MOTION_COMMAND_NAMES), std::nullopt);
}

std::vector<MotionCommandRow> table_copy() {
  return {names::MOTION_COMMAND_NAMES.begin(), names::MOTION_COMMAND_NAMES.end()};
}

std::size_t index_of(const std::vector<MotionCommandRow>& rows, std::uint32_t id) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].id == id) return i;
  }
  ADD_FAILURE() << "no row " << id;
  return 0;
}

TEST(OrderCheck, SwappedNeighboursInTheFullTable) {
  auto rows = table_copy();
  const std::size_t i = index_of(rows, 0x8000003C);
  std::swap(rows[i], rows[i + 1]);
  EXPECT_EQ(names::order_violation(rows),
            "table not strictly sorted: 0x8000003D (NonCombat) >= 0x8000003C (HandCombat)");
}

TEST(OrderCheck, DuplicateIdInTheFullTable) {
  auto rows = table_copy();
  const std::size_t i = index_of(rows, 0x080000A2);
  rows[i + 1].id = rows[i].id;
  EXPECT_EQ(names::order_violation(rows),
            "table not strictly sorted: 0x080000A2 (Cancel) >= 0x080000A2 (CreateShortcutToSelected)");
}

struct OrderCase {
  std::string_view what;
  std::vector<MotionCommandRow> rows;
  std::optional<std::string> expected;
};

TEST(OrderCheck, SmallTables) {
  const std::vector<OrderCase> cases{
      {"empty", {}, std::nullopt},
      {"one row", {{5, "Five"}}, std::nullopt},
      {"ascending", {{1, "One"}, {2, "Two"}, {0xFFFFFFFF, "Top"}}, std::nullopt},
      {"unsigned order across the top bit", {{0x7FFFFFFF, "Low"}, {0x80000000, "High"}}, std::nullopt},
      {"top bit first is descending",
       {{0x80000000, "High"}, {0x00000001, "Low"}},
       "table not strictly sorted: 0x80000000 (High) >= 0x00000001 (Low)"},
      {"break at the last pair",
       {{1, "One"}, {2, "Two"}, {3, "Three"}, {3, "Again"}},
       "table not strictly sorted: 0x00000003 (Three) >= 0x00000003 (Again)"},
      {"first broken pair is reported",
       {{9, "Nine"}, {4, "Four"}, {2, "Two"}},
       "table not strictly sorted: 0x00000009 (Nine) >= 0x00000004 (Four)"},
      {"upper-case hexadecimal",
       {{0xABCDEF01, "Ab"}, {0x0000ABCD, "Cd"}},
       "table not strictly sorted: 0xABCDEF01 (Ab) >= 0x0000ABCD (Cd)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(names::order_violation(c.rows), c.expected) << c.what;
  }
}

TEST(OrderCheck, RaisesAPlainFailureWithTheMessage) {
  const std::array<MotionCommandRow, 2> rows{{{0x8000003D, "NonCombat"}, {0x8000003C, "HandCombat"}}};
  try {
    names::check_strictly_sorted(rows);
    ADD_FAILURE() << "no failure raised";
  } catch (const runner::CheckFailure& failure) {
    EXPECT_EQ(failure.message,
              "table not strictly sorted: 0x8000003D (NonCombat) >= 0x8000003C (HandCombat)");
  }
  EXPECT_NO_THROW(names::check_strictly_sorted(names::MOTION_COMMAND_NAMES));
}

// What the assertion reports of the lookup and classification checks show.
TEST(Renderings, LookupAnswersAndClasses) {
  EXPECT_EQ(runner::debug_repr(names::motion_command_name(0x8000003D)), "Some(\"NonCombat\")");
  EXPECT_EQ(runner::debug_repr(names::motion_command_name(0xDEADBEEF)), "None");
  EXPECT_EQ(runner::debug_repr(names::MotionCommandClass::AttackMedium), "AttackMedium");
  EXPECT_EQ(runner::debug_repr(names::motion_command_class(0x10000185)), "Action");
}

std::vector<std::string> source_lines(std::string_view relative_path) {
  std::ifstream in(std::string(VOCAB_SOURCE_DIR) + "/" + std::string(relative_path));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct EntryCase {
  const runner::TestDescAndFn* entry;
  std::string_view function;
  void (*fn)();
};

TEST(RegistryEntries, DescribeTheChecksAndPointAtTheirDefinitions) {
  const std::vector<EntryCase> cases{
      {&names::tests::CLASSIFY_KNOWN_COMMANDS_ENTRY, "classify_known_commands",
       &names::tests::classify_known_commands},
      {&names::tests::LOOKUP_KNOWN_COMMANDS_ENTRY, "lookup_known_commands",
       &names::tests::lookup_known_commands},
      {&names::tests::TABLE_IS_STRICTLY_SORTED_FOR_BINARY_SEARCH_ENTRY,
       "table_is_strictly_sorted_for_binary_search",
       &names::tests::table_is_strictly_sorted_for_binary_search},
  };
  const auto lines = source_lines("tests/common/motion_command_names.cpp");
  ASSERT_FALSE(lines.empty()) << "cannot read the check definitions";

  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.function));
    const runner::TestDesc& desc = c.entry->desc;
    EXPECT_EQ(desc.name, "common::motion_command_names::tests::" + std::string(c.function));
    EXPECT_EQ(c.entry->fn, c.fn);
    EXPECT_EQ(desc.source_path, "tests/common/motion_command_names.cpp");
    EXPECT_FALSE(desc.ignore);
    EXPECT_EQ(desc.ignore_message, std::nullopt);
    EXPECT_EQ(desc.should_panic, runner::ShouldPanic::No);
    EXPECT_EQ(desc.test_type, runner::TestType::IntegrationTest);

    // The recorded span covers exactly the function's name in its definition.
    EXPECT_EQ(desc.end_line, desc.start_line);
    EXPECT_EQ(desc.end_col - desc.start_col, c.function.size());
    ASSERT_GE(desc.start_line, 1u);
    ASSERT_LE(desc.start_line, lines.size());
    ASSERT_GE(desc.start_col, 1u);
    const std::string& line = lines[desc.start_line - 1];
    ASSERT_LE(desc.end_col - 1, line.size()) << line;
    EXPECT_EQ(line.substr(desc.start_col - 1, desc.end_col - desc.start_col), c.function) << line;
    EXPECT_EQ(line, "void " + std::string(c.function) + "() {");
  }
}

}  // namespace
