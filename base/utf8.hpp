// Walking UTF-8 text one sequence at a time, shared by the error texts (which
// escape or replace invalid bytes) and the data file locator (which accepts
// only valid UTF-8 from the environment).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane_base::utf8 {

// One step through a byte string: either a whole valid scalar value, or the
// longest prefix of an ill-formed sequence (always at least one byte), so that
// every invalid run is handled as one unit.
struct Sequence {
  std::size_t length = 0;   // bytes consumed, at least 1
  char32_t code_point = 0;  // meaningful when valid
  bool valid = false;
};

// Decodes the sequence that starts at text[pos]; pos must be below text.size().
Sequence next_sequence(std::string_view text, std::size_t pos) noexcept;

bool is_valid(std::string_view text) noexcept;

// The length that a sequence starting with `lead` claims from the lead byte's
// bit pattern alone: 2, 3 or 4 for lead bytes, 1 for every other byte.
std::size_t claimed_length(unsigned char lead) noexcept;

// The text with each ill-formed sequence replaced by U+FFFD.
std::string replace_invalid(std::string_view text);

}  // namespace quorvane_base::utf8
