// DatError: the archive library's one error type, with twelve kinds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include "quorvane_dat/error/io_error.hpp"
#include "quorvane_dat/error/parse_error.hpp"
#include "quorvane_dat/error/result.hpp"
#include "quorvane_dat/export.hpp"

namespace quorvane_dat {

class QUORVANE_DAT_API DatError {
 public:
  // Part of the described error interface, though this reader never produces
  // them: DuplicateId, DuplicateNamespacedId, InvalidMagic, UnsupportedVersion,
  // InvalidNamespace, DecompressionFailed and Other (it validates no magic,
  // version or id, and its decoder cannot fail); callers may.
  struct Io {
    IoError error;
  };
  struct BinRead {
    ParseError error;
  };
  struct NotFound {
    std::uint32_t id;
  };
  struct DuplicateId {
    std::uint32_t id;
  };
  struct DuplicateNamespacedId {
    std::string namespace_;
    std::uint32_t file_id;
  };
  struct InvalidMagic {
    std::string text;
  };
  struct UnsupportedVersion {
    std::uint32_t version;
  };
  struct InvalidNamespace {
    std::string text;
  };
  struct Corruption {
    std::string text;
  };
  struct DecompressionFailed {
    std::uint32_t id;
  };
  struct PathError {
    std::filesystem::path path;
    IoError source;
  };
  struct Other {
    std::string text;
  };

  using Kind = std::variant<Io, BinRead, NotFound, DuplicateId, DuplicateNamespacedId, InvalidMagic,
                            UnsupportedVersion, InvalidNamespace, Corruption, DecompressionFailed,
                            PathError, Other>;

  template <class K, class = std::enable_if_t<std::is_constructible_v<Kind, K&&>>>
  DatError(K kind) : kind_(std::move(kind)) {}  // NOLINT: implicit by design
  /// Conversions that keep the carried error whole.
  DatError(IoError error) : kind_(Io{std::move(error)}) {}          // NOLINT
  DatError(ParseError error) : kind_(BinRead{std::move(error)}) {}  // NOLINT

  const Kind& kind() const noexcept { return kind_; }
  template <class K>
  const K* as() const noexcept {
    return std::get_if<K>(&kind_);
  }

  /// "File ID 30000000 not found in provider", "IO error: ...", ...
  std::string display() const;
  /// The display text as one plain line for a terminal or a log: a parse
  /// error without its framed report (ParseError::plain), and any control
  /// character, line breaks and escape sequences included, shown as '?'.
  std::string plain() const;
  /// "NotFound(805306368)", "PathError { path: \"...\", source: Os { ... } }", ...
  std::string debug() const;

 private:
  Kind kind_;
};

template <class T>
using DatResult = Result<T, DatError>;

/// Debug form of a text or path: double-quoted, with escapes. Paths show bytes
/// that are not valid UTF-8 as \xNN.
QUORVANE_DAT_API std::string debug_quote_text(std::string_view text);
QUORVANE_DAT_API std::string debug_quote_path(const std::filesystem::path& path);
/// Display form of a path: invalid UTF-8 replaced by U+FFFD.
QUORVANE_DAT_API std::string display_path(const std::filesystem::path& path);

}  // namespace quorvane_dat
