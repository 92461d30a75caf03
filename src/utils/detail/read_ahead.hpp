// ReadAheadReader: positioned reads over an open archive file that, while the
// requests keep moving forward in small steps, read a window of 16 KiB ahead
// of them and answer the following requests from it.
//
// Opening an archive reads every directory node, and an archive writer tends
// to lay nodes out one after another; this turns one system call per node
// into a few per run of nodes. Requests that jump about are passed straight
// to the file, so a scattered directory costs no extra copying.
//
// Every answer is exactly what the same read of the file would give: a
// request is taken from the window only when the window holds all of it, and
// anything else (a request reaching past what a fill could read, a failed
// fill) is read from the file itself, so short reads and errors come from the
// very read that the caller asked for. One reader belongs to one walk; it is
// not shared between threads.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "quorvane_dat/error/io_error.hpp"
#include "quorvane_dat/error/result.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"

namespace quorvane_dat::detail {

class ReadAheadReader {
 public:
  // Bytes read by one fill: several directory nodes, few enough pages that
  // touching them costs less than the reads they save.
  static constexpr std::size_t FILL_SIZE = 16 * 1024;

  explicit ReadAheadReader(const ArchiveSource& file) noexcept : file_(file) {}

  // As ArchiveSource::read_exact_at_compat.
  Result<void, IoError> read_exact_at_compat(std::span<std::uint8_t> buf, std::uint64_t offset);
  // As ArchiveSource::read_vectored_at.
  Result<std::size_t, IoError> read_vectored_at(std::span<const ::iovec> parts, std::uint64_t offset);

  // How many reads of the file this reader has issued (window fills and
  // passed-through requests); for tests and measurements.
  std::size_t file_reads() const noexcept { return file_reads_; }

 private:
  // Makes the window hold [offset, offset + length) if the access pattern
  // calls for reading ahead and the file has those bytes; false when the
  // request must go to the file instead.
  bool cover(std::uint64_t offset, std::size_t length);

  const ArchiveSource& file_;
  // Allocated at the first fill and left uninitialised: a fill writes only
  // the bytes it reads, and pages never written are never touched.
  std::unique_ptr<std::uint8_t[]> window_;
  std::uint64_t window_start_ = 0;
  std::size_t window_length_ = 0;  // bytes of window_ that hold file data
  std::uint64_t last_end_ = 0;     // end of the previous request
  bool have_last_ = false;
  // Where a fill found the file to end; requests reaching past it are not
  // worth a fill, the file's own answer is needed for them anyway.
  std::uint64_t end_seen_ = UINT64_MAX;
  std::size_t file_reads_ = 0;
};

}  // namespace quorvane_dat::detail
