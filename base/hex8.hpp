// The 8-digit hexadecimal form in which ids and offsets appear in messages
// and outputs, kept in one place so that every text writes them alike.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane_base {

// `value` as exactly 8 upper-case hexadecimal digits, without "0x":
// 0x0600000A gives "0600000A".
std::string hex8(std::uint32_t value);

}  // namespace quorvane_base
