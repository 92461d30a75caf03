// The block-chain reader: the consequences of the chain algorithm, the refusals
// that keep hostile chains finite, and equivalence of the batched reads with a
// plain pointer-then-payload reading of the same bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "archive_test_support.hpp"
#include "quorvane_dat/utils/detail/memory_source.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"
#include "test_oracles/chain_reference.hpp"

namespace {

using namespace archive_test::names;  // NOLINT(google-build-using-namespace)
using quorvane_dat::DatDatabase;

constexpr const char* EOF_DISPLAY = "IO error: failed to fill whole buffer";
constexpr const char* EOF_DEBUG =
    "Io(Error { kind: UnexpectedEof, message: \"failed to fill whole buffer\" })";

std::string hex8(std::uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(v));
  return text;
}

using test_oracles::block_by_block;
using test_oracles::library_read;
using Outcome = test_oracles::ChainOutcome;

class BlockChain : public ::testing::Test {
 protected:
  // Opens the builder's archive; the test fails when it does not open.
  const DatDatabase& open(const ArchiveBuilder& b) {
    db_ = archive_test::open_ok(dir_.write("chain.dat", b));
    if (!db_) throw std::runtime_error("archive did not open");
    return *db_;
  }
  void expect_eof(const quorvane_dat::DatResult<Bytes>& got) {
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error().display(), EOF_DISPLAY);
    EXPECT_EQ(got.error().debug(), EOF_DEBUG);
  }

  TempDir dir_;
  std::optional<DatDatabase> db_;
};

TEST_F(BlockChain, SizeZeroReadsNothingWhateverTheOffset) {
  ArchiveBuilder b(16);
  const DatDatabase& db = open(b);
  for (const std::uint32_t offset : {0U, 0x190U, 0x10000U, 0xFFFFFFFFU}) {
    auto got = db.read_file_data(offset, 0);
    ASSERT_TRUE(got) << offset << ": " << got.error().display();
    EXPECT_TRUE(got->empty());
  }
}

TEST_F(BlockChain, ChainThatFitsOneBlock) {
  ArchiveBuilder b(16);
  const Bytes data = pattern(12);
  const std::uint32_t first = b.add_chain(data);
  b.add_chain(pattern(40, 9));  // neighbouring bytes that must not leak in
  const DatDatabase& db = open(b);
  auto whole = db.read_file_data(first, 12);
  ASSERT_TRUE(whole);
  EXPECT_EQ(*whole, data);
  auto part = db.read_file_data(first, 5);
  ASSERT_TRUE(part);
  EXPECT_EQ(*part, Bytes(data.begin(), data.begin() + 5));
}

TEST_F(BlockChain, DataEndingInABlockDoesNotFollowItsPointer) {
  ArchiveBuilder b(16);
  const Bytes data = pattern(24);
  const std::uint32_t first = b.add_chain(data);
  ASSERT_EQ(b.chain_blocks(first).size(), 2U);
  b.set_next(b.chain_blocks(first)[1], 0xFFFFFF00);  // garbage, beyond the end
  const DatDatabase& db = open(b);
  auto got = db.read_file_data(first, 24);
  ASSERT_TRUE(got) << got.error().display();
  EXPECT_EQ(*got, data);
}

TEST_F(BlockChain, ZeroPointerReadsTheRestContiguouslyPastTheBlock) {
  ArchiveBuilder b(16);
  const Bytes data = pattern(100);
  const std::uint32_t first = b.add_chain(data, ChainShape::SingleRun);
  const DatDatabase& db = open(b);
  auto got = db.read_file_data(first, 100);
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, data);
}

TEST_F(BlockChain, ZeroPointerInALaterBlockEndsTheChainEarly) {
  ArchiveBuilder b(16);
  const Bytes data = pattern(36);
  const std::uint32_t first = b.add_chain(data);  // three contiguous blocks
  const auto blocks = b.chain_blocks(first);
  b.set_next(blocks[1], 0);
  const DatDatabase& db = open(b);
  auto got = db.read_file_data(first, 30);
  ASSERT_TRUE(got);
  // After the first payload, everything comes straight from the file from the
  // second block's payload on, the third block's pointer bytes included.
  const Bytes file = b.bytes();
  Bytes expected(data.begin(), data.begin() + 12);
  expected.insert(expected.end(), file.begin() + blocks[1] + 4, file.begin() + blocks[1] + 22);
  EXPECT_EQ(*got, expected);
}

TEST_F(BlockChain, LoopIsGatheredAgainUntilTheSizeIsReached) {
  ArchiveBuilder b(16);
  const Bytes data = pattern(24);
  const std::uint32_t first = b.add_chain(data, ChainShape::Scattered);
  b.set_next(b.chain_blocks(first)[1], first);
  const DatDatabase& db = open(b);
  auto got = db.read_file_data(first, 24 * 3 + 5);
  ASSERT_TRUE(got);
  Bytes expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), data.begin(), data.end());
  expected.insert(expected.end(), data.begin(), data.begin() + 5);
  EXPECT_EQ(*got, expected);
}

TEST_F(BlockChain, ScatteredChainIsGatheredInChainOrder) {
  ArchiveBuilder b(16);
  const Bytes data = pattern(12 * 7 + 3);
  const std::uint32_t first = b.add_chain(data, ChainShape::Scattered);
  const DatDatabase& db = open(b);
  auto got = db.read_file_data(first, static_cast<std::uint32_t>(data.size()));
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, data);
}

TEST_F(BlockChain, AnyReadBeyondTheEndIsAnIoError) {
  ArchiveBuilder b(16);
  const std::uint32_t first = b.add_chain(pattern(36));
  const auto blocks = b.chain_blocks(first);
  const std::uint32_t pointing_out = b.add_chain(pattern(24));
  const std::uint32_t end = static_cast<std::uint32_t>(b.size());
  b.set_next(pointing_out, end + 4096);
  const DatDatabase& db = open(b);

  expect_eof(db.read_file_data(end + 100, 4));      // first pointer beyond the end
  expect_eof(db.read_file_data(end - 2, 1));        // pointer straddling the end
  expect_eof(db.read_file_data(pointing_out, 20));  // next pointer beyond the end
  expect_eof(db.read_file_data(blocks[2], 200));    // unbounded last piece runs out
  // Reading up to the very last byte still succeeds.
  auto last = db.read_file_data(blocks[2], 12);
  EXPECT_TRUE(last);
}

TEST_F(BlockChain, BlockSizeOfFourOrLessCannotStepToANextBlock) {
  for (const std::uint32_t block_size : {0U, 1U, 3U, 4U}) {
    SCOPED_TRACE(block_size);
    ArchiveBuilder b(16);
    const std::uint32_t linked = b.add_chain(pattern(24));
    const std::uint32_t single = b.add_chain(pattern(30), ChainShape::SingleRun);
    b.header().block_size = block_size;
    const DatDatabase& db = open(b);
    auto refused = db.read_file_data(linked, 24);
    ASSERT_FALSE(refused);
    const std::string text = "block_size " + std::to_string(block_size) +
                             " is too small to follow block 0x" + hex8(linked) + " to 0x" +
                             hex8(linked + 16);
    EXPECT_EQ(refused.error().display(), "Corruption detected: " + text);
    EXPECT_EQ(refused.error().debug(), "Corruption(\"" + text + "\")");
    // A chain that ends at its first block never uses the block size.
    auto read = db.read_file_data(single, 30);
    ASSERT_TRUE(read) << read.error().display();
    EXPECT_EQ(*read, pattern(30));
  }
}

TEST_F(BlockChain, BlockOffsetsAbove0xFFFFFFFBAreRefusedNotWrapped) {
  ArchiveBuilder b(16);
  const std::uint32_t first = b.add_chain(pattern(24));
  b.set_next(first, 0xFFFFFFFF);
  const DatDatabase& db = open(b);
  for (const std::uint32_t offset : {0xFFFFFFFCU, 0xFFFFFFFFU}) {
    auto got = db.read_file_data(offset, 1);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error().display(), "Corruption detected: block offset 0x" + hex8(offset) +
                                         " leaves no room for a payload below 4 GiB");
  }
  auto via_pointer = db.read_file_data(first, 24);
  ASSERT_FALSE(via_pointer);
  EXPECT_EQ(via_pointer.error().display(),
            "Corruption detected: block offset 0xFFFFFFFF leaves no room for a payload below 4 GiB");
  // The highest offset with a payload position is an ordinary read past the end.
  expect_eof(db.read_file_data(0xFFFFFFFB, 1));
}

// Long contiguous runs are read in batches; every way a run can end must give
// what the block-by-block reading gives.
TEST_F(BlockChain, LongRunsMatchBlockByBlockReading) {
  constexpr std::uint32_t BS = 64;
  ArchiveBuilder b(BS);
  const Bytes data = pattern(60 * 3000, 3);
  const std::uint32_t run = b.add_chain(data);
  const auto blocks = b.chain_blocks(run);
  const std::uint32_t other = b.add_chain(pattern(60 * 900, 5));
  // A second run that turns away in the middle, and a third that ends early.
  const std::uint32_t turning = b.add_chain(pattern(60 * 2000, 7));
  b.set_next(b.chain_blocks(turning)[1500], other);
  const std::uint32_t early = b.add_chain(pattern(60 * 2000, 11));
  b.set_next(b.chain_blocks(early)[1000], 0);
  const std::uint32_t looping = b.add_chain(pattern(60 * 700, 13));
  b.set_next(b.chain_blocks(looping)[699], looping);
  // A run cut off by the end of the file.
  const std::uint32_t cut = b.add_chain(pattern(60 * 1200, 17));
  const Bytes file_full = b.bytes();
  Bytes file(file_full.begin(), file_full.end() - 60 * 300 - 7);
  auto db = archive_test::open_ok(dir_.write("runs.dat", file));
  ASSERT_TRUE(db);

  const struct {
    const char* name;
    std::uint32_t offset;
    std::uint32_t size;
  } reads[] = {
      {"whole run", run, 60 * 3000},
      {"run minus a byte", run, 60 * 3000 - 1},
      {"run from its middle", blocks[777], 60 * 1000 + 13},
      {"run turning away", turning, 60 * 2000},
      {"run ending early", early, 60 * 1900},
      {"looping run", looping, 60 * 2100 + 1},
      {"run cut by the end of the file", cut, 60 * 1200},
      {"cut run, short of the cut", cut, 60 * 800},
  };
  for (const auto& r : reads) {
    SCOPED_TRACE(r.name);
    const Outcome expected = block_by_block(file, BS, r.offset, r.size);
    const Outcome got = library_read(*db, r.offset, r.size);
    EXPECT_EQ(got.ok, expected.ok);
    EXPECT_EQ(got.error, expected.error);
    EXPECT_TRUE(got.bytes == expected.bytes);
  }
  EXPECT_TRUE(block_by_block(file, BS, run, 60 * 3000).bytes == data);
  EXPECT_FALSE(block_by_block(file, BS, cut, 60 * 1200).ok);
}

// Random archives full of chains of every shape: contiguous stretches, jumps
// both ways, loops, early zeros, pointers past the end and a cut-off file.
TEST_F(BlockChain, RandomChainsMatchBlockByBlockReading) {
  std::mt19937 rng(20240611);
  auto uniform = [&](std::uint64_t lo, std::uint64_t hi) {
    return std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng);
  };
  const std::uint32_t block_sizes[] = {0, 3, 4, 5, 6, 7, 8, 12, 16, 33, 64, 1024};
  int compared = 0;
  for (int archive = 0; archive < 300; ++archive) {
    const std::uint32_t bs = block_sizes[uniform(0, std::size(block_sizes) - 1)];
    ArchiveBuilder b(16);
    b.header().block_size = bs;
    const std::size_t region = uniform(64, 12000);
    Bytes noise(region);
    for (auto& byte : noise) byte = static_cast<std::uint8_t>(uniform(0, 255));
    const std::uint32_t base = b.append_raw(noise);
    const std::uint64_t end = b.size();
    std::vector<std::uint32_t> starts;
    for (int chain = 0; chain < 6; ++chain) {
      std::uint64_t current = uniform(base, end - 4);
      starts.push_back(static_cast<std::uint32_t>(current));
      const std::uint32_t step = bs > 4 ? bs : 16;
      for (int k = 0; k < 80 && current + 4 <= end; ++k) {
        const std::uint64_t pick = uniform(0, 99);
        std::uint64_t next = current + step;  // contiguous
        if (pick < 4)
          next = 0;  // early end
        else if (pick < 14)
          next = uniform(base, end - 1);  // jump anywhere
        else if (pick < 18)
          next = starts.back();  // loop
        else if (pick < 20)
          next = end + uniform(0, 5000);  // past the end
        else if (pick < 21)
          next = uniform(0xFFFFFFF8, 0xFFFFFFFF);  // near 4 GiB
        b.write_u32(current, static_cast<std::uint32_t>(next));
        if (next == 0 || next + 4 > end) break;
        current = next;
      }
    }
    Bytes file = b.bytes();
    if (uniform(0, 3) == 0) file.resize(file.size() - uniform(0, 200));
    auto db = archive_test::open_ok(dir_.write("random.dat", file));
    ASSERT_TRUE(db);
    for (int r = 0; r < 8; ++r) {
      const std::uint32_t offset =
          r < 6 ? starts[static_cast<std::size_t>(r)] : static_cast<std::uint32_t>(uniform(0, end + 64));
      const std::uint32_t size = static_cast<std::uint32_t>(uniform(0, r % 2 == 0 ? 300 : 6000));
      const Outcome expected = block_by_block(file, bs, offset, size);
      const Outcome got = library_read(*db, offset, size);
      ASSERT_EQ(got, expected) << "archive " << archive << ", block size " << bs << ", offset " << offset
                               << ", size " << size << "; expected error '" << expected.error
                               << "', got '" << got.error << "'";
      ++compared;
    }
  }
  EXPECT_EQ(compared, 300 * 8);
}

TEST(PositionedRead, ExactReadsAndScatterReadsAtAbsoluteOffsets) {
  TempDir dir;
  const Bytes data = pattern(1000);
  const auto path = dir.write("plain.bin", data);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  quorvane_dat::detail::ReadOnlyFile file(fd);
  ASSERT_EQ(::lseek(fd, 17, SEEK_SET), 17);

  Bytes buf(100);
  ASSERT_TRUE(file.read_exact_at_compat(buf, 900));
  EXPECT_TRUE(std::equal(buf.begin(), buf.end(), data.begin() + 900));
  EXPECT_TRUE(file.read_exact_at_compat(std::span<std::uint8_t>(), 1U << 30));
  auto past = file.read_exact_at_compat(buf, 901);
  ASSERT_FALSE(past);
  EXPECT_EQ(past.error().display(), "failed to fill whole buffer");
  EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 17) << "positioned reads leave the read position alone";

  std::uint8_t a[3];
  std::uint8_t c[10];
  const ::iovec parts[] = {{a, sizeof a}, {c, sizeof c}};
  auto whole = file.read_vectored_at(parts, 500);
  ASSERT_TRUE(whole);
  EXPECT_EQ(*whole, 13U);
  EXPECT_EQ(a[0], data[500]);
  EXPECT_EQ(c[9], data[512]);
  auto short_read = file.read_vectored_at(parts, 995);
  ASSERT_TRUE(short_read);
  EXPECT_EQ(*short_read, 5U);
  auto at_end = file.read_vectored_at(parts, 5000);
  ASSERT_TRUE(at_end);
  EXPECT_EQ(*at_end, 0U);
}

// An archive in memory answers every read exactly as the file of its bytes.
TEST(PositionedRead, MemorySourceAnswersAsTheFile) {
  TempDir dir;
  const Bytes data = pattern(700);
  const int fd = ::open(dir.write("same.bin", data).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const quorvane_dat::detail::ReadOnlyFile file(fd);
  const quorvane_dat::detail::MemorySource memory(data);
  for (const std::uint64_t offset : {0U, 1U, 350U, 690U, 699U, 700U, 701U, 5000U}) {
    for (const std::size_t length : {0U, 1U, 10U, 300U}) {
      SCOPED_TRACE(testing::Message() << offset << " + " << length);
      Bytes from_file(length, 0xEE), from_memory(length, 0xEE);
      auto a = file.read_exact_at_compat(from_file, offset);
      auto b = memory.read_exact_at_compat(from_memory, offset);
      ASSERT_EQ(bool(a), bool(b));
      if (!a) {
        EXPECT_EQ(a.error().debug(), b.error().debug());
      }
      EXPECT_EQ(from_file, from_memory);
      Bytes head_f(3), tail_f(length), head_m(3), tail_m(length);
      const ::iovec parts_f[] = {{head_f.data(), 3}, {tail_f.data(), length}};
      const ::iovec parts_m[] = {{head_m.data(), 3}, {tail_m.data(), length}};
      auto got_f = file.read_vectored_at(parts_f, offset);
      auto got_m = memory.read_vectored_at(parts_m, offset);
      ASSERT_TRUE(got_f && got_m);
      EXPECT_EQ(*got_f, *got_m);
      EXPECT_EQ(head_f, head_m);
      EXPECT_EQ(tail_f, tail_m);
    }
  }
}

}  // namespace
