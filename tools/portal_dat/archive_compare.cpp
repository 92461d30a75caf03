// Comparing two archives' entries with both reads running side by side.
//
// For an entry that both sides hold, the side that reaches it first leaves a
// copy of its bytes, and the second compares its own bytes with the copy and
// drops it. When the copies left reach their bound, the side that runs ahead
// waits for the other to catch up; should the other wait too (the files lie
// in other orders), or have ended, the first side leaves the entry's SHA-256
// instead and the second side hashes its own. At most one side waits at a
// time, so the two never wait for each other.
#include "tools/portal_dat/archive_compare.hpp"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "quorvane_dat/lib/batch_reader.hpp"

namespace portal_dat {

namespace {

using quorvane_dat::DatFileEntry;

// What the reads know of an entry held by both sides.
struct ItemState {
  bool arrived[2] = {false, false};     // the side's result for it is final
  std::vector<std::uint8_t> copy;       // the first side's bytes, while they wait
  bool has_copy = false;
  std::optional<Sha256Digest> digest[2];
};

class Meeting {
 public:
  Meeting(std::vector<ComparedEntry>& entries, std::size_t limit)
      : entries_(entries), states_(entries.size()), limit_(limit) {}

  // The callback of side `s` (0 old, 1 new) for one file.
  bool visit(int s, const quorvane_dat::BatchFile& file, Sha256Hasher& hasher) {
    const std::size_t k = find(file.entry->id);
    ComparedEntry& item = entries_[k];
    ComparedSide& mine = s == 0 ? item.old_side : item.new_side;
    const ComparedSide& theirs = s == 0 ? item.new_side : item.old_side;
    ItemState& state = states_[k];
    const int o = 1 - s;
    std::size_t size = file.bytes.size();
    // A file too large to be held whole comes as a stream: it is hashed as it
    // is read, before anything else, and compared by its digest.
    std::optional<Sha256Digest> digest;
    std::optional<std::string> stream_error;
    const bool streamed = file.stream != nullptr && file.error == nullptr && theirs.present;
    if (streamed) {
      std::uint64_t streamed = 0;
      digest = hasher.digest(*file.stream, streamed);
      if (!digest) stream_error = hasher.error();
      size = static_cast<std::size_t>(streamed);
    }

    std::unique_lock lock(mutex_);
    mine.decoded_size = size;
    if (file.error != nullptr || stream_error || !theirs.present) {
      // Nothing to compare: an unreadable file, or one only this side holds.
      if (file.error != nullptr) mine.error = file.error->plain();
      if (stream_error) mine.error = stream_error;
      release_copy(state);
      state.arrived[s] = true;
      return true;
    }
    if (streamed && !state.arrived[o]) {
      // First here with a digest: the other side hashes too.
      state.digest[s] = digest;
      state.arrived[s] = true;
      cv_.notify_all();
      return true;
    }
    if (!state.arrived[o]) {
      // First here (so far): keep a copy for the other side, or, when the
      // copies already take their share of memory, a digest. A side that
      // runs ahead waits for the other to catch up, unless the other waits
      // too (then it hashes): at most one side ever waits.
      if (pending_ + size > limit_ && size <= limit_ && !waiting_[o] && !finished_[o]) {
        waiting_[s] = true;
        cv_.wait(lock, [&] {
          return pending_ + size <= limit_ || state.arrived[o] || waiting_[o] || finished_[o];
        });
        waiting_[s] = false;
      }
      const bool fits = !state.arrived[o] && pending_ + size <= limit_;
      if (fits) pending_ += size;
      lock.unlock();
      std::vector<std::uint8_t> copy;
      std::optional<std::string> error;
      if (fits) {
        copy.assign(file.bytes.begin(), file.bytes.end());
      } else if (!(digest = hasher.digest(file.bytes))) {
        error = hasher.error();
      }
      lock.lock();
      if (fits) pending_ -= size;
      if (!state.arrived[o] || error) {
        if (error) {
          mine.error = error;
          release_copy(state);  // the other side's, of no use now
        }
        if (fits) {
          state.copy = std::move(copy);
          state.has_copy = true;
          pending_ += size;
        }
        state.digest[s] = digest;
        state.arrived[s] = true;
        cv_.notify_all();
        return true;
      }
      // The other side came meanwhile: compared below, this copy dropped.
    }
    // Second here.
    if (theirs.error) {
      state.arrived[s] = true;
      return true;
    }
    if (state.has_copy && streamed) {
      // This side streamed its file: the other side's copy is hashed instead.
      const std::vector<std::uint8_t> other = take_copy(state, lock);
      const std::optional<Sha256Digest> theirs_digest = hasher.digest(other);
      lock.lock();
      if (!theirs_digest) mine.error = hasher.error();
      state.digest[o] = theirs_digest;
      state.digest[s] = digest;
      state.arrived[s] = true;
      return true;
    }
    if (state.has_copy) {
      const std::vector<std::uint8_t> other = take_copy(state, lock);
      const bool same = std::equal(file.bytes.begin(), file.bytes.end(), other.begin(), other.end());
      lock.lock();
      item.same = same;
      ++compared_directly_;
      state.arrived[s] = true;
      return true;
    }
    // The other side left a digest.
    std::optional<std::string> error;
    if (!digest) {
      lock.unlock();
      if (!(digest = hasher.digest(file.bytes))) error = hasher.error();
      lock.lock();
    }
    if (error) mine.error = error;
    state.digest[s] = digest;
    state.arrived[s] = true;
    return true;
  }

  // After both reads: the entries compared by their digests.
  void settle() {
    for (std::size_t k = 0; k < entries_.size(); ++k) {
      const ItemState& state = states_[k];
      ComparedEntry& item = entries_[k];
      // read_batch hands over every file; should one not have come, it is
      // unreadable rather than different.
      if (item.old_side.present && !state.arrived[0]) item.old_side.error = "was not read";
      if (item.new_side.present && !state.arrived[1]) item.new_side.error = "was not read";
      if (state.digest[0] && state.digest[1]) item.same = *state.digest[0] == *state.digest[1];
    }
  }

  // Side `s` has no more files.
  void end(int s) {
    const std::lock_guard lock(mutex_);
    finished_[s] = true;
    cv_.notify_all();
  }

  std::uint64_t compared_directly() const noexcept { return compared_directly_; }

 private:
  std::size_t find(std::uint32_t id) const {
    return static_cast<std::size_t>(
        std::lower_bound(entries_.begin(), entries_.end(), id,
                         [](const ComparedEntry& e, std::uint32_t key) { return e.id < key; }) -
        entries_.begin());
  }
  // Under the lock: takes the other side's copy (its bytes no longer count
  // against the bound) and unlocks.
  std::vector<std::uint8_t> take_copy(ItemState& state, std::unique_lock<std::mutex>& lock) {
    std::vector<std::uint8_t> other;
    other.swap(state.copy);
    state.has_copy = false;
    pending_ -= other.size();
    cv_.notify_all();
    lock.unlock();
    return other;
  }
  // Under the lock.
  void release_copy(ItemState& state) {
    if (!state.has_copy) return;
    pending_ -= state.copy.size();
    state.copy = {};
    state.has_copy = false;
    cv_.notify_all();
  }

  std::vector<ComparedEntry>& entries_;
  std::vector<ItemState> states_;
  const std::size_t limit_;  // bytes of copies kept at once; past it, entries are hashed
  std::mutex mutex_;
  std::condition_variable cv_;
  std::size_t pending_ = 0;  // bytes in copies
  bool waiting_[2] = {false, false};
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
                            std::span<const DatFileEntry> new_selection, unsigned threads,
                            std::size_t copy_limit) {
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

  Meeting meeting(comparison.entries, copy_limit);
  const auto read_side = [&](int s) -> quorvane_dat::DatResult<void> {
    const auto& database = s == 0 ? old_database : new_database;
    const auto selection = s == 0 ? old_selection : new_selection;
    Sha256Hasher& hasher = s == 0 ? old_hasher : new_hasher;
    const quorvane_dat::DatResult<void> ran =
        quorvane_dat::read_batch(database, selection, batch, [&](const quorvane_dat::BatchFile& file) {
          return meeting.visit(s, file, hasher);
        });
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
                       (!old_ran ? old_ran.error().plain() : new_ran->error().plain());
    return comparison;
  }
  meeting.settle();
  comparison.compared_directly = meeting.compared_directly();
  return comparison;
}

}  // namespace portal_dat
