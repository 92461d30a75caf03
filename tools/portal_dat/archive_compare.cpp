// Comparing two archives' entries with both reads running side by side.
//
// Each side is read by read_batch with nothing handed to the calling thread:
// the comparison runs on the workers, through the per-file digest hook. For
// an entry that both sides hold, a worker that starts on it before the other
// side has finished it copies its bytes as they come; one that starts after
// the other side left a complete copy compares each piece with the copy at
// its offset. Copies count against a bound: a copy that would pass it is
// hashed instead (its prefix, then the rest), and the entry is compared by
// the SHA-256 of each side. Whichever side finishes an entry second settles
// it: two copies are compared, a copy against a digest is hashed, two
// digests are compared. Nothing ever waits but for an entry's short lock.
#include "tools/portal_dat/archive_compare.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "quorvane_dat/lib/batch_reader.hpp"

namespace portal_dat {

namespace {

using quorvane_dat::DatFileEntry;
using Bytes = std::vector<std::uint8_t>;

// What the reads know of an entry held by both sides; guarded by its stripe
// of Meeting's locks.
struct ItemState {
  bool finished[2] = {false, false};  // the side's worker ended the entry
  bool failed[2] = {false, false};    // the side's file could not be read
  Bytes copy;                         // the first side's bytes, while they wait
  bool has_copy = false;
  std::optional<Sha256Digest> digest[2];
  std::optional<bool> same;  // settled by the side that finished second
  bool direct = false;       // settled byte for byte
};

class Meeting {
 public:
  Meeting(std::vector<ComparedEntry>& entries, std::size_t limit)
      : entries_(entries), states_(entries.size()), limit_(limit) {
    ids_.reserve(entries.size());
    for (const ComparedEntry& item : entries) ids_.push_back(item.id);
    arrived_[0].assign(entries.size(), false);
    arrived_[1].assign(entries.size(), false);
  }

  // The index of the entry `id`.
  std::size_t find(std::uint32_t id) const {
    return static_cast<std::size_t>(std::lower_bound(ids_.begin(), ids_.end(), id) - ids_.begin());
  }
  bool held_by_both(std::size_t k) const {
    return k < entries_.size() && entries_[k].old_side.present && entries_[k].new_side.present;
  }
  ItemState& state(std::size_t k) { return states_[k]; }
  std::mutex& lock_of(std::size_t k) { return locks_[k % locks_.size()]; }

  // Counts `bytes` more of copies; false, counting nothing, when they would
  // pass the bound.
  bool reserve(std::size_t bytes) {
    std::size_t held = pending_.load(std::memory_order_relaxed);
    do {
      if (bytes > limit_ || held > limit_ - bytes) return false;
    } while (!pending_.compare_exchange_weak(held, held + bytes, std::memory_order_relaxed));
    held += bytes;
    for (std::size_t peak = peak_.load(std::memory_order_relaxed);
         peak < held && !peak_.compare_exchange_weak(peak, held, std::memory_order_relaxed);) {
    }
    return true;
  }
  // Drops `copy` and what it counted.
  void release(Bytes& copy) {
    pending_.fetch_sub(copy.capacity(), std::memory_order_relaxed);
    Bytes().swap(copy);
  }

  // On the calling thread of side `s`: the file's outcome.
  void visit(int s, const quorvane_dat::BatchFile& file) {
    const std::size_t k = find(file.entry->id);
    ComparedSide& mine = s == 0 ? entries_[k].old_side : entries_[k].new_side;
    arrived_[s][k] = true;
    if (file.error == nullptr) {
      mine.decoded_size = file.digested_size;
      return;
    }
    // An unreadable file is reported as such, never as a difference; any
    // copy of the entry is of no use now.
    mine.error = file.error->plain();
    if (!held_by_both(k)) return;
    const std::lock_guard lock(lock_of(k));
    ItemState& item = states_[k];
    item.failed[s] = true;
    if (item.has_copy) release(item.copy);
    item.has_copy = false;
  }

  // After both reads.
  std::uint64_t settle(std::size_t& left) {
    left = pending_.load();
    std::uint64_t direct = 0;
    for (std::size_t k = 0; k < entries_.size(); ++k) {
      ComparedEntry& item = entries_[k];
      ItemState& state = states_[k];
      // read_batch hands over every file; should one not have come, it is
      // unreadable rather than different.
      if (item.old_side.present && !arrived_[0][k]) item.old_side.error = "was not read";
      if (item.new_side.present && !arrived_[1][k]) item.new_side.error = "was not read";
      if (state.has_copy) release(state.copy);
      if (item.old_side.error || item.new_side.error || !state.same) continue;
      item.same = *state.same;
      if (state.direct) ++direct;
    }
    return direct;
  }

  std::size_t peak() const noexcept { return peak_.load(); }

 private:
  std::vector<ComparedEntry>& entries_;
  std::vector<std::uint32_t> ids_;
  std::vector<ItemState> states_;
  std::vector<bool> arrived_[2];  // each written by its side's calling thread only
  std::array<std::mutex, 64> locks_;
  const std::size_t limit_;  // bytes of copies held at once; past it, entries are hashed
  std::atomic<std::size_t> pending_{0};
  std::atomic<std::size_t> peak_{0};  // the most bytes of copies held at once
};

// The worker side of the comparison: one per read_batch worker, for one
// side. It leaves a one-byte marker as the file's digest; the results stay
// in the entries' states.
class SideComparer final : public quorvane_dat::BatchDigest {
 public:
  SideComparer(Meeting& meeting, int side) : meeting_(meeting), side_(side) {
    if (!hasher_.ok()) throw std::runtime_error(hasher_.error());
  }
  ~SideComparer() override { abandon(); }
  SideComparer(const SideComparer&) = delete;
  SideComparer& operator=(const SideComparer&) = delete;

  void begin(const DatFileEntry& entry) override {
    abandon();  // a file that failed midway is not finished
    k_ = meeting_.find(entry.id);
    offset_ = 0;
    if (!meeting_.held_by_both(k_)) {
      mode_ = Mode::Skip;
      return;
    }
    const int o = 1 - side_;
    const std::lock_guard lock(meeting_.lock_of(k_));
    ItemState& item = meeting_.state(k_);
    if (item.failed[o]) {
      mode_ = Mode::Skip;
    } else if (item.finished[o] && item.has_copy) {
      // The other side's copy is complete: compared piece by piece, taken
      // over so that nothing else touches it meanwhile.
      mode_ = Mode::Compare;
      mismatch_ = false;
      theirs_ = std::move(item.copy);
      item.copy = Bytes();
      item.has_copy = false;
    } else if (item.finished[o]) {
      start_hash();
    } else {
      mode_ = Mode::Copy;
    }
  }

  void update(std::span<const std::uint8_t> piece) override {
    switch (mode_) {
      case Mode::Skip: break;
      case Mode::Compare:
        if (!mismatch_ && (piece.size() > theirs_.size() - offset_ ||
                           std::memcmp(theirs_.data() + offset_, piece.data(), piece.size()) != 0)) {
          mismatch_ = true;
        }
        break;
      case Mode::Copy: append(piece); break;
      case Mode::Hash: hasher_.update(piece); break;
    }
    offset_ += piece.size();
  }

  std::size_t finish(std::span<std::uint8_t, MAX_SIZE> out) override {
    out[0] = 1;
    if (mode_ == Mode::Skip) return 1;
    std::optional<Sha256Digest> digest;
    if (mode_ == Mode::Hash) digest = final_digest();
    const int o = 1 - side_;
    std::unique_lock lock(meeting_.lock_of(k_));
    ItemState& item = meeting_.state(k_);
    item.finished[side_] = true;
    if (item.failed[o]) {
      lock.unlock();
      abandon();
      return 1;
    }
    if (mode_ == Mode::Compare) {
      item.same = !mismatch_ && offset_ == theirs_.size();
      item.direct = true;
      lock.unlock();
      abandon();
      return 1;
    }
    if (!item.finished[o]) {
      // First to finish: the bytes or digest wait for the other side.
      if (mode_ == Mode::Copy) {
        item.copy = std::move(mine_);
        mine_ = Bytes();
        item.has_copy = true;
      } else {
        item.digest[side_] = digest;
      }
      mode_ = Mode::Skip;
      return 1;
    }
    // Second to finish (the other side was still copying when this one
    // began, or left a digest).
    Bytes theirs;
    if (item.has_copy) {
      theirs = std::move(item.copy);
      item.copy = Bytes();
      item.has_copy = false;
    }
    const std::optional<Sha256Digest> their_digest = item.digest[o];
    lock.unlock();
    theirs_ = std::move(theirs);
    std::optional<bool> same;
    bool direct = false;
    if (mode_ == Mode::Copy && !their_digest) {
      same = mine_ == theirs_;
      direct = true;
    } else {
      if (!digest) digest = hash_all(mine_);
      same = *digest == (their_digest ? *their_digest : hash_all(theirs_));
    }
    abandon();
    lock.lock();
    item.same = same;
    item.direct = direct;
    return 1;
  }

 private:
  enum class Mode { Skip, Copy, Hash, Compare };

  // Appends to this side's copy, or, when the copy would pass the bound,
  // hashes what it holds and goes on hashing.
  void append(std::span<const std::uint8_t> piece) {
    const std::size_t needed = mine_.size() + piece.size();
    if (needed > mine_.capacity()) {
      const std::size_t capacity = mine_.empty() ? needed : std::max(needed, 2 * mine_.capacity());
      if (!meeting_.reserve(capacity - mine_.capacity())) {
        start_hash();
        hasher_.update(mine_);
        meeting_.release(mine_);
        hasher_.update(piece);
        return;
      }
      mine_.reserve(capacity);
    }
    mine_.insert(mine_.end(), piece.begin(), piece.end());
  }
  void start_hash() {
    mode_ = Mode::Hash;
    hasher_.begin({});
  }
  Sha256Digest final_digest() {
    std::array<std::uint8_t, MAX_SIZE> out{};
    hasher_.finish(out);
    Sha256Digest digest{};
    std::copy_n(out.begin(), digest.size(), digest.begin());
    return digest;
  }
  Sha256Digest hash_all(std::span<const std::uint8_t> bytes) {
    hasher_.begin({});
    hasher_.update(bytes);
    return final_digest();
  }
  // Drops the copies this worker holds.
  void abandon() {
    if (mine_.capacity() != 0) meeting_.release(mine_);
    if (theirs_.capacity() != 0) meeting_.release(theirs_);
    mode_ = Mode::Skip;
  }

  Meeting& meeting_;
  const int side_;
  Sha256Hasher hasher_;
  Mode mode_ = Mode::Skip;
  std::size_t k_ = 0;
  std::uint64_t offset_ = 0;
  bool mismatch_ = false;
  Bytes mine_, theirs_;
};

// The entries sorted by id (a selection usually is already).
std::vector<DatFileEntry> by_id(std::span<const DatFileEntry> selection) {
  std::vector<DatFileEntry> sorted(selection.begin(), selection.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; });
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

}  // namespace

Comparison compare_archives(const quorvane_dat::DatDatabase& old_database,
                            std::span<const DatFileEntry> old_selection,
                            const quorvane_dat::DatDatabase& new_database,
                            std::span<const DatFileEntry> new_selection, unsigned threads,
                            std::size_t copy_limit) {
  Comparison comparison;
  comparison.entries = union_by_id(old_selection, new_selection);
  if (const Sha256Hasher hasher; !hasher.ok()) {
    comparison.error = hasher.error();
    return comparison;
  }
  if (threads == 0) threads = std::max(1U, std::thread::hardware_concurrency());

  Meeting meeting(comparison.entries, copy_limit);
  const auto read_side = [&](int s) -> quorvane_dat::DatResult<void> {
    quorvane_dat::BatchOptions batch;
    batch.threads = std::max(1U, threads / 2);
    batch.decode = true;
    batch.check_only = true;
    batch.make_digest = [&meeting, s]() -> std::unique_ptr<quorvane_dat::BatchDigest> {
      return std::make_unique<SideComparer>(meeting, s);
    };
    return quorvane_dat::read_batch(s == 0 ? old_database : new_database,
                                    s == 0 ? old_selection : new_selection, batch,
                                    [&](const quorvane_dat::BatchFile& file) {
                                      meeting.visit(s, file);
                                      return true;
                                    });
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
  comparison.compared_directly = meeting.settle(comparison.left_copied);
  comparison.peak_copied = meeting.peak();
  return comparison;
}

}  // namespace portal_dat
