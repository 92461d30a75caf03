// ByteReader: the little-endian cursor with which every record is read. A
// failed read leaves the position where it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "error/parse_error.hpp"
#include "error/result.hpp"

namespace quorvane_dat {

class ByteReader {
 public:
  // Over an in-memory buffer, which must outlive the reader.
  explicit ByteReader(std::span<const std::uint8_t> bytes) noexcept;
  // Over an open file descriptor, reading from its current read position
  // (the descriptor's own position moves; the reader does not own it).
  static ByteReader over_fd(int fd) noexcept;

  // Fails with "failed to fill whole buffer" when fewer than 4 bytes remain.
  Result<std::uint32_t, ParseError> read_u32_le();
  // Fails with "not enough bytes in reader" when fewer than n bytes remain.
  Result<std::vector<std::uint8_t>, ParseError> read_bytes(std::size_t n);

  std::uint64_t position() const noexcept { return pos_; }
  // Returns the cursor to an earlier position (record readers use this to
  // restore the start of a record after a failure).
  void rewind_to(std::uint64_t pos) noexcept;

 private:
  ByteReader() = default;
  std::span<const std::uint8_t> bytes_{};
  int fd_ = -1;
  std::uint64_t pos_ = 0;
};

}  // namespace quorvane_dat
