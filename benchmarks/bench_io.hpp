// Plain file reads for the benchmarks' baselines: a read-only descriptor
// closed on destruction, and a positioned read that fills its buffer.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace bench {

class Fd {
 public:
  explicit Fd(const std::filesystem::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

// Reads `size` bytes at `offset`; false on an error or the file's end.
inline bool pread_all(int fd, std::uint8_t* buf, std::size_t size, std::uint64_t offset) {
  std::size_t filled = 0;
  while (filled < size) {
    const ssize_t got = ::pread(fd, buf + filled, size - filled, static_cast<off_t>(offset + filled));
    if (got <= 0) return false;
    filled += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace bench
