// Reads from an archive in memory, answering exactly as reads of a file
// holding the same bytes would (a read at or past the end delivers nothing).
#include "quorvane_dat/utils/detail/memory_source.hpp"

#include <algorithm>
#include <cstring>

namespace quorvane_dat::detail {

Result<void, IoError> MemorySource::read_exact_at_compat(std::span<std::uint8_t> buf,
                                                         std::uint64_t offset) const {
  const std::size_t available =
      offset >= bytes_.size() ? 0 : static_cast<std::size_t>(bytes_.size() - offset);
  const std::size_t n = std::min(available, buf.size());
  if (n != 0) std::memcpy(buf.data(), bytes_.data() + offset, n);
  if (n < buf.size()) return Err{IoError::unexpected_eof()};
  return {};
}

Result<std::size_t, IoError> MemorySource::read_vectored_at(std::span<const ::iovec> parts,
                                                            std::uint64_t offset) const {
  std::size_t delivered = 0;
  for (const ::iovec& part : parts) {
    const std::uint64_t at = offset + delivered;
    if (at >= bytes_.size()) break;
    const std::size_t n = std::min(part.iov_len, static_cast<std::size_t>(bytes_.size() - at));
    if (n != 0) std::memcpy(part.iov_base, bytes_.data() + at, n);
    delivered += n;
    if (n < part.iov_len) break;
  }
  return delivered;
}

}  // namespace quorvane_dat::detail
