// Batched reads of block chains. A contiguous run is read with one system
// call and its pointers are then checked one by one; these tests pin that the
// result is still exactly the block-by-block reading for every way a run can
// end (data end, early zero pointer, loop, jump, pointer or file end past the
// archive, block offsets near 4 GiB, tiny block sizes), and that the batching
// really saves the system calls it is there for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "dat_writer/dat_writer.hpp"
#include "quorvane_dat/lib/batch_reader.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "test_oracles/chain_reference.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace {

using dat_writer::ArchiveBuilder;
using dat_writer::Bytes;
using dat_writer::ChainShape;
using quorvane_dat::DatDatabase;

using test_support::ScratchDir;

using test_oracles::block_by_block;
using test_oracles::library_read;
using test_oracles::read_calls;
using Outcome = test_oracles::ChainOutcome;

Bytes counter_bytes(std::size_t size, std::uint8_t seed) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 251);
  return out;
}

// Read calls made by `action`, less those that looking at the counter costs.
template <typename Action>
std::uint64_t read_calls_of(Action&& action) {
  const std::uint64_t probe_start = *read_calls();
  const std::uint64_t probe = *read_calls() - probe_start;
  const std::uint64_t before = *read_calls();
  action();
  return *read_calls() - before - probe;
}

// How the pointer of block `at` of a contiguous run is rewritten.
enum class Turn { None, Zero, LoopToStart, JumpToOther, PastEnd, Near4GiB };

const char* turn_name(Turn t) {
  switch (t) {
    case Turn::None: return "contiguous";
    case Turn::Zero: return "early zero";
    case Turn::LoopToStart: return "loop to start";
    case Turn::JumpToOther: return "jump to another chain";
    case Turn::PastEnd: return "pointer past the end";
    case Turn::Near4GiB: return "pointer near 4 GiB";
  }
  return "?";
}

// Runs long enough to cross the largest batch (512 blocks), turned at blocks
// on either side of each batch boundary, read with sizes ending just before,
// at and just after a block's end, in archives whose file may end inside the
// run; every read must equal the block-by-block reading.
TEST(ChainRuns, EveryWayARunEndsMatchesBlockByBlockReading) {
  ScratchDir dir;
  const Turn turns[] = {Turn::None,        Turn::Zero,    Turn::LoopToStart,
                        Turn::JumpToOther, Turn::PastEnd, Turn::Near4GiB};
  int compared = 0;
  for (const std::uint32_t bs : {5U, 6U, 8U, 64U, 1024U}) {
    const std::uint32_t payload = bs - 4;
    const std::uint32_t run_blocks = 1100;
    for (const std::uint32_t turn_at : {0U, 1U, 510U, 511U, 512U, 513U, 1023U, 1024U, 1099U}) {
      for (const Turn turn : turns) {
        ArchiveBuilder b(bs);
        const std::uint32_t other = b.add_chain(counter_bytes(std::size_t{payload} * 40, 99));
        const std::uint32_t run = b.add_chain(counter_bytes(std::size_t{payload} * run_blocks, 3));
        const auto& blocks = b.chain_blocks(run);
        switch (turn) {
          case Turn::None: break;
          case Turn::Zero: b.set_next(blocks[turn_at], 0); break;
          case Turn::LoopToStart: b.set_next(blocks[turn_at], run); break;
          case Turn::JumpToOther: b.set_next(blocks[turn_at], other); break;
          case Turn::PastEnd: b.set_next(blocks[turn_at], 0x7FFFFF00U); break;
          case Turn::Near4GiB: b.set_next(blocks[turn_at], 0xFFFFFFFEU); break;
        }
        const Bytes full = b.bytes();
        // The whole file, and the file ending inside the run (the run's
        // blocks are the last bytes of the file): in the pointer of block
        // 700, and in the payload of block 300.
        const std::uint64_t run_length = std::uint64_t{run_blocks} * bs;
        const std::uint64_t cuts[] = {0, run_length - (std::uint64_t{bs} * 700 + 2),
                                      run_length - (std::uint64_t{bs} * 300 + 4 + payload / 2)};
        for (const std::uint64_t cut : cuts) {
          const Bytes file(full.begin(), full.end() - static_cast<std::ptrdiff_t>(cut));
          const auto path = dir.write("run.dat", file);
          auto db = DatDatabase::new_(path);
          ASSERT_TRUE(db) << db.error().display();
          const std::uint32_t sizes[] = {
              payload * turn_at + 1,       payload * (turn_at + 1) - 1, payload * (turn_at + 1),
              payload * (turn_at + 1) + 1, payload * (turn_at + 2) + 3, payload * run_blocks,
              payload * run_blocks + 9,    payload * 600 + 1,
          };
          for (const std::uint32_t size : sizes) {
            const Outcome expected = block_by_block(file, bs, run, size);
            const Outcome got = library_read(*db, run, size);
            ASSERT_EQ(got, expected) << "block size " << bs << ", " << turn_name(turn) << " at block "
                                     << turn_at << ", cut " << cut << ", size " << size << ": expected '"
                                     << expected.error << "', got '" << got.error << "'";
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 5 * 9 * 6 * 3 * 8);
}

// Block sizes of 4 or less cannot step to a next block; the first block may
// still end the chain with a zero pointer.
TEST(ChainRuns, TinyBlockSizesFollowNoPointer) {
  ScratchDir dir;
  for (const std::uint32_t header_bs : {0U, 1U, 3U, 4U}) {
    SCOPED_TRACE(header_bs);
    ArchiveBuilder b(16);
    b.header().block_size = header_bs;
    const std::uint32_t first = b.add_chain(counter_bytes(12 * 5, 1));
    const std::uint32_t single = b.add_chain(counter_bytes(40, 2), ChainShape::SingleRun);
    const Bytes file = b.bytes();
    auto db = DatDatabase::new_(dir.write("tiny.dat", file));
    ASSERT_TRUE(db);
    for (const auto& [offset, size] :
         {std::pair{first, 30U}, std::pair{single, 40U}, std::pair{single, 41U}, std::pair{first, 0U}}) {
      EXPECT_EQ(library_read(*db, offset, size), block_by_block(file, header_bs, offset, size))
          << "offset " << offset << ", size " << size;
    }
  }
}

// Random chains mixing long contiguous stretches with every kind of turn.
TEST(ChainRuns, RandomLongRunsMatchBlockByBlockReading) {
  ScratchDir dir;
  std::mt19937 rng(0xC4A1);
  auto uniform = [&](std::uint64_t lo, std::uint64_t hi) {
    return std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng);
  };
  int compared = 0;
  for (int archive = 0; archive < 60; ++archive) {
    const std::uint32_t bs = std::vector<std::uint32_t>{5, 7, 16, 100, 1024}[uniform(0, 4)];
    ArchiveBuilder b(bs);
    const std::uint32_t blocks = static_cast<std::uint32_t>(uniform(200, 2500));
    const std::uint32_t start = b.add_chain(counter_bytes(std::size_t{bs - 4} * blocks, 5));
    const auto chain = b.chain_blocks(start);
    for (int turns = static_cast<int>(uniform(0, 6)); turns > 0; --turns) {
      const std::uint32_t at = chain[uniform(0, chain.size() - 1)];
      switch (uniform(0, 3)) {
        case 0: b.set_next(at, 0); break;
        case 1: b.set_next(at, chain[uniform(0, chain.size() - 1)]); break;
        case 2: b.set_next(at, static_cast<std::uint32_t>(uniform(start, b.size() - 1))); break;
        default: b.set_next(at, static_cast<std::uint32_t>(b.size() + uniform(0, 3000))); break;
      }
    }
    Bytes file = b.bytes();
    if (uniform(0, 2) == 0) file.resize(file.size() - uniform(1, std::uint64_t{bs} * blocks / 2));
    auto db = DatDatabase::new_(dir.write("random.dat", file));
    ASSERT_TRUE(db);
    for (int r = 0; r < 6; ++r) {
      const std::uint32_t offset = r == 0 ? start : chain[uniform(0, chain.size() - 1)];
      const auto size = static_cast<std::uint32_t>(uniform(1, std::uint64_t{bs - 4} * blocks * 2));
      ASSERT_EQ(library_read(*db, offset, size), block_by_block(file, bs, offset, size))
          << "archive " << archive << ", block size " << bs << ", offset " << offset << ", size "
          << size;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 60 * 6);
}

// The point of the batching: a contiguous chain costs one read call per 512
// blocks, a directory node one call, and a scattered chain no more than the
// two calls per block of an unbatched reading.
TEST(ChainRuns, ContiguousRunsCostOneReadCallPerBatch) {
  if (!read_calls()) GTEST_SKIP() << "/proc/self/io is not available";
  ScratchDir dir;
  ArchiveBuilder b(1024);
  const std::uint32_t small = b.add_chain(counter_bytes(700, 1));
  const std::uint32_t two = b.add_chain(counter_bytes(1500, 2));
  const std::uint32_t run300 = b.add_chain(counter_bytes(1020 * 300, 3));
  const std::uint32_t run2000 = b.add_chain(counter_bytes(1020 * 2000 - 5, 4));
  const std::uint32_t scattered = b.add_chain(counter_bytes(1020 * 10, 5), ChainShape::Scattered);
  dat_writer::Node node;
  for (std::uint32_t i = 0; i < 61; ++i) node.entries.push_back({0, 100 + i, small, 700, 0, 0});
  b.set_root(b.add_node(node));
  const auto path = dir.write("calls.dat", b.bytes());
  auto db = DatDatabase::new_(path);
  ASSERT_TRUE(db);

  const struct {
    const char* name;
    std::uint32_t offset;
    std::uint32_t size;
    std::uint64_t most_calls;
  } cases[] = {
      {"one block", small, 700, 1},
      {"two blocks", two, 1500, 1},
      {"300 blocks", run300, 1020 * 300, 1},
      {"2000 blocks", run2000, 1020 * 2000 - 5, 4},
      // Never more than reading pointer and payload of each block apart.
      {"10 scattered blocks", scattered, 1020 * 10, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool ok = false;
    const std::uint64_t calls =
        read_calls_of([&] { ok = db->read_file_data(c.offset, c.size).has_value(); });
    ASSERT_TRUE(ok);
    EXPECT_LE(calls, c.most_calls);
    EXPECT_GE(calls, 1U);
  }

  // Opening: a node of 1716 bytes over two contiguous blocks is one call on
  // top of what the same archive without a directory costs.
  ArchiveBuilder empty(1024);
  const auto empty_path = dir.write("empty.dat", empty.bytes());
  bool opened_empty = false;
  bool opened = false;
  const std::uint64_t without_directory =
      read_calls_of([&] { opened_empty = DatDatabase::new_(empty_path).has_value(); });
  const std::uint64_t with_directory =
      read_calls_of([&] { opened = DatDatabase::new_(path).has_value(); });
  ASSERT_TRUE(opened_empty);
  ASSERT_TRUE(opened);
  EXPECT_EQ(with_directory, without_directory + 1);
}

// A batch gathers files laid out one after another with one read per segment,
// not one per file: 40 contiguous files of 3 blocks each, on one thread.
TEST(ChainRuns, ABatchOfContiguousFilesCostsAFewReadCalls) {
  if (!read_calls()) GTEST_SKIP() << "/proc/self/io is not available";
  ScratchDir dir;
  ArchiveBuilder b(1024);
  dat_writer::Node node;
  for (std::uint32_t i = 0; i < 40; ++i) {
    const auto size = static_cast<std::uint32_t>(2100 + i);
    node.entries.push_back(
        {0, 100 + i, b.add_chain(counter_bytes(size, static_cast<std::uint8_t>(i))), size, 0, 0});
  }
  b.set_root(b.add_node(node));
  auto db = DatDatabase::new_(dir.write("batch.dat", b.bytes()));
  ASSERT_TRUE(db);
  quorvane_dat::BatchOptions options;
  options.threads = 1;
  std::size_t delivered = 0;
  bool ok = false;
  const std::uint64_t calls = read_calls_of([&] {
    ok = quorvane_dat::read_batch(*db, options, [&](const quorvane_dat::BatchFile& file) {
           delivered += file.error == nullptr && file.bytes.size() == file.entry->size;
           return true;
         }).has_value();
  });
  ASSERT_TRUE(ok);
  EXPECT_EQ(delivered, 40U);
  EXPECT_LE(calls, 4U);
}

}  // namespace

// A chain that comes back to a block it has gathered repeats from there on;
// the reader copies the repetition instead of reading the loop again block by
// block, so a looping chain claiming a large size costs a few reads, and its
// bytes are still exactly those of following the loop.
TEST(ChainRuns, LoopingChainsRepeatWithoutReadingTheLoopAgain) {
  ScratchDir dir;
  struct Case {
    const char* name;
    std::uint32_t block_size;
    std::uint32_t blocks;
    std::size_t loop_from;  // the last block points back to this block
    bool scattered;
  };
  for (const Case& c :
       {Case{"self loop, 5-byte blocks", 5, 1, 0, false}, Case{"back to the start", 16, 40, 0, false},
        Case{"into the middle of a run", 64, 700, 333, false},
        Case{"scattered chain", 32, 50, 7, true}}) {
    SCOPED_TRACE(c.name);
    ArchiveBuilder b(c.block_size);
    const std::uint32_t start =
        b.add_chain(counter_bytes(std::size_t{c.block_size - 4} * c.blocks, 9),
                    c.scattered ? ChainShape::Scattered : ChainShape::Contiguous);
    const auto chain = b.chain_blocks(start);
    b.set_next(chain.back(), chain[c.loop_from]);
    b.pad_to(std::uint64_t{3} << 20);  // long enough to hold what the loop is asked for
    const Bytes file = b.bytes();
    auto db = DatDatabase::new_(dir.write("loop.dat", file));
    ASSERT_TRUE(db);
    for (const std::uint32_t size :
         {std::uint32_t{c.block_size - 4} * c.blocks + 1, std::uint32_t{3} << 20}) {
      EXPECT_EQ(library_read(*db, start, size), block_by_block(file, c.block_size, start, size))
          << "size " << size;
    }
    if (read_calls()) {
      const std::uint64_t calls = read_calls_of([&] { (void)db->read_file_data(start, 3U << 20); });
      EXPECT_LE(calls, 2 * c.blocks + 8);
    }
  }
}
