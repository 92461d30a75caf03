#include "quorvane_dat/utils/detail/read_ahead.hpp"

#include <cstring>

namespace quorvane_dat::detail {

bool ReadAheadReader::cover(std::uint64_t offset, std::size_t length) {
  const bool in_window = offset >= window_start_ && offset - window_start_ <= window_length_ &&
                         length <= window_length_ - (offset - window_start_);
  // Forward means starting at or after the previous request's end, with a gap
  // no larger than the request itself: reading the gaps along then costs at
  // most as much copying as the data wanted.
  const bool forward = have_last_ && offset >= last_end_ && offset - last_end_ <= length;
  have_last_ = true;
  last_end_ = offset + length;
  if (in_window) return true;
  if (!forward || length > FILL_SIZE / 2 || offset + length > end_seen_) return false;
  if (!window_) window_.reset(new std::uint8_t[FILL_SIZE]);
  const ::iovec part{window_.get(), FILL_SIZE};
  ++file_reads_;
  auto got = file_.read_vectored_at(std::span<const ::iovec>(&part, 1), offset);
  if (!got) {
    window_length_ = 0;
    return false;
  }
  window_start_ = offset;
  window_length_ = *got;
  if (*got < FILL_SIZE) end_seen_ = offset + *got;
  return *got >= length;
}

Result<void, IoError> ReadAheadReader::read_exact_at_compat(std::span<std::uint8_t> buf,
                                                            std::uint64_t offset) {
  if (!buf.empty() && cover(offset, buf.size())) {
    std::memcpy(buf.data(), window_.get() + (offset - window_start_), buf.size());
    return {};
  }
  ++file_reads_;
  return file_.read_exact_at_compat(buf, offset);
}

Result<std::size_t, IoError> ReadAheadReader::read_vectored_at(std::span<const ::iovec> parts,
                                                               std::uint64_t offset) {
  std::size_t total = 0;
  for (const ::iovec& part : parts) total += part.iov_len;
  if (total != 0 && cover(offset, total)) {
    const std::uint8_t* from = window_.get() + (offset - window_start_);
    for (const ::iovec& part : parts) {
      if (part.iov_len == 0) continue;
      std::memcpy(part.iov_base, from, part.iov_len);
      from += part.iov_len;
    }
    return total;
  }
  ++file_reads_;
  return file_.read_vectored_at(parts, offset);
}

}  // namespace quorvane_dat::detail
