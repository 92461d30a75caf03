// The motion command vocabulary (the table, its lookup and the classification,
// from motion_command_lookup.hpp) and the self-checks that guard the table.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "runner/source_location.hpp"
#include "runner/test_types.hpp"
#include "tests/common/check_entry.hpp"
#include "tests/common/motion_command_lookup.hpp"

namespace common::motion_command_names {

// The failure message for the first pair of neighbouring rows whose ids do
// not strictly ascend, or nullopt when every pair does.
std::optional<std::string> order_violation(std::span<const MotionCommandRow> rows);

// Raises a plain check failure with the message of `order_violation`.
void check_strictly_sorted(std::span<const MotionCommandRow> rows,
                           runner::SourceLocation loc = runner::SourceLocation::current());

namespace tests {

void lookup_known_commands();
void classify_known_commands();
void table_is_strictly_sorted_for_binary_search();

// The checks' registry entries, positioned at each function's name in its
// definition. They are constant-initialized, so other translation units may
// copy them during their own static initialization.
extern const runner::TestDescAndFn CLASSIFY_KNOWN_COMMANDS_ENTRY;
extern const runner::TestDescAndFn LOOKUP_KNOWN_COMMANDS_ENTRY;
extern const runner::TestDescAndFn TABLE_IS_STRICTLY_SORTED_FOR_BINARY_SEARCH_ENTRY;

}  // namespace tests

}  // namespace common::motion_command_names
