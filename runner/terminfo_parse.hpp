// The compiled terminal description format (legacy 16-bit numbers, magic
// 0432, and 32-bit numbers, magic 01036) and the parameter expansion of its
// string capabilities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runner/capability_expand.hpp"
#include "runner/output_location.hpp"

namespace runner {

// Positions of the capabilities the runner uses in the standard order.
namespace terminfo_cap {
inline constexpr std::size_t MAX_COLORS = 13;           // number "colors"
inline constexpr std::size_t EXIT_ATTRIBUTE_MODE = 39;  // string "sgr0"
inline constexpr std::size_t SET_ATTRIBUTES = 131;      // string "sgr"
inline constexpr std::size_t ORIG_PAIR = 297;           // string "op"
inline constexpr std::size_t SET_A_FOREGROUND = 359;    // string "setaf"
inline constexpr std::size_t SET_A_BACKGROUND = 360;    // string "setab"
}  // namespace terminfo_cap

inline constexpr std::uint16_t TERMINFO_MAGIC_16 = 0432;
inline constexpr std::uint16_t TERMINFO_MAGIC_32 = 01036;

// The standard section of one compiled description.
struct TermInfo {
  std::vector<std::string> names;  // the '|'-separated names, primary first
  std::vector<bool> booleans;
  std::vector<std::optional<std::int32_t>> numbers;  // absent or cancelled: nullopt
  std::vector<std::optional<std::string>> strings;   // absent or cancelled: nullopt

  std::optional<std::int32_t> number(std::size_t index) const {
    return index < numbers.size() ? numbers[index] : std::nullopt;
  }
  const std::string* string(std::size_t index) const {
    return index < strings.size() && strings[index] ? &*strings[index] : nullptr;
  }
};

// Parses a compiled description; nothing when the data is not one (wrong
// magic, negative or oversized counts, sections past the end, a string offset
// outside the table or a string without its terminating NUL).
std::optional<TermInfo> parse_terminfo(std::span<const std::uint8_t> data);

// The colour strings the runner uses from `info`: setaf for red, green and
// yellow when setaf and setab exist and "colors" exceeds the colour number,
// and the first of sgr0, sgr, op as reset. Without a usable reset string no
// colour is offered, so that a coloured word can never stay coloured.
TerminalColors colors_from_terminfo(const TermInfo& info);

}  // namespace runner
