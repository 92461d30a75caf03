// ByteReader: the little-endian cursor with which every record is read. A
// failed read leaves the position where it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quorvane_dat/error/parse_error.hpp"
#include "quorvane_dat/error/result.hpp"
#include "quorvane_dat/export.hpp"

namespace quorvane_dat {

class QUORVANE_DAT_API ByteReader {
 public:
  /// Over an in-memory buffer, which must outlive the reader.
  explicit ByteReader(std::span<const std::uint8_t> bytes) noexcept;
  /// Over an open file descriptor, reading from its current read position
  /// (the descriptor's own position moves; the reader does not own it).
  /// position() starts at the descriptor's offset in the file (0 when the
  /// descriptor cannot report one, e.g. a pipe).
  ///
  /// Bytes taken from a descriptor cannot be put back: after a failed read the
  /// reader's own position still names the start of that read (and rewind_to
  /// moves only that counter), but the descriptor has moved past whatever bytes
  /// it delivered. A record read over a descriptor that fails is therefore the
  /// end of reading from it.
  static ByteReader over_fd(int fd) noexcept;

  /// Fails with "failed to fill whole buffer" when fewer than 4 bytes remain.
  /// Over a descriptor, an error of read(2) itself is reported as an OS error.
  Result<std::uint32_t, ParseError> read_u32_le();
  /// Fails with "not enough bytes in reader" when fewer than n bytes remain.
  Result<std::vector<std::uint8_t>, ParseError> read_bytes(std::size_t n);

  std::uint64_t position() const noexcept { return pos_; }
  /// Returns the cursor to an earlier position (record readers use this to
  /// restore the start of a record after a failure).
  void rewind_to(std::uint64_t pos) noexcept;

 private:
  ByteReader() = default;
  /// Reads up to buf.size() bytes from the descriptor, retrying interrupted
  /// reads; returns the count delivered before end of file.
  Result<std::size_t, ParseError> fill_from_fd(std::span<std::uint8_t> buf);

  std::span<const std::uint8_t> bytes_{};
  int fd_ = -1;
  std::uint64_t pos_ = 0;
};

}  // namespace quorvane_dat
