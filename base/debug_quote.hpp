// The debug form of a text: double-quoted, with escapes, so that every byte
// of the original can be read back from it.
#pragma once

#include <string>
#include <string_view>

namespace quorvane_base {

// `text` between double quotes: quote and backslash preceded by a backslash,
// tab, carriage return and line feed as \t \r \n, every other control
// character (C0, DEL and C1) as \u{hex}, and each byte that is not part of
// valid UTF-8 as \xNN.
std::string debug_quote(std::string_view text);

}  // namespace quorvane_base
