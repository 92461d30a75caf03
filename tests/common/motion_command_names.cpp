// Lookup and classification over the built-in motion command table, and the
// self-checks that guard the table's contents and order.
#include "tests/common/motion_command_names.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "runner/check_failure.hpp"

namespace common::motion_command_names {

namespace {

constexpr std::uint32_t TOP_BYTE_MASK = 0xFF000000u;

constexpr bool contains(std::string_view text, std::string_view word) noexcept {
  return text.find(word) != std::string_view::npos;
}

// Ids under the action top byte: an attack at a height when the name holds an
// attack word and a height word, otherwise a plain action.
constexpr MotionCommandClass classify_action(std::optional<std::string_view> name) noexcept {
  if (!name) return MotionCommandClass::Action;
  const std::string_view text = *name;
  const bool attack_word = contains(text, "Attack") || contains(text, "Slash") ||
                           contains(text, "Thrust") || contains(text, "Punch") ||
                           contains(text, "Kick");
  if (!attack_word) return MotionCommandClass::Action;
  if (contains(text, "High")) return MotionCommandClass::AttackHigh;
  if (contains(text, "Med")) return MotionCommandClass::AttackMedium;
  if (contains(text, "Low")) return MotionCommandClass::AttackLow;
  return MotionCommandClass::Action;
}

}  // namespace

std::optional<std::string_view> motion_command_name(std::uint32_t id) noexcept {
  const auto it = std::lower_bound(
      MOTION_COMMAND_NAMES.begin(), MOTION_COMMAND_NAMES.end(), id,
      [](const MotionCommandRow& row, std::uint32_t wanted) { return row.id < wanted; });
  if (it == MOTION_COMMAND_NAMES.end() || it->id != id) return std::nullopt;
  return it->name;
}

MotionCommandClass motion_command_class(std::uint32_t id) noexcept {
  if (id == 0) return MotionCommandClass::Invalid;
  const std::optional<std::string_view> name = motion_command_name(id);
  const std::uint32_t top = id & TOP_BYTE_MASK;

  if (id == 0x2500003Bu) return MotionCommandClass::Jump;
  if (top == 0x20000000u) return MotionCommandClass::Stop;
  if (name && name->starts_with("Aim")) return MotionCommandClass::Aim;
  if (name && name->starts_with("Magic") && top == 0x40000000u) {
    return MotionCommandClass::MagicGesture;
  }

  switch (top) {
    case 0x80000000u: return MotionCommandClass::Stance;
    case 0x85000000u: return MotionCommandClass::HoldKey;
    case 0x90000000u: return MotionCommandClass::UiPanel;
    case 0x10000000u: return classify_action(name);
    case 0x13000000u: return MotionCommandClass::QuickEmote;
    case 0x40000000u: return MotionCommandClass::Locomotion;
    case 0x41000000u: return MotionCommandClass::Posture;
    case 0x43000000u: return MotionCommandClass::StateEmote;
    case 0x44000000u: return MotionCommandClass::Locomotion;
    case 0x45000000u: return MotionCommandClass::Locomotion;
    case 0x65000000u: return MotionCommandClass::Turn;
    default: return MotionCommandClass::Misc;
  }
}

std::string_view debug_name(MotionCommandClass value) noexcept {
  switch (value) {
    case MotionCommandClass::Invalid: return "Invalid";
    case MotionCommandClass::Stance: return "Stance";
    case MotionCommandClass::Locomotion: return "Locomotion";
    case MotionCommandClass::Turn: return "Turn";
    case MotionCommandClass::Jump: return "Jump";
    case MotionCommandClass::Stop: return "Stop";
    case MotionCommandClass::HoldKey: return "HoldKey";
    case MotionCommandClass::Aim: return "Aim";
    case MotionCommandClass::MagicGesture: return "MagicGesture";
    case MotionCommandClass::Posture: return "Posture";
    case MotionCommandClass::StateEmote: return "StateEmote";
    case MotionCommandClass::QuickEmote: return "QuickEmote";
    case MotionCommandClass::UiPanel: return "UiPanel";
    case MotionCommandClass::Action: return "Action";
    case MotionCommandClass::AttackHigh: return "AttackHigh";
    case MotionCommandClass::AttackMedium: return "AttackMedium";
    case MotionCommandClass::AttackLow: return "AttackLow";
    case MotionCommandClass::Misc: return "Misc";
  }
  // Only reachable through a value cast from outside the enumeration.
  return "MotionCommandClass(?)";
}

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
void table_is_strictly_sorted_for_binary_search() {
  check_strictly_sorted(MOTION_COMMAND_NAMES);
}

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

void classify_known_commands() {
  using C = MotionCommandClass;
  runner::assert_equal(motion_command_class(0x8000003Du), C::Stance);
  runner::assert_equal(motion_command_class(0x45000005u), C::Locomotion);
  runner::assert_equal(motion_command_class(0x6500000Du), C::Turn);
  runner::assert_equal(motion_command_class(0x2500003Bu), C::Jump);
  runner::assert_equal(motion_command_class(0x4000001Eu), C::Aim);
  runner::assert_equal(motion_command_class(0x4000002Bu), C::MagicGesture);
  runner::assert_equal(motion_command_class(0x10000186u), C::AttackHigh);
  runner::assert_equal(motion_command_class(0x10000187u), C::AttackMedium);
  runner::assert_equal(motion_command_class(0x10000188u), C::AttackLow);
  runner::assert_equal(motion_command_class(0x1000011Fu), C::AttackLow);
  runner::assert_equal(motion_command_class(0x10000121u), C::AttackHigh);
  runner::assert_equal(motion_command_class(0x10000185u), C::Action);
}

}  // namespace tests

}  // namespace common::motion_command_names
