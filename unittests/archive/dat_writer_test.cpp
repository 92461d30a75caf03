// The archive writer: its encoder round-trips through the archive decoder, its
// layouts are the bytes they claim to be, and its balanced directories open.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "archive_test_support.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"

namespace {

using namespace archive_test::names;  // NOLINT(google-build-using-namespace)

std::uint32_t u32_at(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

Bytes random_bytes(std::size_t n, std::uint32_t seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& byte : out) byte = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(alphabet));
  return out;
}

TEST(LzssEncoder, RoundTripsThroughTheDecoder) {
  Bytes far_repeat = random_bytes(3000, 4);
  const Bytes filler = random_bytes(4500, 5);
  far_repeat.insert(far_repeat.end(), filler.begin(), filler.end());
  far_repeat.insert(far_repeat.end(), far_repeat.begin(),
                    far_repeat.begin() + 3000);  // beyond the window
  const struct {
    const char* name;
    Bytes input;
  } cases[] = {
      {"empty", {}},
      {"one byte", {0x42}},
      {"two equal bytes", {7, 7}},
      {"run of zeros", Bytes(10000, 0)},
      {"short period", pattern(5000)},
      {"abc repeated",
       [] {
         Bytes b;
         for (int i = 0; i < 999; ++i) b.push_back(static_cast<std::uint8_t>('a' + i % 3));
         return b;
       }()},
      {"random", random_bytes(20000, 1)},
      {"small alphabet", random_bytes(50000, 2, 4)},
      {"repeat beyond the window", far_repeat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes packed = dat_writer::compress_lrs(c.input);
    ASSERT_GE(packed.size(), 4U);
    EXPECT_EQ(u32_at(packed, 0), c.input.size());
    EXPECT_TRUE(quorvane_dat::decompress_lrs(packed) == c.input);
  }
}

TEST(LzssEncoder, RepetitiveInputShrinks) {
  const Bytes zeros(10000, 0);
  EXPECT_LT(dat_writer::compress_lrs(zeros).size(), 10000U / 6);
  const Bytes periodic = pattern(8000);
  EXPECT_LT(dat_writer::compress_lrs(periodic).size(), 8000U / 2);
  // Incompressible input costs one flag byte per eight literals.
  const Bytes noise = random_bytes(8000, 9);
  EXPECT_LE(dat_writer::compress_lrs(noise).size(), 4U + 8000U + 1000U);
}

TEST(ArchiveWriter, HeaderAndPrefixLandAtTheirOffsets) {
  ArchiveBuilder b(512);
  b.header().magic = 0x11111111;
  b.header().root_offset = 0x22222222;
  b.header().version_string.fill(0x33);
  b.header().version_minor = 0x44444444;
  b.prefix()[0] = 0x55;
  const Bytes bytes = b.bytes();
  ASSERT_EQ(bytes.size(), 0x190U);
  EXPECT_EQ(bytes[0], 0x55);
  EXPECT_EQ(u32_at(bytes, 0x140), 0x11111111U);
  EXPECT_EQ(u32_at(bytes, 0x144), 512U);
  EXPECT_EQ(u32_at(bytes, 0x160), 0x22222222U);
  EXPECT_EQ(bytes[0x17C], 0x33);
  EXPECT_EQ(bytes[0x18B], 0x33);
  EXPECT_EQ(u32_at(bytes, 0x18C), 0x44444444U);
}

TEST(ArchiveWriter, ChainShapesLayOutTheirBlocks) {
  ArchiveBuilder b(16);
  const Bytes data = pattern(30);
  const std::uint32_t contiguous = b.add_chain(data);
  EXPECT_EQ(b.chain_blocks(contiguous), (std::vector<std::uint32_t>{0x190, 0x1A0, 0x1B0}));
  const std::uint32_t scattered = b.add_chain(data, ChainShape::Scattered);
  const std::uint32_t single = b.add_chain(data, ChainShape::SingleRun);
  const Bytes bytes = b.bytes();

  EXPECT_EQ(u32_at(bytes, 0x190), 0x1A0U);
  EXPECT_EQ(u32_at(bytes, 0x1A0), 0x1B0U);
  EXPECT_EQ(u32_at(bytes, 0x1B0), 0U);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 12, bytes.begin() + 0x194));
  EXPECT_TRUE(std::equal(data.begin() + 24, data.end(), bytes.begin() + 0x1B4));
  EXPECT_EQ(bytes[0x1B4 + 6], 0) << "the last block is padded with zeros";

  const auto& blocks = b.chain_blocks(scattered);
  ASSERT_EQ(blocks.size(), 3U);
  for (std::size_t k = 0; k + 1 < blocks.size(); ++k) {
    EXPECT_EQ(u32_at(bytes, blocks[k]), blocks[k + 1]);
    EXPECT_NE(blocks[k + 1], blocks[k] + 16) << "no block is followed by its successor";
  }
  EXPECT_EQ(u32_at(bytes, blocks[2]), 0U);

  EXPECT_EQ(u32_at(bytes, single), 0U);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + single + 4));
  EXPECT_EQ(b.size(), std::uint64_t{single} + 4 + 30);
}

TEST(ArchiveWriter, NodeEncodingAndBranchPatching) {
  dat_writer::Node n;
  n.branches[0] = 0xAABBCCDD;
  n.branches[61] = 7;
  n.entries.push_back({1, 2, 3, 4, 5, 6});
  const Bytes bytes = n.encode();
  ASSERT_EQ(bytes.size(), quorvane_dat::NODE_SIZE);
  EXPECT_EQ(u32_at(bytes, 0), 0xAABBCCDDU);
  EXPECT_EQ(u32_at(bytes, 244), 7U);
  EXPECT_EQ(u32_at(bytes, 248), 1U);
  EXPECT_EQ(u32_at(bytes, 252 + 4), 2U);
  n.entry_count = 99;
  EXPECT_EQ(u32_at(n.encode(), 248), 99U);
  n.entries.resize(62);
  EXPECT_THROW(n.encode(), std::invalid_argument);

  // A node spread over several blocks: the patched branch reaches the reader.
  TempDir dir;
  ArchiveBuilder b(100);
  const std::uint32_t child = b.add_node(dat_writer::Node{{}, {{0, 42, 0, 0, 0, 0}}, {}});
  const std::uint32_t root =
      b.add_node(dat_writer::Node{{}, {{0, 1, 0, 0, 0, 0}}, {}}, ChainShape::Scattered);
  b.set_branch(root, 0, child);
  b.set_root(root);
  auto db = archive_test::open_ok(dir.write("patched.dat", b));
  ASSERT_TRUE(db);
  EXPECT_EQ(db->files().size(), 2U);
  EXPECT_EQ(db->files().count(42), 1U);
}

// Balanced directories open with every file, at sizes around the capacity
// of one and two levels.
// The ids of a directory tree in key order (each node's children interleaved
// with its entries), and whether every leaf sits at the same depth.
struct TreeOrder : quorvane_dat::DirectoryVisitor {
  struct Node {
    std::uint32_t depth = 0, children = 0;
    std::vector<std::uint32_t> ids;
    std::vector<std::size_t> kids;
  };
  std::vector<Node> nodes;
  std::vector<std::size_t> open;  // the path from the root to the node last met
  void on_node(const quorvane_dat::DirectoryNodeInfo& info) override {
    while (!open.empty() && nodes[open.back()].depth >= info.depth) open.pop_back();
    if (!open.empty()) nodes[open.back()].kids.push_back(nodes.size());
    open.push_back(nodes.size());
    nodes.push_back({info.depth, info.child_count, {}, {}});
  }
  quorvane_dat::DatResult<void> on_entries(
      std::span<const quorvane_dat::DatFileEntry> entries) override {
    for (const auto& e : entries) nodes[open.back()].ids.push_back(e.id);
    return {};
  }
  void in_order(std::size_t n, std::vector<std::uint32_t>& out,
                std::set<std::uint32_t>& leaf_depths) const {
    const Node& node = nodes[n];
    if (node.kids.empty()) leaf_depths.insert(node.depth);
    for (std::size_t i = 0; i < node.ids.size(); ++i) {
      if (i < node.kids.size()) in_order(node.kids[i], out, leaf_depths);
      out.push_back(node.ids[i]);
    }
    if (node.kids.size() > node.ids.size()) in_order(node.kids.back(), out, leaf_depths);
  }
};

TEST(ArchiveWriter, BalancedDirectoriesHoldEveryFile) {
  TempDir dir;
  const struct {
    std::size_t files;
    std::uint32_t depth;
    std::size_t nodes;
  } cases[] = {{0, 0, 0}, {1, 1, 1}, {61, 1, 1}, {62, 2, 3}, {3843, 2, 63}, {3844, 3, 0}, {9000, 3, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files);
    ArchiveBuilder b(512);
    std::vector<dat_writer::FileSpec> files;
    for (std::size_t i = 0; i < c.files; ++i) {
      // Ids out of order; the tree orders them.
      const auto id = static_cast<std::uint32_t>((i * 2654435761U) ^ 0x5A5A);
      files.push_back({id, pattern(i % 40, static_cast<std::uint8_t>(i)), i % 2 == 0, 0, 0});
    }
    const auto layout = dat_writer::add_files_with_directory(b, files);
    EXPECT_EQ(layout.depth, c.depth);
    if (c.nodes != 0) {
      EXPECT_EQ(layout.nodes.size(), c.nodes);
    }
    EXPECT_EQ(b.header().root_offset, layout.nodes.empty() ? 0U : layout.nodes.back());
    auto db = archive_test::open_ok(dir.write("balanced.dat", b));
    ASSERT_TRUE(db);
    ASSERT_EQ(db->files().size(), c.files);
    // A search tree: ids ascending in key order, every leaf at one depth.
    TreeOrder tree;
    ASSERT_TRUE(db->visit_directory(tree));
    std::vector<std::uint32_t> ids;
    std::set<std::uint32_t> leaf_depths;
    if (!tree.nodes.empty()) tree.in_order(0, ids, leaf_depths);
    EXPECT_EQ(ids.size(), c.files);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_LE(leaf_depths.size(), 1U);
    for (std::size_t i = 0; i < c.files; i += 97) {
      EXPECT_EQ(*db->files().find(files[i].id), layout.entries[i]);
      auto got = db->get_file(files[i].id);
      ASSERT_TRUE(got);
      EXPECT_EQ(*got, files[i].content);
    }
  }
}

TEST(ArchiveWriter, HundredThousandFilesMakeAShallowTree) {
  TempDir dir;
  ArchiveBuilder b(256);
  std::vector<dat_writer::FileSpec> files(100000);
  for (std::uint32_t i = 0; i < files.size(); ++i) {
    files[i].id = 0x0D000000 + i;
    files[i].content = pattern(i % 64, static_cast<std::uint8_t>(i));
    files[i].compressed = i % 4 == 0;
  }
  const auto layout = dat_writer::add_files_with_directory(b, files);
  EXPECT_EQ(layout.depth, 3U);
  EXPECT_GT(layout.nodes.size(), 1600U);
  EXPECT_LT(layout.nodes.size(), 1800U);
  auto db = archive_test::open_ok(dir.write("large.dat", b));
  ASSERT_TRUE(db);
  ASSERT_EQ(db->files().size(), files.size());
  for (std::size_t i = 0; i < files.size(); i += 4999) {
    auto got = db->get_file(files[i].id);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, files[i].content);
  }
}

}  // namespace
