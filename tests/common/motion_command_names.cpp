// The self-checks that guard the built-in motion command table's contents
// and order, and their registry entries.
#include "tests/common/motion_command_names.hpp"
// clang-format off
#include <cstddef>
#include <cstdio>
#include <string_view>
#include <utility>

#include "runner/check_failure.hpp"

namespace common::motion_command_names {

std::optional<std::string> order_violation(std::span<const MotionCommandRow> rows) {
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const MotionCommandRow& first = rows[i - 1];
    const MotionCommandRow& second = rows[i];
    if (first.id < second.id) continue;
    char first_hex[16];
    char second_hex[16];
    std::snprintf(first_hex, sizeof first_hex, "%08X", static_cast<unsigned>(first.id));
    std::snprintf(second_hex, sizeof second_hex, "%08X", static_cast<unsigned>(second.id));
    std::string message = "table not strictly sorted: 0x";
    message += first_hex;
    message += " (";
    message += first.name;
    message += ") >= 0x";
    message += second_hex;
    message += " (";
    message += second.name;
    message += ")";
    return message;
  }
  return std::nullopt;
}

void check_strictly_sorted(std::span<const MotionCommandRow> rows, runner::SourceLocation loc) {
  if (std::optional<std::string> message = order_violation(rows)) {
    runner::fail(std::move(*message), loc);
  }
}

namespace tests {

// The table's ids must ascend strictly, or the binary search of the lookup
// could miss rows that are present.
constexpr std::size_t TABLE_IS_STRICTLY_SORTED_FOR_BINARY_SEARCH_LINE = __LINE__ + 1;
void table_is_strictly_sorted_for_binary_search() {
  check_strictly_sorted(MOTION_COMMAND_NAMES);
}

constexpr std::size_t LOOKUP_KNOWN_COMMANDS_LINE = __LINE__ + 1;
void lookup_known_commands() {
  using Name = std::optional<std::string_view>;
  runner::assert_equal(motion_command_name(0x8000003Du), Name("NonCombat"));
  runner::assert_equal(motion_command_name(0x4000000Cu), Name("Off"));
  runner::assert_equal(motion_command_name(0x45000005u), Name("WalkForward"));
  runner::assert_equal(motion_command_name(0x44000007u), Name("RunForward"));
  runner::assert_equal(motion_command_name(0x6500000Du), Name("TurnRight"));
  runner::assert_equal(motion_command_name(0x2500003Bu), Name("Jump"));
  runner::assert_equal(motion_command_name(0x10000186u), Name("AttackHigh4"));
  runner::assert_equal(motion_command_name(0xDEADBEEFu), Name());
}

constexpr std::size_t CLASSIFY_KNOWN_COMMANDS_LINE = __LINE__ + 1;
void classify_known_commands() {
  using C = MotionCommandClass;
  struct Known {
    std::uint32_t id;
    MotionCommandClass expected;
  };
  // In the order asserted; the first wrong answer ends the check.
  static constexpr Known KNOWN[] = {
      {0x8000003Du, C::Stance},     {0x45000005u, C::Locomotion},   {0x6500000Du, C::Turn},
      {0x2500003Bu, C::Jump},       {0x4000001Eu, C::Aim},          {0x4000002Bu, C::MagicGesture},
      {0x10000186u, C::AttackHigh}, {0x10000187u, C::AttackMedium}, {0x10000188u, C::AttackLow},
      {0x1000011Fu, C::AttackLow},  {0x10000121u, C::AttackHigh},   {0x10000185u, C::Action},
  };
  for (const Known& known : KNOWN) runner::assert_equal(motion_command_class(known.id), known.expected);
}

namespace {

constexpr std::string_view SOURCE_PATH = "tests/common/motion_command_names.cpp";

constexpr runner::TestDescAndFn entry(std::string_view name, std::size_t line, runner::TestFn fn) {
  return check_entry(name, SOURCE_PATH, line, fn);
}

}  // namespace

constinit const runner::TestDescAndFn CLASSIFY_KNOWN_COMMANDS_ENTRY =
    entry("common::motion_command_names::tests::classify_known_commands",
          CLASSIFY_KNOWN_COMMANDS_LINE, &classify_known_commands);

constinit const runner::TestDescAndFn LOOKUP_KNOWN_COMMANDS_ENTRY =
    entry("common::motion_command_names::tests::lookup_known_commands",
          LOOKUP_KNOWN_COMMANDS_LINE, &lookup_known_commands);

constinit const runner::TestDescAndFn TABLE_IS_STRICTLY_SORTED_FOR_BINARY_SEARCH_ENTRY =
    entry("common::motion_command_names::tests::table_is_strictly_sorted_for_binary_search",
          TABLE_IS_STRICTLY_SORTED_FOR_BINARY_SEARCH_LINE,
          &table_is_strictly_sorted_for_binary_search);

}  // namespace tests

}  // namespace common::motion_command_names
