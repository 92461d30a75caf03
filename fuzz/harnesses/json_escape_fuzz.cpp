// Fuzz harness: the JSON string escaper. Its output, between double quotes,
// must be a strict JSON string literal whose decoded value is the input with
// invalid UTF-8 repaired; and it must escape exactly what the output format
// requires (no raw C0 control or DEL survives).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/support/fuzz_check.hpp"
#include "runner/escape.hpp"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes the body of a strict JSON string literal (RFC 8259: no raw
// character below 0x20, only the defined escapes, valid UTF-8), or nothing.
// DEL, which JSON allows raw, is refused too: the output format escapes it.
// \u escapes of surrogates are refused as well, since the escaper never
// writes them.
std::optional<std::string> decode_json_body(std::string_view body) {
  if (runner::utf8_lossy(body) != body) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const auto c = static_cast<unsigned char>(body[i]);
    if (c < 0x20 || c == 0x7F || c == '"') return std::nullopt;
    if (c != '\\') {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (++i == body.size()) return std::nullopt;
    switch (body[i]) {
      case '"': out.push_back('"'); break;
      case '\\': out.push_back('\\'); break;
      case '/': out.push_back('/'); break;
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'u': {
        if (body.size() - i < 5) return std::nullopt;
        std::uint32_t cp = 0;
        for (std::size_t k = 1; k <= 4; ++k) {
          const int v = hex_value(body[i + k]);
          if (v < 0) return std::nullopt;
          cp = cp * 16 + static_cast<std::uint32_t>(v);
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) return std::nullopt;
        append_utf8(out, cp);
        i += 4;
        break;
      }
      default: return std::nullopt;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string escaped = runner::json_escape(input);
  const auto decoded = decode_json_body(escaped);
  FUZZ_CHECK(decoded.has_value(), "the escaped text is a strict JSON string body");
  FUZZ_CHECK(*decoded == runner::utf8_lossy(input), "the literal decodes to the repaired input");
  return 0;
}
