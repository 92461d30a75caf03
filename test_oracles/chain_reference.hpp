// The block-chain algorithm, one block at a time over an archive's bytes in
// memory (the pointer, then the payload piece), as the yardstick that the
// library's batched chain reads are compared with; and the library's own
// reading put in the same shape.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quorvane_dat/lib/dat_database.hpp"

namespace test_oracles {

// The bytes of a chain, or the display text of the error that stops it.
struct ChainOutcome {
  bool ok = false;
  std::vector<std::uint8_t> bytes;
  std::string error;
  friend bool operator==(const ChainOutcome&, const ChainOutcome&) = default;
};

// Gathers `size` bytes from the chain at `offset` of the archive `file`,
// block by block; a zero pointer takes everything still missing.
ChainOutcome block_by_block(const std::vector<std::uint8_t>& file, std::uint32_t block_size,
                            std::uint32_t offset, std::uint32_t size);

// DatDatabase::read_file_data as a ChainOutcome.
ChainOutcome library_read(const quorvane_dat::DatDatabase& db, std::uint32_t offset, std::uint32_t size);

// Read system calls of this process so far (read, pread, readv, preadv), or
// nothing when /proc/self/io is not available.
std::optional<std::uint64_t> read_calls();

}  // namespace test_oracles
