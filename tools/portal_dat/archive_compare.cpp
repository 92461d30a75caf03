// Comparing two archives' entries with both reads running side by side.
//
// Each side's callback, for an entry that both sides hold, meets the other
// side's callback for the same entry when it can: it either finds the other
// waiting there (and compares the two spans), or waits there itself while
// the other side is not waiting anywhere. Since at most one side ever waits,
// the two can never wait for each other. An entry that one side has already
// passed, or met while the other waits elsewhere, is hashed on each side.
#include "tools/portal_dat/archive_compare.hpp"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "quorvane_dat/lib/batch_reader.hpp"

namespace portal_dat {

namespace {

using quorvane_dat::DatFileEntry;

// What one side knows of an entry while the reads run.
struct SideState {
  bool done = false;  // its result is final
  std::optional<Sha256Digest> digest;
};

struct Waiting {
  std::size_t item = 0;
  std::span<const std::uint8_t> bytes;
};

class Meeting {
 public:
  explicit Meeting(std::vector<ComparedEntry>& entries) : entries_(entries), states_(entries.size()) {}

  // The callback of side `s` (0 old, 1 new) for one file.
  bool visit(int s, const quorvane_dat::BatchFile& file, Sha256Hasher& hasher) {
    const std::size_t k = find(file.entry->id);
    ComparedEntry& item = entries_[k];
    ComparedSide& mine = s == 0 ? item.old_side : item.new_side;
    const ComparedSide& theirs = s == 0 ? item.new_side : item.old_side;
    const int o = 1 - s;
    std::unique_lock lock(mutex_);
    mine.decoded_size = file.bytes.size();
    if (file.error != nullptr || !theirs.present) {
      // Nothing to compare: an unreadable file, or one only this side holds.
      if (file.error != nullptr) mine.error = file.error->display();
      finish(s, k);
      return true;
    }
    if (waiting_[o] && waiting_[o]->item == k) {
      const std::span<const std::uint8_t> other = waiting_[o]->bytes;
      // The other callback stays in its wait, and its span valid, until its
      // state is done.
      lock.unlock();
      const bool same = std::equal(file.bytes.begin(), file.bytes.end(), other.begin(), other.end());
      lock.lock();
      item.same = same;
      ++compared_directly_;
      waiting_[o].reset();
      states_[k][o].done = true;
      finish(s, k);
      return true;
    }
    if (!states_[k][o].done && !waiting_[o] && !finished_[o]) {
      waiting_[s] = Waiting{k, file.bytes};
      cv_.wait(lock, [&] { return states_[k][s].done || states_[k][o].done || finished_[o]; });
      waiting_[s].reset();
      if (states_[k][s].done) return true;  // met and compared
    }
    // The other side passed this entry, waits at another, or has ended.
    const bool other_unreadable = states_[k][o].done && theirs.error;
    lock.unlock();
    std::optional<Sha256Digest> digest;
    std::optional<std::string> error;
    if (!other_unreadable) {
      digest = hasher.digest(file.bytes);
      if (!digest) error = hasher.error();
    }
    lock.lock();
    states_[k][s].digest = digest;
    if (error) mine.error = error;
    finish(s, k);
    return true;
  }

  // Side `s` has no more files.
  void end(int s) {
    const std::lock_guard lock(mutex_);
    finished_[s] = true;
    cv_.notify_all();
  }

  // After both reads: the entries that were hashed on both sides.
  void settle() {
    for (std::size_t k = 0; k < entries_.size(); ++k) {
      const auto& [a, b] = states_[k];
      ComparedEntry& item = entries_[k];
      // read_batch hands over every file; should one not have come, it is
      // unreadable rather than different.
      if (item.old_side.present && !a.done) item.old_side.error = "was not read";
      if (item.new_side.present && !b.done) item.new_side.error = "was not read";
      if (a.digest && b.digest) item.same = *a.digest == *b.digest;
    }
  }

  std::uint64_t compared_directly() const noexcept { return compared_directly_; }

 private:
  std::size_t find(std::uint32_t id) const {
    return static_cast<std::size_t>(
        std::lower_bound(entries_.begin(), entries_.end(), id,
                         [](const ComparedEntry& e, std::uint32_t key) { return e.id < key; }) -
        entries_.begin());
  }
  // Under the lock.
  void finish(int s, std::size_t k) {
    states_[k][s].done = true;
    cv_.notify_all();
  }

  std::vector<ComparedEntry>& entries_;
  std::vector<std::array<SideState, 2>> states_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::optional<Waiting> waiting_[2];
  bool finished_[2] = {false, false};
  std::uint64_t compared_directly_ = 0;
};

std::vector<ComparedEntry> union_by_id(std::span<const DatFileEntry> old_selection,
                                       std::span<const DatFileEntry> new_selection) {
  std::vector<ComparedEntry> entries;
  entries.reserve(old_selection.size() + new_selection.size());
  for (const DatFileEntry& entry : old_selection) {
    ComparedEntry& item = entries.emplace_back();
    item.id = entry.id;
    item.old_side.present = true;
    item.old_side.entry = entry;
  }
  for (const DatFileEntry& entry : new_selection) {
    ComparedEntry& item = entries.emplace_back();
    item.id = entry.id;
    item.new_side.present = true;
    item.new_side.entry = entry;
  }
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

}  // namespace

Comparison compare_archives(const quorvane_dat::DatDatabase& old_database,
                            std::span<const DatFileEntry> old_selection,
                            const quorvane_dat::DatDatabase& new_database,
                            std::span<const DatFileEntry> new_selection, unsigned threads) {
  Comparison comparison;
  comparison.entries = union_by_id(old_selection, new_selection);
  Sha256Hasher old_hasher, new_hasher;
  if (!old_hasher.ok() || !new_hasher.ok()) {
    comparison.error = old_hasher.ok() ? new_hasher.error() : old_hasher.error();
    return comparison;
  }
  if (threads == 0) threads = std::max(1U, std::thread::hardware_concurrency());
  quorvane_dat::BatchOptions batch;
  batch.threads = std::max(1U, threads / 2);
  batch.decode = true;

  Meeting meeting(comparison.entries);
  // read_batch reads everything for an empty selection: a side with nothing
  // selected reads nothing.
  const auto read_side = [&](int s) -> quorvane_dat::DatResult<void> {
    const auto& database = s == 0 ? old_database : new_database;
    const auto selection = s == 0 ? old_selection : new_selection;
    Sha256Hasher& hasher = s == 0 ? old_hasher : new_hasher;
    quorvane_dat::DatResult<void> ran{};
    if (!selection.empty()) {
      ran = quorvane_dat::read_batch(database, selection, batch, [&](const quorvane_dat::BatchFile& file) {
        return meeting.visit(s, file, hasher);
      });
    }
    meeting.end(s);
    return ran;
  };

  std::optional<quorvane_dat::DatResult<void>> new_ran;
  std::thread new_reader;
  try {
    new_reader = std::thread([&] { new_ran = read_side(1); });
  } catch (const std::system_error& error) {
    comparison.error = std::string("cannot start a thread: ") + error.what();
    return comparison;
  }
  const auto old_ran = read_side(0);
  new_reader.join();
  if (!old_ran || !*new_ran) {
    comparison.error = "cannot read the archive's files: " +
                       (!old_ran ? old_ran.error().display() : new_ran->error().display());
    return comparison;
  }
  meeting.settle();
  comparison.compared_directly = meeting.compared_directly();
  return comparison;
}

}  // namespace portal_dat
