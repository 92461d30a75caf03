// Hashing the decoded bytes of many entries in one batch read.
#include "tools/portal_dat/entry_digests.hpp"

#include <algorithm>
#include <utility>

#include "quorvane_dat/lib/batch_reader.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

std::string entry_file_name(std::uint32_t id) { return hex8(id) + ".bin"; }

DigestRun digest_entries(const quorvane_dat::DatDatabase& database,
                         std::span<const quorvane_dat::DatFileEntry> selection, unsigned threads,
                         const char* algorithm) {
  DigestRun run;
  if (selection.empty()) return run;
  run.entries.reserve(selection.size());
  quorvane_dat::BatchOptions batch;
  batch.threads = threads;
  // Hashed on the workers as they decode; only the digests come over.
  batch.check_only = true;
  batch.make_digest = sha256_digests(algorithm);
  const auto ran =
      quorvane_dat::read_batch(database, selection, batch, [&](const quorvane_dat::BatchFile& file) {
        EntryDigest& item = run.entries.emplace_back();
        item.entry = *file.entry;
        item.decoded_size = file.digested_size;
        std::string error;
        if (const auto digest = batch_sha256(file, error)) {
          item.digest = *digest;
        } else {
          item.error = std::move(error);
        }
        return true;
      });
  if (!ran) {
    run.entries.clear();
    run.error = "cannot read the archive's files: " + ran.error().plain();
    return run;
  }
  std::sort(run.entries.begin(), run.entries.end(),
            [](const EntryDigest& a, const EntryDigest& b) { return a.entry.id < b.entry.id; });
  return run;
}

}  // namespace portal_dat
