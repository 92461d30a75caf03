#include "quorvane_base/debug_quote.hpp"

#include <cstddef>

#include "quorvane_base/utf8.hpp"

namespace quorvane_base {

namespace {

constexpr char HEX_LOWER[] = "0123456789abcdef";
constexpr char HEX_UPPER[] = "0123456789ABCDEF";

bool is_control(char32_t cp) noexcept { return cp < 0x20 || (cp >= 0x7F && cp < 0xA0); }

void append_byte_escape(std::string& out, unsigned char byte) {
  out += "\\x";
  out.push_back(HEX_UPPER[byte >> 4]);
  out.push_back(HEX_UPPER[byte & 0xFU]);
}

void append_unicode_escape(std::string& out, char32_t cp) {
  out += "\\u{";
  char digits[8];
  int n = 0;
  do {
    digits[n++] = HEX_LOWER[cp & 0xFU];
    cp >>= 4;
  } while (cp != 0);
  while (n > 0) out.push_back(digits[--n]);
  out.push_back('}');
}

}  // namespace

std::string debug_quote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  std::size_t pos = 0;
  while (pos < text.size()) {
    const utf8::Sequence seq = utf8::next_sequence(text, pos);
    if (!seq.valid) {
      for (std::size_t i = 0; i < seq.length; ++i) {
        append_byte_escape(out, static_cast<unsigned char>(text[pos + i]));
      }
    } else if (seq.code_point == '"' || seq.code_point == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(seq.code_point));
    } else if (seq.code_point == '\t') {
      out += "\\t";
    } else if (seq.code_point == '\r') {
      out += "\\r";
    } else if (seq.code_point == '\n') {
      out += "\\n";
    } else if (is_control(seq.code_point)) {
      append_unicode_escape(out, seq.code_point);
    } else {
      out.append(text.substr(pos, seq.length));
    }
    pos += seq.length;
  }
  out.push_back('"');
  return out;
}

}  // namespace quorvane_base
