// Fuzz harness: the XML escaper, the XML cleaner and the CDATA form of
// captured output as the JUnit format composes them. Each output must be
// well-formed XML text that decodes back to the input, with every character
// that XML 1.0 forbids (and invalid UTF-8) replaced.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/fuzz_check.hpp"
#include "runner/escape.hpp"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Code points of valid UTF-8 text (the caller has checked validity).
std::vector<std::uint32_t> code_points(std::string_view text) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t cp = len == 1   ? lead
                       : len == 2 ? (lead & 0x1FU)
                       : len == 3 ? (lead & 0x0FU)
                                  : (lead & 0x07U);
    for (std::size_t k = 1; k < len; ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3FU);
    }
    out.push_back(cp);
    i += len;
  }
  return out;
}

bool xml_char(std::uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

bool valid_utf8(std::string_view text) { return runner::utf8_lossy(text) == text; }

bool all_xml_chars(std::string_view text) {
  for (const std::uint32_t cp : code_points(text)) {
    if (!xml_char(cp)) return false;
  }
  return true;
}

// Valid UTF-8 `text` with each forbidden character replaced by U+FFFD.
std::string replace_forbidden(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::string_view seq = text.substr(i, len);
    out.append(xml_char(code_points(seq)[0]) ? seq : kReplacement);
    i += len;
  }
  return out;
}

// Decodes escaped character data or an attribute value: only the entity and
// character references the escaper writes, no raw markup characters and no
// raw tab, line feed or carriage return (an attribute value would lose them).
std::optional<std::string> decode_escaped(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kRefs[] = {
      {"&amp;", '&'},   {"&lt;", '<'},  {"&gt;", '>'},   {"&quot;", '"'},
      {"&apos;", '\''}, {"&#9;", '\t'}, {"&#10;", '\n'}, {"&#13;", '\r'}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '<' || c == '>' || c == '"' || c == '\'' || c == '\t' || c == '\n' || c == '\r') {
      return std::nullopt;
    }
    if (c != '&') {
      out.push_back(c);
      ++i;
      continue;
    }
    bool matched = false;
    for (const auto& [ref, value] : kRefs) {
      if (text.substr(i, ref.size()) == ref) {
        out.push_back(value);
        i += ref.size();
        matched = true;
        break;
      }
    }
    if (!matched) return std::nullopt;
  }
  return out;
}

// Decodes a run of CDATA sections and "&#xA;" references, the only pieces
// that the CDATA form is made of.
std::optional<std::string> decode_cdata(std::string_view text) {
  constexpr std::string_view kOpen = "<![CDATA[";
  constexpr std::string_view kClose = "]]>";
  constexpr std::string_view kLineFeed = "&#xA;";
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.substr(i, kOpen.size()) == kOpen) {
      const std::size_t close = text.find(kClose, i + kOpen.size());
      if (close == std::string_view::npos) return std::nullopt;
      out.append(text.substr(i + kOpen.size(), close - i - kOpen.size()));
      i = close + kClose.size();
    } else if (text.substr(i, kLineFeed.size()) == kLineFeed) {
      out.push_back('\n');
      i += kLineFeed.size();
    } else {
      return std::nullopt;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string repaired = runner::utf8_lossy(input);
  FUZZ_CHECK(valid_utf8(repaired), "repair yields valid UTF-8");

  // Attribute values and character data.
  const std::string escaped = runner::xml_escape(input);
  FUZZ_CHECK(valid_utf8(escaped) && all_xml_chars(escaped), "escaped text is XML characters");
  const auto unescaped = decode_escaped(escaped);
  FUZZ_CHECK(unescaped.has_value(), "escaped text uses only the escaper's references");
  FUZZ_CHECK(*unescaped == replace_forbidden(repaired), "escaped text decodes to the input");

  // Captured output as the JUnit format writes it.
  const std::string cleaned = runner::xml_clean(repaired);
  FUZZ_CHECK(valid_utf8(cleaned) && all_xml_chars(cleaned), "cleaned text is XML characters");
  const std::string cdata = runner::str_to_cdata(cleaned);
  FUZZ_CHECK(cdata.rfind("<![CDATA[", 0) == 0 && cdata.size() >= 12 &&
                 cdata.compare(cdata.size() - 3, 3, "]]>") == 0,
             "the CDATA form is wrapped in a section");
  FUZZ_CHECK(cdata.find("<?") == std::string::npos, "no processing instruction opener remains");
  FUZZ_CHECK(cdata.find('\n') == std::string::npos, "line ends are references");
  const auto decoded = decode_cdata(cdata);
  FUZZ_CHECK(decoded.has_value(), "the CDATA form is sections and line-feed references only");
  FUZZ_CHECK(*decoded == cleaned, "the CDATA form decodes to the cleaned text");
  return 0;
}
