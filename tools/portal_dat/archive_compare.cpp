// Comparing two archives' entries with both reads running side by side.
//
// Each side is read by read_batch with nothing handed to the calling thread
// but each file's hash, computed on the workers as the file is decoded. The
// calling thread of each side files the hash under the entry; the entries
// held by both are settled once both reads are done. The two reads never
// wait for each other.
#include "tools/portal_dat/archive_compare.hpp"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "quorvane_dat/lib/batch_reader.hpp"
#include "tools/portal_dat/side_by_side.hpp"

namespace portal_dat {

namespace {

using quorvane_dat::DatFileEntry;

// The entries sorted by id: a radix sort on the id's two halves, as a
// selection follows the directory's order and 100000 entries are sorted in
// a fraction of what a comparison sort takes. Stable, as each pass is.
std::vector<DatFileEntry> by_id(std::span<const DatFileEntry> selection) {
  std::vector<DatFileEntry> sorted(selection.begin(), selection.end());
  std::vector<DatFileEntry> buffer(sorted.size());
  std::vector<std::uint32_t> starts(std::size_t{1} << 16);
  for (const unsigned shift : {0U, 16U}) {
    std::fill(starts.begin(), starts.end(), 0);
    for (const DatFileEntry& entry : sorted) ++starts[(entry.id >> shift) & 0xFFFFU];
    std::uint32_t next = 0;
    for (std::uint32_t& start : starts) next += std::exchange(start, next);
    for (const DatFileEntry& entry : sorted) buffer[starts[(entry.id >> shift) & 0xFFFFU]++] = entry;
    sorted.swap(buffer);
  }
  return sorted;
}

std::vector<ComparedEntry> union_by_id(std::span<const DatFileEntry> old_selection,
                                       std::span<const DatFileEntry> new_selection) {
  const auto ascending = [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; };
  std::vector<DatFileEntry> old_sorted, new_sorted;
  if (!std::is_sorted(old_selection.begin(), old_selection.end(), ascending)) {
    old_sorted = by_id(old_selection);
    old_selection = old_sorted;
  }
  if (!std::is_sorted(new_selection.begin(), new_selection.end(), ascending)) {
    new_sorted = by_id(new_selection);
    new_selection = new_sorted;
  }
  // A linear merge; each id once, the new side folded into the old side's.
  std::vector<ComparedEntry> merged;
  merged.reserve(old_selection.size() + new_selection.size());
  std::size_t i = 0, j = 0;
  while (i < old_selection.size() || j < new_selection.size()) {
    const bool take_old = j == new_selection.size() ||
                          (i < old_selection.size() && old_selection[i].id <= new_selection[j].id);
    const DatFileEntry& entry = take_old ? old_selection[i++] : new_selection[j++];
    if (merged.empty() || merged.back().id != entry.id) merged.emplace_back().id = entry.id;
    ComparedSide& side = take_old ? merged.back().old_side : merged.back().new_side;
    side.present = true;
    side.entry = entry;
  }
  return merged;
}

// Files one side's hashes under the entries, on that side's calling thread.
class SideFiler {
 public:
  SideFiler(std::vector<ComparedEntry>& entries, bool new_side)
      : entries_(entries), new_side_(new_side), arrived_(entries.size(), false) {}

  void file(const quorvane_dat::BatchFile& batch_file) {
    const std::size_t k = index_of(batch_file.entry->id);
    if (k == entries_.size()) return;  // not selected: read_batch reads only the selection
    arrived_[k] = true;
    ComparedSide& side = side_at(k);
    if (batch_file.error != nullptr) {
      side.error = std::make_unique<std::string>(batch_file.error->plain());
    } else if (batch_file.digest.size() != side.hash.size()) {
      side.error = std::make_unique<std::string>("was not hashed");
    } else {
      side.decoded_size = batch_file.digested_size;
      std::copy(batch_file.digest.begin(), batch_file.digest.end(), side.hash.begin());
    }
  }

  // After the read: read_batch hands over every file, but should one not
  // have come, it is unreadable rather than different.
  void check_all_arrived() {
    for (std::size_t k = 0; k < entries_.size(); ++k) {
      ComparedSide& side = side_at(k);
      if (side.present && !arrived_[k]) side.error = std::make_unique<std::string>("was not read");
    }
  }

 private:
  // The index of the entry `id`: files come in offset order, which is often
  // id order too, so the entry after the last one is tried first.
  std::size_t index_of(std::uint32_t id) {
    std::size_t k = next_;
    if (k >= entries_.size() || entries_[k].id != id) {
      const auto found =
          std::lower_bound(entries_.begin(), entries_.end(), id,
                           [](const ComparedEntry& item, std::uint32_t key) { return item.id < key; });
      k = found != entries_.end() && found->id == id ? static_cast<std::size_t>(found - entries_.begin())
                                                     : entries_.size();
    }
    next_ = k + 1;
    return k;
  }
  ComparedSide& side_at(std::size_t k) {
    return new_side_ ? entries_[k].new_side : entries_[k].old_side;
  }

  std::vector<ComparedEntry>& entries_;
  const bool new_side_;
  std::vector<bool> arrived_;
  std::size_t next_ = 0;
};

}  // namespace

Comparison compare_archives(const quorvane_dat::DatDatabase& old_database,
                            std::span<const DatFileEntry> old_selection,
                            const quorvane_dat::DatDatabase& new_database,
                            std::span<const DatFileEntry> new_selection, unsigned threads,
                            const RandomSource& random, const ThreadStarter& start_thread) {
  Comparison comparison;
  std::string error;
  const std::optional<ContentSecret> drawn = random_secret(error, random);
  if (!drawn) {
    comparison.error = error;
    return comparison;
  }
  comparison.entries = union_by_id(old_selection, new_selection);
  if (threads == 0) threads = std::max(1U, std::thread::hardware_concurrency());

  SideFiler filers[2] = {{comparison.entries, false}, {comparison.entries, true}};
  const auto read_side = [&](int s) -> quorvane_dat::DatResult<void> {
    quorvane_dat::BatchOptions batch;
    batch.threads = std::max(1U, threads / 2);
    // Windows that stay in a core's cache while their files are hashed.
    batch.window_bytes = std::size_t{2} << 20;
    batch.check_only = true;
    batch.make_digest = content_digests(*drawn);
    return quorvane_dat::read_batch(s == 0 ? old_database : new_database,
                                    s == 0 ? old_selection : new_selection, batch,
                                    [&filers, s](const quorvane_dat::BatchFile& file) {
                                      filers[s].file(file);
                                      return true;
                                    });
  };

  std::optional<quorvane_dat::DatResult<void>> old_ran, new_ran;
  side_by_side([&] { new_ran = read_side(1); }, [&] { old_ran = read_side(0); }, start_thread);
  if (!*old_ran || !*new_ran) {
    comparison.error = "cannot read the archive's files: " +
                       (!*old_ran ? old_ran->error().plain() : new_ran->error().plain());
    return comparison;
  }
  for (SideFiler& filer : filers) filer.check_all_arrived();
  for (ComparedEntry& item : comparison.entries) {
    const ComparedSide& a = item.old_side;
    const ComparedSide& b = item.new_side;
    item.same = a.present && b.present && !a.error && !b.error && a.decoded_size == b.decoded_size &&
                a.hash == b.hash;
  }
  return comparison;
}

}  // namespace portal_dat
