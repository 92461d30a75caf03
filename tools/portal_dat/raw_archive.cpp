// Positioned reads of the archive file on a descriptor of verify's own.
#include "tools/portal_dat/raw_archive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"

namespace portal_dat {

std::variant<RawArchive, std::string> RawArchive::open(const std::string& path) {
  // Non-blocking as the library opens it, so that a FIFO cannot hold verify up.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string(std::strerror(errno));
  RawArchive archive(fd, 0);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::string(std::strerror(errno));
  archive.length_ = status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
  // A block device reports no size of its own: its end is where it can be read to.
  if (S_ISBLK(status.st_mode)) {
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end > 0) archive.length_ = static_cast<std::uint64_t>(end);
  }
  return archive;
}

RawArchive::RawArchive(RawArchive&& other) noexcept : fd_(other.fd_), length_(other.length_) {
  other.fd_ = -1;
}

RawArchive::~RawArchive() {
  if (fd_ >= 0) ::close(fd_);
}

std::variant<bool, std::string> RawArchive::read_at(std::uint8_t* out, std::size_t n,
                                                    std::uint64_t offset) const {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd_, out + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return std::string(std::strerror(errno));
    if (r == 0) return false;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

std::variant<std::optional<quorvane_dat::DatHeader>, std::string> RawArchive::header() const {
  std::array<std::uint8_t, quorvane_dat::HEADER_SIZE> bytes{};
  const auto read = read_at(bytes.data(), bytes.size(), quorvane_dat::HEADER_OFFSET);
  if (const auto* error = std::get_if<std::string>(&read)) return *error;
  if (!std::get<bool>(read)) return std::nullopt;
  quorvane_dat::ByteReader reader{std::span<const std::uint8_t>(bytes)};
  auto header = quorvane_dat::DatHeader::read(reader);
  if (!header) return std::nullopt;
  return std::optional<quorvane_dat::DatHeader>(std::move(*header));
}

std::optional<std::uint32_t> RawArchive::read_u32(std::uint64_t offset) const {
  std::array<std::uint8_t, 4> bytes{};
  const auto read = read_at(bytes.data(), bytes.size(), offset);
  if (!std::holds_alternative<bool>(read) || !std::get<bool>(read)) return std::nullopt;
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace portal_dat
