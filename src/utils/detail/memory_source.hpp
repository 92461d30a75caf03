// MemorySource: an archive held in memory by the caller, read like a file.
// Internal to the archive library.
#pragma once

#include <cstdint>
#include <span>

#include "quorvane_dat/utils/detail/positioned_read.hpp"

namespace quorvane_dat::detail {

class MemorySource final : public ArchiveSource {
 public:
  // The bytes must outlive the source.
  explicit MemorySource(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}

  // As a file of these bytes: fails with "failed to fill whole buffer" when
  // the bytes end before `buf` is full.
  Result<void, IoError> read_exact_at_compat(std::span<std::uint8_t> buf,
                                             std::uint64_t offset) const override;
  Result<std::size_t, IoError> read_vectored_at(std::span<const ::iovec> parts,
                                                std::uint64_t offset) const override;

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace quorvane_dat::detail
