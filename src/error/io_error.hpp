// The platform's I/O error as the archive library carries it: an operating
// system error number, a fixed message, or a wrapped message text, each with a
// kind. Display and debug forms are part of the library's error texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quorvane_base/os_error.hpp"
#include "quorvane_dat/export.hpp"

namespace quorvane_dat {

/// The kinds, their names and the errno mapping are the foundation library's.
using quorvane_base::io_error_kind_from_errno;
using quorvane_base::io_error_kind_name;
using quorvane_base::IoErrorKind;

class QUORVANE_DAT_API IoError {
 public:
  /// An operating-system error: displays as "MESSAGE (os error N)".
  static IoError from_os(int code);
  /// A fixed message without error number, e.g. "failed to fill whole buffer".
  static IoError simple(IoErrorKind kind, std::string_view message);
  /// A wrapped message text, e.g. "not enough bytes in reader".
  static IoError custom(IoErrorKind kind, std::string message);

  /// The end-of-data errors that the library produces itself.
  static IoError unexpected_eof();    // "failed to fill whole buffer" (fixed)
  static IoError not_enough_bytes();  // "not enough bytes in reader" (wrapped)

  IoErrorKind kind() const noexcept { return kind_; }
  std::optional<int> raw_os_error() const noexcept;
  std::string display() const;
  /// Os { code: 2, kind: NotFound, message: "No such file or directory" }
  /// Error { kind: UnexpectedEof, message: "failed to fill whole buffer" }
  /// Custom { kind: UnexpectedEof, error: "not enough bytes in reader" }
  std::string debug() const;

  friend bool operator==(const IoError&, const IoError&) = default;

 private:
  enum class Repr : std::uint8_t { Os, Simple, Custom };
  IoError(Repr repr, IoErrorKind kind, int code, std::string message)
      : repr_(repr), kind_(kind), code_(code), message_(std::move(message)) {}

  Repr repr_;
  IoErrorKind kind_;
  int code_;             // valid for Os only
  std::string message_;  // Simple and Custom only; Os messages come from strerror
};

}  // namespace quorvane_dat
