// The decoded content of two archives compared entry by entry. Both archives
// are read at once, each through its own read_batch in offset order, and each
// entry's decoded bytes are hashed on the workers (content_digest.hpp); the
// entries are compared by their hashes once both reads are done. No file is
// ever held whole.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/lib/dat_header.hpp"
#include "tools/portal_dat/content_digest.hpp"
#include "tools/portal_dat/side_by_side.hpp"

namespace portal_dat {

// One side of a compared entry.
struct ComparedSide {
  bool present = false;
  quorvane_dat::DatFileEntry entry;
  std::uint64_t decoded_size = 0;
  ContentHash hash{};
  std::unique_ptr<std::string> error;  // could not be read or decoded
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

// Compares the selected entries of OLD and NEW; `threads` in all (0: the
// processors available), shared between the two reads. The hashes' secret
// is drawn from `random` (see random_secret); the new archive is read on a
// thread from `start_thread` (see side_by_side).
Comparison compare_archives(const quorvane_dat::DatDatabase& old_database,
                            std::span<const quorvane_dat::DatFileEntry> old_selection,
                            const quorvane_dat::DatDatabase& new_database,
                            std::span<const quorvane_dat::DatFileEntry> new_selection, unsigned threads,
                            const RandomSource& random = {}, const ThreadStarter& start_thread = {});

}  // namespace portal_dat
