// The decoded content of two archives compared entry by entry. Both archives
// are read at once, each through its own read_batch in offset order, and
// compared on its worker threads; an entry is compared byte for byte with a
// copy of the other side's bytes while the copies held stay within a bound
// (64 MiB), and otherwise by the SHA-256 of each side. No archive is ever
// held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/lib/dat_header.hpp"
#include "tools/portal_dat/sha256_digest.hpp"

namespace portal_dat {

// One side of a compared entry.
struct ComparedSide {
  bool present = false;
  quorvane_dat::DatFileEntry entry;
  std::uint64_t decoded_size = 0;
  std::optional<std::string> error;  // could not be read, decoded or hashed
};

struct ComparedEntry {
  std::uint32_t id = 0;
  ComparedSide old_side, new_side;
  // When both sides are present and readable: the decoded bytes are equal.
  bool same = false;
};

struct Comparison {
  std::vector<ComparedEntry> entries;   // ascending by id, every entry of either selection
  std::uint64_t compared_directly = 0;  // entries compared byte for byte, not by digest
  std::size_t peak_copied = 0;          // the most bytes of copies held at once
  std::size_t left_copied = 0;          // bytes of copies still held when both reads ended
  // Set when a side's batch (or its thread) could not run: nothing compared.
  std::optional<std::string> error;
};

// Bytes of copies that may be held at once.
inline constexpr std::size_t DEFAULT_COPY_LIMIT = std::size_t{64} << 20;

// Compares the selected entries of OLD and NEW; `threads` in all (0: the
// processors available), shared between the two reads.
Comparison compare_archives(const quorvane_dat::DatDatabase& old_database,
                            std::span<const quorvane_dat::DatFileEntry> old_selection,
                            const quorvane_dat::DatDatabase& new_database,
                            std::span<const quorvane_dat::DatFileEntry> new_selection, unsigned threads,
                            std::size_t copy_limit = DEFAULT_COPY_LIMIT);

}  // namespace portal_dat
