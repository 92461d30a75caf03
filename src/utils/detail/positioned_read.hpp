// FileExtPolyfill: a positioned exact read that neither uses nor moves the
// file's own read position; ArchiveSource, which adds scatter reads; and the
// owning file handle that implements them. Internal to the archive library.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "quorvane_dat/error/io_error.hpp"
#include "quorvane_dat/error/result.hpp"

namespace quorvane_dat::detail {

// Kept under its described name, with read_exact_at_compat, as part of the
// reader's described interface.
class FileExtPolyfill {
 public:
  virtual ~FileExtPolyfill() = default;
  // Fills all of `buf` from absolute `offset`; EINTR is retried, a read of 0
  // bytes before `buf` is full fails with "failed to fill whole buffer".
  virtual Result<void, IoError> read_exact_at_compat(std::span<std::uint8_t> buf,
                                                     std::uint64_t offset) const = 0;
};

// What the archive reader reads an archive through: positioned exact reads
// and positioned scatter reads.
class ArchiveSource : public FileExtPolyfill {
 public:
  // One positioned scatter read into `parts` at absolute `offset`. Returns
  // the number of bytes read, which is short when the archive ends inside
  // the parts (0 at or past its end). At most IOV_MAX parts.
  virtual Result<std::size_t, IoError> read_vectored_at(std::span<const ::iovec> parts,
                                                        std::uint64_t offset) const = 0;
};

// An open, read-only file descriptor, closed on destruction. Movable, not copyable.
class ReadOnlyFile final : public ArchiveSource {
 public:
  explicit ReadOnlyFile(int fd) noexcept : fd_(fd) {}
  ReadOnlyFile(ReadOnlyFile&& other) noexcept;
  ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile() override;

  int fd() const noexcept { return fd_; }
  Result<void, IoError> read_exact_at_compat(std::span<std::uint8_t> buf,
                                             std::uint64_t offset) const override;

  // Retried only on EINTR.
  Result<std::size_t, IoError> read_vectored_at(std::span<const ::iovec> parts,
                                                std::uint64_t offset) const override;

 private:
  int fd_ = -1;
};

}  // namespace quorvane_dat::detail
