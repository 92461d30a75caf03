#include "runner/escape.hpp"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "quorvane_base/utf8.hpp"

namespace runner {
namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";  // U+FFFD

// Calls `on_valid(sequence)` for each valid UTF-8 sequence of `s` and
// `on_invalid()` for each maximal invalid subpart.
template <class Valid, class Invalid>
void for_each_utf8(std::string_view s, Valid on_valid, Invalid on_invalid) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    const quorvane_base::utf8::Sequence seq = quorvane_base::utf8::next_sequence(s, pos);
    if (seq.valid) {
      on_valid(s.substr(pos, seq.length));
    } else {
      on_invalid();
    }
    pos += seq.length;
  }
}

// Whether XML 1.0 allows the character encoded by the valid sequence `seq`.
bool xml_allowed(std::string_view seq) {
  const auto b0 = static_cast<unsigned char>(seq[0]);
  if (seq.size() == 1) return b0 >= 0x20 || b0 == 0x09 || b0 == 0x0A || b0 == 0x0D;
  // U+FFFE and U+FFFF are the only non-characters above U+001F it forbids
  // (surrogates never decode as valid sequences).
  if (seq.size() == 3 && b0 == 0xEF && static_cast<unsigned char>(seq[1]) == 0xBF) {
    const auto b2 = static_cast<unsigned char>(seq[2]);
    return b2 != 0xBE && b2 != 0xBF;
  }
  return true;
}

// Length of the SGR sequence (ESC [ digits/';'/':' m) starting at `pos`, or 0.
std::size_t sgr_length(std::string_view s, std::size_t pos) {
  if (s[pos] != '\x1b' || pos + 1 >= s.size() || s[pos + 1] != '[') return 0;
  for (std::size_t i = pos + 2; i < s.size(); ++i) {
    const char c = s[i];
    if (c == 'm') return i - pos + 1;
    if (!((c >= '0' && c <= '9') || c == ';' || c == ':')) return 0;
  }
  return 0;
}

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from, start)) {
    out.append(text, start, hit - start);
    out.append(to);
    start = hit + from.size();
  }
  out.append(text, start, std::string::npos);
  text = std::move(out);
}

}  // namespace

std::string xml_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  const auto on_valid = [&](std::string_view seq) {
    if (!xml_allowed(seq)) {
      out.append(REPLACEMENT);
      return;
    }
    if (seq.size() > 1) {
      out.append(seq);
      return;
    }
    switch (seq[0]) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out.push_back(seq[0]); break;
    }
  };
  for_each_utf8(text, on_valid, [&] { out.append(REPLACEMENT); });
  return out;
}

std::string xml_clean(std::string_view text) {
  std::string stripped;
  stripped.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    if (const std::size_t sgr = sgr_length(text, pos); sgr != 0) {
      pos += sgr;
    } else {
      stripped.push_back(text[pos]);
      ++pos;
    }
  }
  std::string out;
  out.reserve(stripped.size());
  for_each_utf8(
      stripped, [&](std::string_view seq) { out.append(xml_allowed(seq) ? seq : REPLACEMENT); },
      [&] { out.append(REPLACEMENT); });
  return out;
}

std::string str_to_cdata(std::string_view text) {
  // One section per line, the line ends as references between them. Empty
  // sections between two line ends are left out; the first and the last
  // section are always written. Working line by line (rather than deleting
  // every "<![CDATA[]]>" from the finished text) keeps a line that itself
  // ends in "<![CDATA[" intact.
  std::string out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    const bool first = start == 0;
    const bool last = end == std::string_view::npos;
    std::string line(text.substr(start, last ? std::string_view::npos : end - start));
    replace_all(line, "]]>", "]]]]><![CDATA[>");
    replace_all(line, "<?", "<]]><![CDATA[?");
    if (first || last || !line.empty()) out += "<![CDATA[" + line + "]]>";
    if (last) break;
    out += "&#xA;";
    start = end + 1;
  }
  return out;
}

std::string plain_decimal(double value) {
  // Durations are finite; anything else is written as 0 so that the output
  // stays a valid number.
  if (!std::isfinite(value)) return "0";
  char buf[400];  // DBL_MAX in fixed notation has 309 digits
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (ec != std::errc()) return "0";
  return std::string(buf, end);
}

}  // namespace runner
