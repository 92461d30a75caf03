#include "error/dat_error.hpp"

#include <cstdio>

#include "error/utf8.hpp"

namespace quorvane_dat {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::string hex8(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(value));
  return buffer;
}

bool is_control(char32_t cp) noexcept {
  return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0);
}

// Double-quoted debug text. Bytes that are not part of valid UTF-8 appear as
// \xNN, one escape per byte.
std::string quote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  std::size_t pos = 0;
  while (pos < text.size()) {
    const utf8::Sequence seq = utf8::next_sequence(text, pos);
    if (!seq.valid) {
      for (std::size_t i = 0; i < seq.length; ++i) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\x%02X",
                      static_cast<unsigned>(static_cast<unsigned char>(text[pos + i])));
        out.append(buffer);
      }
    } else if (seq.code_point == '"' || seq.code_point == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(seq.code_point));
    } else if (seq.code_point == '\t') {
      out.append("\\t");
    } else if (seq.code_point == '\r') {
      out.append("\\r");
    } else if (seq.code_point == '\n') {
      out.append("\\n");
    } else if (is_control(seq.code_point)) {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "\\u{%x}", static_cast<unsigned>(seq.code_point));
      out.append(buffer);
    } else {
      out.append(text.substr(pos, seq.length));
    }
    pos += seq.length;
  }
  out.push_back('"');
  return out;
}

}  // namespace

std::string debug_quote_text(std::string_view text) { return quote(text); }

std::string debug_quote_path(const std::filesystem::path& path) { return quote(path.native()); }

std::string display_path(const std::filesystem::path& path) {
  return utf8::replace_invalid(path.native());
}

std::string DatError::display() const {
  return std::visit(
      Overloaded{
          [](const Io& k) { return "IO error: " + k.error.display(); },
          [](const BinRead& k) { return "Binary read error: " + k.error.report(); },
          [](const NotFound& k) { return "File ID " + hex8(k.id) + " not found in provider"; },
          [](const DuplicateId& k) { return "Duplicate File ID " + hex8(k.id) + " detected"; },
          [](const DuplicateNamespacedId& k) {
            return "Duplicate namespaced file " + k.namespace_ + ":" + hex8(k.file_id) + " detected";
          },
          [](const InvalidMagic& k) { return "Invalid magic for format: " + k.text; },
          [](const UnsupportedVersion& k) {
            return "Unsupported version: " + std::to_string(k.version);
          },
          [](const InvalidNamespace& k) { return "Invalid namespace: " + k.text; },
          [](const Corruption& k) { return "Corruption detected: " + k.text; },
          [](const DecompressionFailed& k) {
            return "Failed to recover compressed file " + hex8(k.id);
          },
          [](const PathError& k) {
            return "Failed to open file at " + display_path(k.path) + ": " + k.source.display();
          },
          [](const Other& k) { return "Other error: " + k.text; },
      },
      kind_);
}

std::string DatError::debug() const {
  return std::visit(
      Overloaded{
          [](const Io& k) { return "Io(" + k.error.debug() + ")"; },
          [](const BinRead& k) { return "BinRead(" + k.error.report() + ")"; },
          [](const NotFound& k) { return "NotFound(" + std::to_string(k.id) + ")"; },
          [](const DuplicateId& k) { return "DuplicateId(" + std::to_string(k.id) + ")"; },
          [](const DuplicateNamespacedId& k) {
            return "DuplicateNamespacedId { namespace: " + quote(k.namespace_) +
                   ", file_id: " + std::to_string(k.file_id) + " }";
          },
          [](const InvalidMagic& k) { return "InvalidMagic(" + quote(k.text) + ")"; },
          [](const UnsupportedVersion& k) {
            return "UnsupportedVersion(" + std::to_string(k.version) + ")";
          },
          [](const InvalidNamespace& k) { return "InvalidNamespace(" + quote(k.text) + ")"; },
          [](const Corruption& k) { return "Corruption(" + quote(k.text) + ")"; },
          [](const DecompressionFailed& k) {
            return "DecompressionFailed(" + std::to_string(k.id) + ")";
          },
          [](const PathError& k) {
            return "PathError { path: " + debug_quote_path(k.path) +
                   ", source: " + k.source.debug() + " }";
          },
          [](const Other& k) { return "Other(" + quote(k.text) + ")"; },
      },
      kind_);
}

}  // namespace quorvane_dat
