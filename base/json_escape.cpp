#include "quorvane_base/json_escape.hpp"

#include <cstddef>

#include "quorvane_base/utf8.hpp"

namespace quorvane_base {

namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";  // U+FFFD

void append_hex4(std::string& out, unsigned value) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  out += "\\u00";
  out.push_back(DIGITS[(value >> 4) & 0xF]);
  out.push_back(DIGITS[value & 0xF]);
}

// The escaped form of the one-byte character `c`, appended to `out`.
void append_escaped(std::string& out, unsigned char c) {
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case 0x08: out += "\\b"; return;
    case 0x09: out += "\\t"; return;
    case 0x0A: out += "\\n"; return;
    case 0x0C: out += "\\f"; return;
    case 0x0D: out += "\\r"; return;
    default: break;
  }
  if (c < 0x20 || c == 0x7F) {
    append_hex4(out, c);
  } else {
    out.push_back(static_cast<char>(c));
  }
}

}  // namespace

std::string json_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const utf8::Sequence seq = utf8::next_sequence(text, pos);
    if (!seq.valid) {
      out.append(REPLACEMENT);
    } else if (seq.length > 1) {
      out.append(text.substr(pos, seq.length));
    } else {
      append_escaped(out, static_cast<unsigned char>(text[pos]));
    }
    pos += seq.length;
  }
  return out;
}

}  // namespace quorvane_base
