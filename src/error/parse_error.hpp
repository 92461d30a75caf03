// The byte reader's error: a bare I/O failure, or a chain of context frames
// naming the fields and records that were being read when it happened.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quorvane_dat/error/io_error.hpp"
#include "quorvane_dat/export.hpp"

namespace quorvane_dat {

struct QUORVANE_DAT_API ContextFrame {
  std::string message;     // "While parsing field 'style' in CombatManeuver"
  std::string_view file;   // source file declaring the record, repository-relative
  std::uint32_t line = 0;  // line of the field's declaration in that file

  friend bool operator==(const ContextFrame&, const ContextFrame&) = default;
};

/// Where a record's field is declared; every record reader names its fields with these.
struct FieldSite {
  std::string_view record;  // "CombatManeuver"
  std::string_view field;   // "style"
  std::string_view file;
  std::uint32_t line;
};

/// Declares, on the line of a record's member, the FieldSite `<field>_site` for
/// that member, so that the recorded line is right by construction:
///   std::uint32_t style = 0;  QUORVANE_FIELD_SITE(CombatManeuver, style);
#define QUORVANE_FIELD_SITE(record, field)                            \
  static constexpr ::quorvane_dat::FieldSite field##_site {           \
#record, #field, __FILE__, static_cast < std::uint32_t>(__LINE__) \
  }

class QUORVANE_DAT_API ParseError {
 public:
  explicit ParseError(IoError first) : first_(std::move(first)) {}

  /// Appends the frame "While parsing field '<field>' in <record>" for `site`.
  ParseError&& with_field(const FieldSite& site) &&;
  ParseError&& with_frame(ContextFrame frame) &&;

  const IoError& first_error() const noexcept { return first_; }
  const std::vector<ContextFrame>& frames() const noexcept { return frames_; }

  /// The report text: the I/O error's display text for a bare failure, or the
  /// framed backtrace block for a context chain. Debug form is the same text.
  std::string report() const;
  /// One plain line: the I/O error's display text, then the frames' messages
  /// in parentheses ("failed to fill whole buffer (while parsing field
  /// 'magic' in DatHeader)"); no escapes, source paths or newlines.
  std::string plain() const;

  friend bool operator==(const ParseError&, const ParseError&) = default;

 private:
  IoError first_;
  std::vector<ContextFrame> frames_;
};

}  // namespace quorvane_dat
