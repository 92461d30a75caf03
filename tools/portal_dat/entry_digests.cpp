// Hashing the decoded bytes of many entries in one batch read.
#include "tools/portal_dat/entry_digests.hpp"

#include <algorithm>

#include "quorvane_dat/lib/batch_reader.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

std::string entry_file_name(std::uint32_t id) { return hex8(id) + ".bin"; }

DigestRun digest_entries(const quorvane_dat::DatDatabase& database,
                         std::span<const quorvane_dat::DatFileEntry> selection, unsigned threads) {
  DigestRun run;
  if (selection.empty()) return run;
  Sha256Hasher hasher;
  if (!hasher.ok()) {
    run.error = hasher.error();
    return run;
  }
  run.entries.reserve(selection.size());
  quorvane_dat::BatchOptions batch;
  batch.threads = threads;
  batch.decode = true;
  // The hash runs on the calling thread while the workers gather and decode
  // the next files.
  const auto ran = quorvane_dat::read_batch(
      database, selection, batch, [&](const quorvane_dat::BatchFile& file) {
        EntryDigest& item = run.entries.emplace_back();
        item.entry = *file.entry;
        if (file.error != nullptr) {
          item.error = file.error->plain();
          return true;
        }
        item.decoded_size = file.bytes.size();
        // A file too large to be held whole comes as a stream.
        if (const auto digest = file.stream != nullptr ? hasher.digest(*file.stream, item.decoded_size)
                                                       : hasher.digest(file.bytes)) {
          item.digest = *digest;
        } else {
          item.error = hasher.error();
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
