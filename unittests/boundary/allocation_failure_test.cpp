// No exception leaves the archive library: with the n-th allocation of a run
// made to fail, for every n until a run completes without reaching it, each
// public operation still returns a value or an error.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "dat_writer/dat_writer.hpp"
#include "quorvane_dat/lib/batch_reader.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace {

// Allocations still to succeed before one fails; below 0: none fails.
std::atomic<long> allocations_left{-1};

}  // namespace

void* operator new(std::size_t size) {
  if (allocations_left.load(std::memory_order_relaxed) >= 0 &&
      allocations_left.fetch_sub(1, std::memory_order_relaxed) == 0) {
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using quorvane_dat::DatDatabase;
using quorvane_dat::DatFileEntry;

// Counts what a run of every operation gave.
struct Tally {
  int values = 0;
  int errors = 0;
  int hollow = 0;  // batch files handed over without an error but not whole
};

// The archive's files and their sizes (all sound).
constexpr std::size_t FILE_SIZES[] = {0, 5000, 3000, 900};

template <class R>
void count(const R& result, Tally& tally) {
  ++(result ? tally.values : tally.errors);
}

class CountingVisitor final : public quorvane_dat::DirectoryVisitor {
 public:
  void on_node(const quorvane_dat::DirectoryNodeInfo&) override {}
  quorvane_dat::DatResult<void> on_entries(std::span<const DatFileEntry>) override { return {}; }
};

// Every public operation once, on an archive opened from `path` and from `bytes`.
void run_everything(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                    Tally& tally) {
  for (int from = 0; from < 2; ++from) {
    auto db = from == 0 ? DatDatabase::new_(path) : DatDatabase::from_memory(bytes);
    count(db, tally);
    if (!db) continue;
    for (const std::uint32_t id : {1U, 2U, 3U, 99U}) {
      count(db->get_file(id), tally);
      count(db->get_stored(id), tally);
      count(db->decoded_size(id), tally);
      std::vector<std::uint8_t> into;
      count(db->get_file_into(id, into), tally);
      auto stream = quorvane_dat::FileStream::open(*db, id, {.piece_bytes = 1000});
      count(stream, tally);
      if (stream) count(stream->drain(), tally);
    }
    count(db->read_file_data(db->header().root_offset, 1716), tally);
    count(db->chain_blocks(db->header().root_offset, 1716), tally);
    CountingVisitor visitor;
    count(db->visit_directory(visitor), tally);
    for (const unsigned threads : {1U, 2U, 3U, 4U}) {
      quorvane_dat::BatchOptions options;
      options.threads = threads % 2 + 1;
      options.collect_blocks = true;
      options.check_only = threads > 2;  // large files read on the workers
      options.stream_above = threads > 2 ? 1000 : options.stream_above;
      count(quorvane_dat::read_batch(*db, options,
                                     [&](const quorvane_dat::BatchFile& f) {
                                       ++(f.error == nullptr ? tally.values : tally.errors);
                                       // Checks hand no bytes over; the others every byte.
                                       if (f.error == nullptr && !options.check_only &&
                                           f.bytes.size() != FILE_SIZES[f.entry->id]) {
                                         ++tally.hollow;
                                       }
                                       return true;
                                     }),
            tally);
    }
  }
}

TEST(AllocationFailure, NoExceptionLeavesTheLibrary) {
  test_support::ScratchDir dir;
  dat_writer::ArchiveBuilder b(256);
  dat_writer::Node leaf;
  leaf.entries.push_back(b.add_file(2, std::vector<std::uint8_t>(FILE_SIZES[2], 7), true));
  leaf.entries.push_back(b.add_file(3, std::vector<std::uint8_t>(FILE_SIZES[3], 1), false));
  dat_writer::Node root;
  root.entries.push_back(b.add_file(1, std::vector<std::uint8_t>(FILE_SIZES[1], 2), true));
  root.branches[0] = b.add_node(leaf);
  root.branches[1] = b.add_node(dat_writer::Node{});
  b.set_root(b.add_node(root));
  const dat_writer::Bytes bytes = b.bytes();
  const auto path = dir.file("archive.dat");
  test_support::write_file(path, bytes);

  Tally clean;
  run_everything(path, bytes, clean);
  ASSERT_GT(clean.values, 0);
  ASSERT_EQ(clean.hollow, 0);

  long runs = 0;
  for (long n = 0;; ++n) {
    Tally tally;
    allocations_left.store(n);
    EXPECT_NO_THROW(run_everything(path, bytes, tally)) << "allocation " << n;
    const bool reached = allocations_left.load() < 0;
    allocations_left.store(-1);
    // A file that could not be decoded comes with an error, never as an empty success.
    EXPECT_EQ(tally.hollow, 0) << "allocation " << n;
    ++runs;
    if (!reached) {
      EXPECT_EQ(tally.values, clean.values);
      break;
    }
    ASSERT_LT(n, 100000) << "the runs never end";
  }
  EXPECT_GT(runs, 50) << "the operations allocate; each allocation was made to fail once";
}

}  // namespace
