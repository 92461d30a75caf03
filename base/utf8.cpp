#include "quorvane_base/utf8.hpp"

namespace quorvane_base::utf8 {

namespace {

bool in_range(unsigned char byte, unsigned char low, unsigned char high) noexcept {
  return byte >= low && byte <= high;
}

// Appends the UTF-8 encoding of a scalar value.
void append_code_point(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

Sequence next_sequence(std::string_view text, std::size_t pos) noexcept {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return {1, lead, true};

  // Expected length and the allowed range of the second byte; the range
  // excludes overlong forms, surrogates and values above U+10FFFF.
  std::size_t need = 0;
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
  char32_t value = 0;
  if (in_range(lead, 0xC2, 0xDF)) {
    need = 2;
    value = lead & 0x1FU;
  } else if (in_range(lead, 0xE0, 0xEF)) {
    need = 3;
    value = lead & 0x0FU;
    if (lead == 0xE0) second_low = 0xA0;
    if (lead == 0xED) second_high = 0x9F;
  } else if (in_range(lead, 0xF0, 0xF4)) {
    need = 4;
    value = lead & 0x07U;
    if (lead == 0xF0) second_low = 0x90;
    if (lead == 0xF4) second_high = 0x8F;
  } else {
    return {1, 0, false};
  }

  std::size_t length = 1;
  while (length < need) {
    if (pos + length >= text.size()) return {length, 0, false};
    const auto byte = static_cast<unsigned char>(text[pos + length]);
    const bool ok = length == 1 ? in_range(byte, second_low, second_high) : in_range(byte, 0x80, 0xBF);
    if (!ok) return {length, 0, false};
    value = (value << 6) | (byte & 0x3FU);
    ++length;
  }
  return {length, value, true};
}

bool is_valid(std::string_view text) noexcept {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const Sequence seq = next_sequence(text, pos);
    if (!seq.valid) return false;
    pos += seq.length;
  }
  return true;
}

std::size_t claimed_length(unsigned char lead) noexcept {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

std::string replace_invalid(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const Sequence seq = next_sequence(text, pos);
    if (seq.valid) {
      out.append(text.substr(pos, seq.length));
    } else {
      append_code_point(out, 0xFFFD);
    }
    pos += seq.length;
  }
  return out;
}

}  // namespace quorvane_base::utf8
