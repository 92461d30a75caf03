// The SHA-256 digest of every selected entry's decoded bytes, read through
// read_batch in offset order and hashed on its workers.
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

struct EntryDigest {
  quorvane_dat::DatFileEntry entry;
  Sha256Digest digest{};
  std::uint64_t decoded_size = 0;
  // Why the entry could not be read, decoded or hashed; the digest is then unset.
  std::optional<std::string> error;
};

// Per entry of `selection`, ascending by id; `error` is set when the batch
// itself could not run (or hashing could not start) and nothing was read.
struct DigestRun {
  std::vector<EntryDigest> entries;
  std::optional<std::string> error;
};

// `selection` empty hashes nothing; `algorithm` other than "SHA256" is for
// tests of the failure path.
DigestRun digest_entries(const quorvane_dat::DatDatabase& database,
                         std::span<const quorvane_dat::DatFileEntry> selection, unsigned threads,
                         const char* algorithm = "SHA256");

// The name extract gives an entry's file: "<8 hex digits>.bin".
std::string entry_file_name(std::uint32_t id);

}  // namespace portal_dat
