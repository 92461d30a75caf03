// Positioned reads on an owned, read-only file descriptor. Every read names its
// absolute offset (pread/preadv), so one descriptor serves several threads at
// once and the descriptor's own read position is never used or moved.
#include "quorvane_dat/utils/detail/positioned_read.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <utility>

namespace quorvane_dat::detail {

namespace {

constexpr std::uint64_t MAX_FILE_OFFSET = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

}  // namespace

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) ::close(fd_);
}

Result<void, IoError> ReadOnlyFile::read_exact_at_compat(std::span<std::uint8_t> buf,
                                                         std::uint64_t offset) const {
  std::size_t filled = 0;
  while (filled < buf.size()) {
    const std::uint64_t at = offset + filled;
    // An offset that off_t cannot express lies beyond any file's end.
    if (at > MAX_FILE_OFFSET) return Err{IoError::unexpected_eof()};
    const ssize_t got = ::pread(fd_, buf.data() + filled, buf.size() - filled, static_cast<off_t>(at));
    if (got < 0) {
      if (errno == EINTR) continue;
      return Err{IoError::from_os(errno)};
    }
    if (got == 0) return Err{IoError::unexpected_eof()};
    filled += static_cast<std::size_t>(got);
  }
  return {};
}

Result<std::size_t, IoError> ReadOnlyFile::read_vectored_at(std::span<const ::iovec> parts,
                                                            std::uint64_t offset) const {
  if (parts.empty()) return std::size_t{0};
  if (offset > MAX_FILE_OFFSET) return std::size_t{0};
  for (;;) {
    const ssize_t got =
        ::preadv(fd_, parts.data(), static_cast<int>(parts.size()), static_cast<off_t>(offset));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return Err{IoError::from_os(errno)};
  }
}

}  // namespace quorvane_dat::detail
