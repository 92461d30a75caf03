// Hostile archives at the library level: every one opens or fails with a
// clear error, without a crash, an endless walk or an unbounded allocation.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <cstdio>
#include <string>

#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "unittests/hostile/hostile_archives.hpp"
#include "unittests/hostile/hostile_support.hpp"

namespace {

using quorvane_dat::DatDatabase;
using quorvane_dat::DatError;

class HostileArchive : public ::testing::Test {
 protected:
  std::filesystem::path write(const dat_writer::Bytes& bytes) {
    const auto path = dir_.file("archive" + std::to_string(count_++) + ".dat");
    test_support::write_file(path, bytes);
    return path;
  }
  // Opening the archive fails; returns the error's debug form.
  std::string open_error(const dat_writer::Bytes& bytes) {
    auto db = DatDatabase::new_(write(bytes));
    if (db) return "<opened>";
    return db.error().debug();
  }
  // The archive opens and its table fetches as the passing table.
  void expect_passing_table(const dat_writer::Bytes& bytes) {
    auto db = DatDatabase::new_(write(bytes));
    ASSERT_TRUE(db) << db.error().debug();
    auto table = db->get_file(hostile::TABLE_ID);
    ASSERT_TRUE(table) << table.error().debug();
    EXPECT_EQ(*table, hostile::passing_table());
  }
  hostile::ScratchDir dir_;
  int count_ = 0;
};

// The header field whose bytes a file of `length` bytes cuts short.
std::string field_cut_at(std::uint64_t length) {
  static const char* const fields[] = {"magic",         "block_size",     "file_size",   "dataset",
                                       "subset",        "free_head",      "free_tail",   "free_count",
                                       "root_offset",   "new_lru",        "old_lru",     "use_lru",
                                       "master_map_id", "engine_version", "game_version"};
  if (length < 0x140 + 4) return "magic";
  if (length < 0x17C) return fields[(length - 0x140) / 4];
  if (length < 0x18C) return "version_string";
  return "version_minor";
}

TEST_F(HostileArchive, EveryHeaderTruncationNamesTheFieldCutShort) {
  for (std::uint64_t length = 0; length < 0x190; ++length) {
    SCOPED_TRACE(length);
    auto db = DatDatabase::new_(write(hostile::truncated_header(length)));
    ASSERT_FALSE(db);
    const auto* bin = db.error().as<DatError::BinRead>();
    ASSERT_NE(bin, nullptr) << db.error().debug();
    const std::string report = bin->error.report();
    EXPECT_NE(report.find("While parsing field '" + field_cut_at(length) + "' in DatHeader"),
              std::string::npos)
        << report;
    const char* eof = field_cut_at(length) == "version_string" ? "not enough bytes in reader"
                                                               : "failed to fill whole buffer";
    EXPECT_NE(report.find(eof), std::string::npos) << report;
  }
}

TEST_F(HostileArchive, MalformedDirectoriesFailWithTheirOwnError) {
  const struct {
    const char* name;
    dat_writer::Bytes bytes;
    const char* expected;  // part of the error's debug form
  } cases[] = {
      {"root beyond the end", hostile::root_beyond_end(), "Io(Error { kind: UnexpectedEof"},
      {"directory cycle", hostile::directory_cycle(), "is its own ancestor"},
      {"node named twice at 40 levels", hostile::doubled_tree(40), "is reached twice"},
      {"100000 levels packed 16 bytes apart", hostile::packed_deep_tree(100000),
       "directory walk needs more than"},
      {"62 entries claimed", hostile::claimed_entries(62),
       "While parsing field 'bit_flags' in DatFileEntry"},
      {"0xFFFFFFFF entries claimed", hostile::claimed_entries(0xFFFFFFFF),
       "While parsing field 'bit_flags' in DatFileEntry"},
      {"root at 0xFFFFFFFB", hostile::root_at(0xFFFFFFFB), "Io(Error { kind: UnexpectedEof"},
      {"root at 0xFFFFFFFC", hostile::root_at(0xFFFFFFFC),
       "block offset 0xFFFFFFFC leaves no room for a payload below 4 GiB"},
      {"root at 0xFFFFFFFF", hostile::root_at(0xFFFFFFFF),
       "block offset 0xFFFFFFFF leaves no room for a payload below 4 GiB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(open_error(c.bytes).find(c.expected), std::string::npos) << open_error(c.bytes);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

TEST_F(HostileArchive, BlockSizesUpToFourFailOnlyWhenAChainMustBeFollowed) {
  for (std::uint32_t block_size = 0; block_size <= 4; ++block_size) {
    SCOPED_TRACE(block_size);
    EXPECT_NE(open_error(hostile::with_block_size(block_size, false))
                  .find("block_size " + std::to_string(block_size) + " is too small to follow"),
              std::string::npos);
    // Single-run chains never use the block size.
    expect_passing_table(hostile::with_block_size(block_size, true));
  }
}

TEST_F(HostileArchive, OddButReadableArchivesFetchTheTable) {
  const struct {
    const char* name;
    dat_writer::Bytes bytes;
  } cases[] = {
      // The looping node chain is gathered again and ends.
      {"looping node chain", hostile::node_chain_loop()},
      // A compressed body claiming 4 GiB decodes what it holds.
      {"compressed body claiming 4 GiB", hostile::compressed_claims_4gib()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_passing_table(c.bytes);
  }
}

TEST_F(HostileArchive, StoredSizesAndOffsetsTheArchiveCannotHoldFailTheFetch) {
  const struct {
    const char* name;
    std::uint32_t offset;
    std::uint32_t size;
    const char* expected;
  } cases[] = {
      {"size 4 GiB - 1", 0x400, 0xFFFFFFFF,
       "file 0x30000000 claims 4294967295 bytes, more than the archive's"},
      {"offset 0xFFFFFFFB", 0xFFFFFFFB, 68, "failed to fill whole buffer"},
      {"offset 0xFFFFFFFC", 0xFFFFFFFC, 68, "block offset 0xFFFFFFFC leaves no room"},
      {"offset 0xFFFFFFFF", 0xFFFFFFFF, 68, "block offset 0xFFFFFFFF leaves no room"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto db = DatDatabase::new_(write(hostile::table_entry(c.offset, c.size)));
    ASSERT_TRUE(db) << db.error().debug();
    auto table = db->get_file(hostile::TABLE_ID);
    ASSERT_FALSE(table);
    EXPECT_NE(table.error().display().find(c.expected), std::string::npos) << table.error().display();
  }
}

// A tree of 100 000 genuine levels, each node in its own 1720-byte block
// (about 172 MB, written sparsely): the walk keeps its own stack, so depth
// costs memory in proportion, not the thread's stack.
TEST_F(HostileArchive, ATreeOneHundredThousandLevelsDeepOpens) {
  constexpr std::uint32_t levels = 100000;
  constexpr std::uint32_t stride = 1720;
  constexpr std::uint32_t first = 400;
  const auto path = dir_.file("deep.dat");
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  dat_writer::ArchiveBuilder header_only(stride);
  header_only.set_root(first);
  header_only.pad_to(dat_writer::DATA_START);
  const dat_writer::Bytes head = header_only.bytes();
  ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  const std::uint64_t end = std::uint64_t{first} + std::uint64_t{levels} * stride;
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(end)), 0);
  for (std::uint32_t i = 0; i + 1 < levels; ++i) {
    const std::uint32_t child = first + (i + 1) * stride;
    ASSERT_EQ(::pwrite(fd, &child, 4, first + i * stride + 4), 4);  // slot 0 (little-endian host)
  }
  // The deepest node holds one entry: an empty file with id 7.
  const std::uint32_t deepest = first + (levels - 1) * stride;
  dat_writer::DatFileEntry entry;
  entry.id = 7;
  const dat_writer::Bytes entry_bytes = dat_writer::encode_entry(entry);
  const std::uint32_t one = 1;
  ASSERT_EQ(::pwrite(fd, &one, 4, deepest + 4 + quorvane_dat::NODE_ENTRY_COUNT_OFFSET), 4);
  ASSERT_EQ(::pwrite(fd, entry_bytes.data(), entry_bytes.size(),
                     deepest + 4 + quorvane_dat::NODE_ENTRIES_OFFSET),
            static_cast<ssize_t>(entry_bytes.size()));
  ::close(fd);

  auto db = DatDatabase::new_(path);
  ASSERT_TRUE(db) << db.error().debug();
  EXPECT_EQ(db->files().size(), 1U);
  auto file = db->get_file(7);
  ASSERT_TRUE(file) << file.error().debug();
  EXPECT_TRUE(file->empty());
}

TEST_F(HostileArchive, AnArchiveTruncatedAfterOpeningFailsTheFetch) {
  for (const off_t length : {off_t{0}, off_t{0x190}, off_t{0x1A0}}) {
    SCOPED_TRACE(length);
    const auto path = write(hostile::passing_archive(256, false));
    auto db = DatDatabase::new_(path);
    ASSERT_TRUE(db) << db.error().debug();
    ASSERT_EQ(::truncate(path.c_str(), length), 0);
    auto table = db->get_file(hostile::TABLE_ID);
    ASSERT_FALSE(table);
    EXPECT_EQ(table.error().display(), "IO error: failed to fill whole buffer");
  }
}

TEST_F(HostileArchive, SpecialFilesFailAtOpeningWithoutBlocking) {
  const auto fifo = dir_.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::filesystem::path path;
    const char* expected;
  } cases[] = {
      {dir_.path(), "Is a directory (os error 21)"},
      {fifo, "Illegal seek (os error 29)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.string());
    auto db = DatDatabase::new_(c.path);
    ASSERT_FALSE(db);
    EXPECT_NE(db.error().display().find(c.expected), std::string::npos) << db.error().display();
  }
  // /dev/zero reads as a header of zeros: no directory at all.
  auto zero = DatDatabase::new_("/dev/zero");
  ASSERT_TRUE(zero) << zero.error().debug();
  EXPECT_TRUE(zero->files().empty());
}

}  // namespace
