// The program's registry: its order, its settings, and the recorded source
// positions, which must point at each check's name in its definition.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "runner/test_types.hpp"
#include "tests/shield_stance_backhand_audit.hpp"
#include "unittests/audit/audit_e2e_support.hpp"

namespace {

TEST(Registry, FourChecksInAscendingByteOrder) {
  const auto entries = audit::registry();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].desc.name, "common::motion_command_names::tests::classify_known_commands");
  EXPECT_EQ(entries[1].desc.name, "common::motion_command_names::tests::lookup_known_commands");
  EXPECT_EQ(entries[2].desc.name,
            "common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search");
  EXPECT_EQ(entries[3].desc.name, "shield_stance_has_three_backhand_rows");
  for (std::size_t i = 1; i < entries.size(); ++i) {
    EXPECT_LT(entries[i - 1].desc.name, entries[i].desc.name);
  }
}

TEST(Registry, EveryCheckIsAnIntegrationCheckThatMustNotFail) {
  for (const runner::TestDescAndFn& entry : audit::registry()) {
    SCOPED_TRACE(std::string(entry.desc.name));
    EXPECT_FALSE(entry.desc.ignore);
    EXPECT_FALSE(entry.desc.ignore_message.has_value());
    EXPECT_EQ(entry.desc.should_panic, runner::ShouldPanic::No);
    EXPECT_EQ(entry.desc.test_type, runner::TestType::IntegrationTest);
    EXPECT_NE(entry.fn, nullptr);
  }
  EXPECT_EQ(audit::registry()[3].fn, &audit::shield_stance_has_three_backhand_rows);
  EXPECT_EQ(audit::registry()[3].desc.source_path, "tests/shield_stance_backhand_audit.cpp");
}

TEST(Registry, PositionsPointAtTheFunctionNames) {
  for (const runner::TestDescAndFn& entry : audit::registry()) {
    const runner::TestDesc& desc = entry.desc;
    SCOPED_TRACE(std::string(desc.name));
    const std::string_view name = desc.name;
    const std::string_view function =
        name.substr(name.rfind("::") == std::string_view::npos ? 0 : name.rfind("::") + 2);
    ASSERT_EQ(desc.start_line, desc.end_line);
    ASSERT_GE(desc.start_col, 1u);
    ASSERT_EQ(desc.end_col - desc.start_col, function.size());

    const std::string line = audit_e2e::source_line(desc.source_path, desc.start_line);
    ASSERT_GE(line.size(), desc.end_col - 1) << line;
    EXPECT_EQ(line.substr(desc.start_col - 1, function.size()), function) << line;
    // A definition, not a declaration or a call: the name opens a parameter
    // list and the line holds the function body's opening brace.
    EXPECT_EQ(line.substr(desc.end_col - 1, 2), "()") << line;
    EXPECT_EQ(line.back(), '{') << line;
  }
}

}  // namespace
