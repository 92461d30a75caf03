#include "fuzz/support/memory_file.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz_support {

namespace {

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "memory file: %s: %s\n", what, std::strerror(errno));
  std::abort();
}

}  // namespace

MemoryFile::MemoryFile() {
  fd_ = ::memfd_create("fuzz-input", MFD_CLOEXEC);
  if (fd_ < 0) die("memfd_create");
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() {
  if (fd_ >= 0) ::close(fd_);
}

void MemoryFile::assign(std::span<const std::uint8_t> bytes) {
  if (::ftruncate(fd_, 0) != 0) die("ftruncate");
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::pwrite(fd_, bytes.data() + written, bytes.size() - written,
                               static_cast<off_t>(written));
    if (n < 0) {
      if (errno == EINTR) continue;
      die("pwrite");
    }
    written += static_cast<std::size_t>(n);
  }
}

}  // namespace fuzz_support
