// Reading many files at once: read_batch against one get_file per file, and
// the single-file fetch variants against get_file, over an archive with
// plain, compressed, scattered, broken and oversized entries.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "archive_test_support.hpp"
#include "quorvane_dat/lib/batch_reader.hpp"

namespace {

using archive_test::Bytes;
using dat_writer::ArchiveBuilder;
using dat_writer::ChainShape;
using dat_writer::Node;
using quorvane_dat::DatFileEntry;

class Batch : public ::testing::Test {
 protected:
  // 700 files of up to 12 KiB (over 2 MiB, so several 1 MiB windows), one in
  // five compressed, one in seven scattered, and three that cannot be read.
  void SetUp() override {
    ArchiveBuilder b(512);
    std::mt19937 rng(7);
    std::vector<DatFileEntry> entries;
    for (std::uint32_t id = 1; id <= 700; ++id) {
      Bytes content(rng() % 12288);
      for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>((i / 7) * id);
      const ChainShape shape = id % 7 == 0 ? ChainShape::Scattered : ChainShape::Contiguous;
      entries.push_back(b.add_file(id, content, id % 5 == 0, shape));
    }
    entries[10].offset = 0xFFFFFF00;  // chain beyond the end
    entries[29].offset = 0xFFFFFF00;  // compressed, chain beyond the end
    entries[20].size = 0xFFFFFFF0;    // larger than the archive
    // A root of 13 entries and 14 leaves of up to 50.
    Node root;
    root.entries.assign(entries.begin(), entries.begin() + 13);
    for (std::size_t i = 13, slot = 0; i < entries.size(); i += 50, ++slot) {
      Node leaf;
      leaf.entries.assign(
          entries.begin() + static_cast<std::ptrdiff_t>(i),
          entries.begin() + static_cast<std::ptrdiff_t>(std::min(i + 50, entries.size())));
      root.branches[slot] = b.add_node(leaf);
    }
    b.set_root(b.add_node(root));
    db_ = archive_test::open_ok(dir_.write("batch.dat", b));
    ASSERT_TRUE(db_);
    ASSERT_EQ(db_->files().size(), 700U);
  }
  archive_test::TempDir dir_;
  std::optional<quorvane_dat::DatDatabase> db_;
};

TEST_F(Batch, EveryFileAsGetFileGivesItInOffsetOrder) {
  for (const unsigned threads : {1U, 2U, 3U}) {
    for (const bool decode : {true, false}) {
      for (const bool deliver : {true, false}) {
        SCOPED_TRACE(testing::Message()
                     << threads << " threads, decode " << decode << ", deliver " << deliver);
        quorvane_dat::BatchOptions options;
        options.threads = threads;
        options.window_bytes = 1;  // raised to the smallest window
        options.decode = decode;
        options.deliver_stored = deliver;
        options.collect_blocks = true;
        std::uint32_t last_offset = 0;
        std::size_t seen = 0;
        auto done = quorvane_dat::read_batch(*db_, options, [&](const quorvane_dat::BatchFile &f) {
          ++seen;
          EXPECT_GE(f.entry->offset, last_offset);
          last_offset = f.entry->offset;
          auto single = decode ? db_->get_file(f.entry->id) : db_->get_stored(f.entry->id);
          if (!single) {
            EXPECT_NE(f.error, nullptr) << f.entry->id;
            if (f.error != nullptr) {
              EXPECT_EQ(f.error->debug(), single.error().debug());
            }
            return true;
          }
          EXPECT_EQ(f.error, nullptr) << f.entry->id;
          if (deliver || f.entry->is_compressed()) {
            EXPECT_TRUE(std::equal(f.bytes.begin(), f.bytes.end(), single->begin(), single->end()))
                << f.entry->id;
          } else {
            EXPECT_TRUE(f.bytes.empty()) << f.entry->id;
          }
          auto blocks = db_->chain_blocks(f.entry->offset, f.entry->size);
          EXPECT_TRUE(blocks &&
                      std::equal(f.blocks.begin(), f.blocks.end(), blocks->begin(), blocks->end()))
              << f.entry->id;
          auto declared = db_->decoded_size(f.entry->id);
          EXPECT_TRUE(declared && *declared == f.declared_size) << f.entry->id;
          return true;
        });
        EXPECT_TRUE(done);
        EXPECT_EQ(seen, 700U);
      }
    }
  }
}

// Stopping after the first file stops inside a segment (files 5 and 42 lie
// within one window); after the third, at a segment's end.
TEST_F(Batch, ASelectionIsReadAloneAndTheCallbackCanStopIt) {
  std::vector<DatFileEntry> picked;
  for (const std::uint32_t id : {300U, 5U, 699U, 42U}) picked.push_back(*db_->files().find(id));
  for (const unsigned threads : {1U, 2U}) {
    for (const std::size_t stop_after : {1U, 3U}) {
      SCOPED_TRACE(testing::Message() << threads << " threads, stop after " << stop_after);
      quorvane_dat::BatchOptions options;
      options.threads = threads;
      std::vector<std::uint32_t> ids;
      auto done = quorvane_dat::read_batch(*db_, picked, options, [&](const quorvane_dat::BatchFile &f) {
        ids.push_back(f.entry->id);
        return ids.size() < stop_after;
      });
      EXPECT_TRUE(done);
      std::vector<std::uint32_t> by_offset = {5, 42, 300, 699};
      std::sort(by_offset.begin(), by_offset.end(), [&](std::uint32_t a, std::uint32_t b) {
        return db_->files().find(a)->offset < db_->files().find(b)->offset;
      });
      by_offset.resize(stop_after);
      EXPECT_EQ(ids, by_offset);
    }
    // An empty selection reads nothing (every entry has its own overload).
    quorvane_dat::BatchOptions options;
    options.threads = threads;
    std::size_t calls = 0;
    EXPECT_TRUE(
        quorvane_dat::read_batch(*db_, std::span<const DatFileEntry>(), options,
                                 [&](const quorvane_dat::BatchFile &) { return ++calls, true; }));
    EXPECT_EQ(calls, 0U);
  }
}

// The single-file variants agree with get_file; the caller's vector keeps its
// capacity.
TEST_F(Batch, FetchIntoAVectorAndDecodedSizeAgreeWithGetFile) {
  std::vector<std::uint8_t> reused;
  reused.reserve(1 << 16);
  const std::uint8_t *storage = reused.data();
  for (const auto &[id, entry] : db_->files()) {
    auto whole = db_->get_file(id);
    auto into = db_->get_file_into(id, reused);
    ASSERT_EQ(bool(whole), bool(into)) << id;
    if (!whole) continue;
    EXPECT_EQ(reused, *whole) << id;
    EXPECT_EQ(*db_->decoded_size(id), whole->size()) << id;
  }
  EXPECT_EQ(reused.data(), storage);
}

}  // namespace
