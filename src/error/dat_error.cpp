#include "quorvane_dat/error/dat_error.hpp"

#include "quorvane_base/debug_quote.hpp"
#include "quorvane_base/hex8.hpp"
#include "quorvane_base/utf8.hpp"

namespace quorvane_dat {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

using quorvane_base::hex8;

std::string quote(std::string_view text) { return quorvane_base::debug_quote(text); }

}  // namespace

std::string debug_quote_text(std::string_view text) { return quote(text); }

std::string debug_quote_path(const std::filesystem::path& path) { return quote(path.native()); }

std::string display_path(const std::filesystem::path& path) {
  return quorvane_base::utf8::replace_invalid(path.native());
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
          [](const DecompressionFailed& k) { return "Failed to recover compressed file " + hex8(k.id); },
          [](const PathError& k) {
            return "Failed to open file at " + display_path(k.path) + ": " + k.source.display();
          },
          [](const Other& k) { return "Other error: " + k.text; },
      },
      kind_);
}

std::string DatError::plain() const {
  const BinRead* parse = as<BinRead>();
  std::string text = parse != nullptr ? "Binary read error: " + parse->error.plain() : display();
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return text;
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
            return "PathError { path: " + debug_quote_path(k.path) + ", source: " + k.source.debug() +
                   " }";
          },
          [](const Other& k) { return "Other(" + quote(k.text) + ")"; },
      },
      kind_);
}

}  // namespace quorvane_dat
