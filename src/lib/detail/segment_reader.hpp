// SegmentReader: gathers the stored bytes of many files that lie one after
// another in the archive with a few large scatter reads, each block's payload
// read straight into its place and its pointer into a side table. Internal to
// the archive library; read_batch uses it.
//
// One read here spans many files and the gaps between them, so each payload
// must land in its own file's buffer: the side table, not ChainReader's
// in-place move, which suits one chain read into one buffer.
#pragma once

#include <sys/uio.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/lib/dat_header.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"

namespace quorvane_dat::detail {

// One file to gather: its entry, where its stored bytes go (entry->size of
// them), and where its chain's blocks and its error are recorded.
struct GatherTarget {
  const DatFileEntry* entry = nullptr;
  std::span<std::uint8_t> dest;
  std::vector<std::uint32_t>* blocks = nullptr;  // nullptr: not collected
  std::optional<DatError>* error = nullptr;
  bool* loops = nullptr;  // set when the chain comes back to a block; nullptr: not asked
};

class SegmentReader {
 public:
  SegmentReader(const ArchiveSource& source, std::uint32_t block_size);

  // Gathers every target, in the order given (ascending offsets read fastest).
  // Each result is exactly what the one-chain reader gives for that file:
  // a file whose chain is laid out one block after another is taken from the
  // scatter reads once its pointers confirm that layout; any other file (a
  // chain that turns away, ends early, overlaps the previous file, runs past
  // the end of the archive or is too long for one read) is gathered again by
  // the one-chain reader itself. Throws std::bad_alloc only.
  void gather(std::span<const GatherTarget> targets);

 private:
  // A file planned into the current scatter read.
  struct Plan {
    const GatherTarget* target;
    std::size_t first_pointer;  // index into pointers_
    std::uint64_t blocks;
    std::uint64_t end;  // just past the last byte the chain reader would read
  };

  void plan(const GatherTarget& target);
  void flush();
  void gather_one_chain(const GatherTarget& target);

  const ArchiveSource& source_;
  std::uint32_t block_size_;
  std::vector<::iovec> parts_;
  std::vector<std::array<std::uint8_t, 4>> pointers_;
  std::vector<Plan> plans_;
  std::unique_ptr<std::uint8_t[]> junk_;
  std::uint64_t read_start_ = 0;
  std::uint64_t cursor_ = 0;  // end of what the current read covers so far
};

}  // namespace quorvane_dat::detail
