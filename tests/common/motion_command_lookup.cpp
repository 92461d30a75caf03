// Lookup and classification over the built-in motion command table.
#include "tests/common/motion_command_lookup.hpp"

#include <algorithm>

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
                           contains(text, "Thrust") || contains(text, "Punch") || contains(text, "Kick");
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

}  // namespace common::motion_command_names
