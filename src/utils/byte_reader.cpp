#include "quorvane_dat/utils/byte_reader.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "quorvane_base/little_endian.hpp"

namespace quorvane_dat {

namespace {

// Counted reads over a descriptor grow their buffer in steps of this size, so
// that a huge count over a short file does not allocate the whole count.
constexpr std::size_t FD_CHUNK = 64 * 1024;

}  // namespace

ByteReader::ByteReader(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}

ByteReader ByteReader::over_fd(int fd) noexcept {
  ByteReader reader;
  reader.fd_ = fd;
  const off_t offset = ::lseek(fd, 0, SEEK_CUR);
  reader.pos_ = offset >= 0 ? static_cast<std::uint64_t>(offset) : 0;
  return reader;
}

void ByteReader::rewind_to(std::uint64_t pos) noexcept { pos_ = pos; }

Result<std::size_t, ParseError> ByteReader::fill_from_fd(std::span<std::uint8_t> buf) {
  std::size_t filled = 0;
  while (filled < buf.size()) {
    const ssize_t got = ::read(fd_, buf.data() + filled, buf.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Err{ParseError(IoError::from_os(errno))};
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  return filled;
}

Result<std::uint32_t, ParseError> ByteReader::read_u32_le() {
  std::uint8_t raw[4];
  if (fd_ >= 0) {
    auto got = fill_from_fd(raw);
    if (!got) return Err{std::move(got).error()};
    if (*got < sizeof raw) return Err{ParseError(IoError::unexpected_eof())};
  } else {
    if (pos_ > bytes_.size() || bytes_.size() - pos_ < sizeof raw) {
      return Err{ParseError(IoError::unexpected_eof())};
    }
    std::memcpy(raw, bytes_.data() + pos_, sizeof raw);
  }
  pos_ += sizeof raw;
  return quorvane_base::load_u32_le(raw);
}

Result<std::vector<std::uint8_t>, ParseError> ByteReader::read_bytes(std::size_t n) {
  if (fd_ >= 0) {
    std::vector<std::uint8_t> out;
    while (out.size() < n) {
      const std::size_t before = out.size();
      const std::size_t step = std::min(FD_CHUNK, n - before);
      out.resize(before + step);
      auto got = fill_from_fd(std::span<std::uint8_t>(out).subspan(before, step));
      if (!got) return Err{std::move(got).error()};
      if (*got < step) return Err{ParseError(IoError::not_enough_bytes())};
    }
    pos_ += n;
    return out;
  }
  if (pos_ > bytes_.size() || bytes_.size() - pos_ < n) {
    return Err{ParseError(IoError::not_enough_bytes())};
  }
  const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(pos_);
  std::vector<std::uint8_t> out(first, first + static_cast<std::ptrdiff_t>(n));
  pos_ += n;
  return out;
}

}  // namespace quorvane_dat
