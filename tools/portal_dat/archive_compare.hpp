// The decoded content of two archives compared entry by entry: each archive is
// read through read_batch in offset order, its entries hashed with SHA-256 on
// the batch's workers, and the digests of the two sides compared. No file is
// ever held whole on the comparing thread, nor an archive in memory.
#pragma once

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
  Sha256Digest digest{};
  std::optional<std::string> error;  // could not be read, decoded or hashed
};

struct ComparedEntry {
  std::uint32_t id = 0;
  ComparedSide old_side, new_side;
  // When both sides are present and readable: the decoded bytes are equal.
  bool same = false;
};

struct Comparison {
  std::vector<ComparedEntry> entries;  // ascending by id, every entry of either selection
  // Set when a side's batch could not run: nothing compared.
  std::optional<std::string> error;
};

// Compares the selected entries of OLD and NEW, each read on `threads` (0: the
// processors available); `algorithm` other than "SHA256" is for tests of the
// failure path.
Comparison compare_archives(const quorvane_dat::DatDatabase& old_database,
                            std::span<const quorvane_dat::DatFileEntry> old_selection,
                            const quorvane_dat::DatDatabase& new_database,
                            std::span<const quorvane_dat::DatFileEntry> new_selection, unsigned threads,
                            const char* algorithm = "SHA256");

}  // namespace portal_dat
