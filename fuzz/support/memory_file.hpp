// An anonymous in-memory file holding one fuzz input, reachable by a path
// (/proc/self/fd/N) so that code which opens archives by path can read it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace fuzz_support {

class MemoryFile {
 public:
  MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile();

  // Replaces the file's whole content with `bytes`.
  void assign(std::span<const std::uint8_t> bytes);
  const std::string& path() const noexcept { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace fuzz_support
