// Comparing two archives' entries by the digests their batches hand over.
// The archives are read one after the other, each on all the threads given:
// the work is the reading, decoding and hashing on the workers, so running
// the two side by side would gain nothing but share the same processors.
#include "tools/portal_dat/archive_compare.hpp"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "quorvane_dat/lib/batch_reader.hpp"

namespace portal_dat {

namespace {

using quorvane_dat::DatFileEntry;

// Each side present is unreadable until its batch hands it over: read_batch
// hands over every file, but should one not come, it must not count as the
// same as the other side.
constexpr const char* NOT_READ = "was not read";

std::vector<ComparedEntry> union_by_id(std::span<const DatFileEntry> old_selection,
                                       std::span<const DatFileEntry> new_selection) {
  std::vector<ComparedEntry> entries;
  entries.reserve(old_selection.size() + new_selection.size());
  const auto add = [&](std::span<const DatFileEntry> selection, ComparedSide ComparedEntry::*side) {
    for (const DatFileEntry& entry : selection) {
      ComparedEntry& item = entries.emplace_back();
      item.id = entry.id;
      ComparedSide& mine = item.*side;
      mine.present = true;
      mine.entry = entry;
      mine.error = NOT_READ;
    }
  };
  add(old_selection, &ComparedEntry::old_side);
  add(new_selection, &ComparedEntry::new_side);
  std::sort(entries.begin(), entries.end(), [](const ComparedEntry& a, const ComparedEntry& b) {
    return a.id != b.id ? a.id < b.id : a.old_side.present > b.old_side.present;
  });
  // Each id once: the new side folded into the old side's item.
  std::vector<ComparedEntry> merged;
  merged.reserve(entries.size());
  for (ComparedEntry& item : entries) {
    if (!merged.empty() && merged.back().id == item.id) {
      merged.back().new_side = item.new_side;
    } else {
      merged.push_back(std::move(item));
    }
  }
  return merged;
}

ComparedEntry& find(std::vector<ComparedEntry>& entries, std::uint32_t id) {
  return *std::lower_bound(entries.begin(), entries.end(), id,
                           [](const ComparedEntry& e, std::uint32_t key) { return e.id < key; });
}

// Reads one side's selection into the side's half of `entries`.
quorvane_dat::DatResult<void> read_side(const quorvane_dat::DatDatabase& database,
                                        std::span<const DatFileEntry> selection, ComparedSide ComparedEntry::*side,
                                        const quorvane_dat::BatchOptions& options,
                                        std::vector<ComparedEntry>& entries) {
  return quorvane_dat::read_batch(database, selection, options, [&](const quorvane_dat::BatchFile& file) {
    ComparedSide& mine = find(entries, file.entry->id).*side;
    mine.decoded_size = file.digested_size;
    std::string error;
    if (const auto digest = batch_sha256(file, error)) {
      mine.digest = *digest;
      mine.error.reset();
    } else {
      mine.error = std::move(error);
    }
    return true;
  });
}

}  // namespace

Comparison compare_archives(const quorvane_dat::DatDatabase& old_database,
                            std::span<const DatFileEntry> old_selection,
                            const quorvane_dat::DatDatabase& new_database,
                            std::span<const DatFileEntry> new_selection, unsigned threads,
                            const char* algorithm) {
  Comparison comparison;
  comparison.entries = union_by_id(old_selection, new_selection);
  quorvane_dat::BatchOptions options;
  options.threads = threads;
  options.check_only = true;
  options.make_digest = sha256_digests(algorithm);
  auto ran = read_side(old_database, old_selection, &ComparedEntry::old_side, options, comparison.entries);
  if (ran) ran = read_side(new_database, new_selection, &ComparedEntry::new_side, options, comparison.entries);
  if (!ran) {
    comparison.error = "cannot read the archive's files: " + ran.error().plain();
    return comparison;
  }
  for (ComparedEntry& item : comparison.entries) {
    item.same = item.old_side.present && item.new_side.present && !item.old_side.error && !item.new_side.error &&
                item.old_side.digest == item.new_side.digest;
  }
  return comparison;
}

}  // namespace portal_dat
