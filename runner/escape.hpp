// Text encodings shared by the output formatters: UTF-8 repair, the JSON
// string escaper, the XML escaper and the CDATA form of captured output.
#pragma once

#include <string>
#include <string_view>

#include "quorvane_base/json_escape.hpp"
#include "quorvane_base/utf8.hpp"

namespace runner {

// `bytes` decoded as UTF-8: valid sequences are copied, each maximal invalid
// subsequence becomes one U+FFFD (the foundation's repair).
inline std::string utf8_lossy(std::string_view bytes) {
  return quorvane_base::utf8::replace_invalid(bytes);
}

// The body of a JSON string literal (without the surrounding quotes): the
// foundation's escaper, shared with the archive tool.
using quorvane_base::json_escape;

// `text` as XML character data or attribute value: & < > " ' as entity
// references, tab, line feed and carriage return as character references (so
// attribute values keep them), every other character that XML 1.0 forbids,
// and invalid UTF-8, as U+FFFD.
std::string xml_escape(std::string_view text);

// `text` with terminal SGR sequences (ESC [ parameters m) removed and every
// character that XML 1.0 forbids, and invalid UTF-8, replaced by U+FFFD.
std::string xml_clean(std::string_view text);

// Captured output as CDATA: "]]>" and "<?" split across sections, each line
// feed written as a character reference between sections, empty sections
// removed, and the whole wrapped in one section.
std::string str_to_cdata(std::string_view text);

// A number of seconds in plain decimal notation (never an exponent), in the
// shortest form that reads back to the same double: 0.0125, 3, 0.0000001.
std::string plain_decimal(double value);

}  // namespace runner
