#include "runner/debug_repr.hpp"

#include <cstddef>
#include <cstdint>

namespace runner {
namespace {

constexpr char HEX_LOWER[] = "0123456789abcdef";
constexpr char HEX_UPPER[] = "0123456789ABCDEF";

// Length of the valid UTF-8 sequence starting at `i` and its code point, or 0
// when the bytes there do not form one.
std::size_t decode_at(std::string_view s, std::size_t i, std::uint32_t& cp) noexcept {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  std::size_t len = 0;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1Fu;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0Fu;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07u;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const unsigned char b = byte(i + k);
    const unsigned char min = k == 1 ? lo : 0x80;
    const unsigned char max = k == 1 ? hi : 0xBF;
    if (b < min || b > max) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return len;
}

void append_unicode_escape(std::string& out, std::uint32_t cp) {
  out += "\\u{";
  char digits[8];
  int n = 0;
  do {
    digits[n++] = HEX_LOWER[cp & 0xFu];
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
  std::size_t i = 0;
  while (i < text.size()) {
    std::uint32_t cp = 0;
    const std::size_t len = decode_at(text, i, cp);
    if (len == 0) {
      // A byte that is not part of valid UTF-8.
      const auto b = static_cast<unsigned char>(text[i]);
      out += "\\x";
      out.push_back(HEX_UPPER[b >> 4]);
      out.push_back(HEX_UPPER[b & 0xFu]);
      ++i;
      continue;
    }
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default:
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
          append_unicode_escape(out, cp);
        } else {
          out.append(text.substr(i, len));
        }
    }
    i += len;
  }
  out.push_back('"');
  return out;
}

}  // namespace runner
