// Scratch files for tests: a fresh directory under the temporary directory
// ($TMPDIR or /tmp), removed with everything in it when the object ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace test_support {

class ScratchDir {
 public:
  // The directory's name starts with `prefix`; throws std::runtime_error when
  // it cannot be made.
  explicit ScratchDir(std::string_view prefix = "quorvane_test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }
  std::filesystem::path file(std::string_view name) const { return path_ / name; }
  // Writes `bytes` to the file `name` in the directory (created or
  // truncated) and returns its path.
  std::filesystem::path write(std::string_view name, std::span<const std::uint8_t> bytes) const;

 private:
  std::filesystem::path path_;
};

// Writes `bytes` to `path` (created or truncated); throws std::runtime_error.
void write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace test_support
