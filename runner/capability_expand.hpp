// The interpreter of parameterised terminal capability strings ("%p1%d" and
// the rest of the stack language of compiled terminal descriptions).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace runner {

// Expands the parameterised capability `cap` with integer parameters (at most
// nine; missing ones are 0) and removes padding specifications ("$<5>").
// Nothing when the capability is malformed (unknown operator, stack underflow,
// type mismatch).
std::optional<std::string> expand_capability(std::string_view cap, std::span<const int> params);

}  // namespace runner
