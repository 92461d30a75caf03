// The JSON string escaper shared by the runner's JSON output and the archive
// tool's.
#pragma once

#include <string>
#include <string_view>

namespace quorvane_base {

// The body of a JSON string literal (without the surrounding quotes): quote
// and backslash escaped, \b \t \n \f \r, every other C0 control and DEL as
// \u00xx; invalid UTF-8 is repaired first (each maximal invalid subsequence
// becomes one U+FFFD).
std::string json_escape(std::string_view text);

}  // namespace quorvane_base
