#include "quorvane_dat/error/io_error.hpp"

#include "quorvane_dat/error/dat_error.hpp"

namespace quorvane_dat {

IoError IoError::from_os(int code) {
  return IoError(Repr::Os, io_error_kind_from_errno(code), code, std::string());
}

IoError IoError::simple(IoErrorKind kind, std::string_view message) {
  return IoError(Repr::Simple, kind, 0, std::string(message));
}

IoError IoError::custom(IoErrorKind kind, std::string message) {
  return IoError(Repr::Custom, kind, 0, std::move(message));
}

IoError IoError::unexpected_eof() {
  return simple(IoErrorKind::UnexpectedEof, "failed to fill whole buffer");
}

IoError IoError::not_enough_bytes() {
  return custom(IoErrorKind::UnexpectedEof, "not enough bytes in reader");
}

std::optional<int> IoError::raw_os_error() const noexcept {
  if (repr_ == Repr::Os) return code_;
  return std::nullopt;
}

std::string IoError::display() const {
  if (repr_ == Repr::Os) return quorvane_base::os_error_display(code_);
  return message_;
}

std::string IoError::debug() const {
  const std::string kind(io_error_kind_name(kind_));
  switch (repr_) {
    case Repr::Os: return quorvane_base::os_error_debug(code_);
    case Repr::Simple:
      return "Error { kind: " + kind + ", message: " + debug_quote_text(message_) + " }";
    case Repr::Custom: return "Custom { kind: " + kind + ", error: " + debug_quote_text(message_) + " }";
  }
  return message_;
}

}  // namespace quorvane_dat
