// The directory walk at opening: order, which slots are visited, entry
// counts, failures passed up, and the refusals of cycles and runaway walks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "archive_test_support.hpp"

namespace {

using archive_test::Bytes;
using archive_test::TempDir;
using dat_writer::ArchiveBuilder;
using dat_writer::ChainShape;
using dat_writer::Node;
using quorvane_dat::DatFileEntry;

constexpr std::uint32_t BEYOND = 0xFFFF0000;  // an offset past the end of every test archive

DatFileEntry entry(std::uint32_t id, std::uint32_t version = 0) {
  DatFileEntry e;
  e.id = id;
  e.offset = 0x190;
  e.size = 1;
  e.version = version;
  return e;
}

Node leaf(std::initializer_list<DatFileEntry> entries) {
  Node n;
  n.entries = entries;
  return n;
}

std::string hex8(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
  return text;
}

class DirectoryWalk : public ::testing::Test {
 protected:
  std::optional<quorvane_dat::DatDatabase> open(const ArchiveBuilder& b) {
    return archive_test::open_ok(dir_.write("dir.dat", b));
  }
  // `file_length` beyond the written bytes extends the file sparsely.
  std::optional<quorvane_dat::DatError> fail(const ArchiveBuilder& b, std::uint64_t file_length = 0) {
    const auto path = dir_.write("dir.dat", b);
    if (file_length > b.size()) {
      EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(file_length)), 0);
    }
    return archive_test::open_error(path);
  }
  TempDir dir_;
};

TEST_F(DirectoryWalk, RootWithoutEntriesOrChildrenGivesAnEmptyIndex) {
  ArchiveBuilder b(2048);
  b.set_root(b.add_node(Node{}));
  auto db = open(b);
  ASSERT_TRUE(db);
  EXPECT_TRUE(db->files().empty());
}

TEST_F(DirectoryWalk, ChildEntriesWinOverTheirParentsAndLaterSlotsOverEarlier) {
  ArchiveBuilder b(2048);
  const std::uint32_t first = b.add_node(leaf({entry(5, 2), entry(6, 1), entry(8, 1)}));
  const std::uint32_t second = b.add_node(leaf({entry(6, 2)}));
  Node root = leaf({entry(5, 1), entry(7, 1), entry(7, 2)});
  root.branches[0] = first;
  root.branches[1] = second;
  b.set_root(b.add_node(root));
  auto db = open(b);
  ASSERT_TRUE(db);
  const auto& files = db->files();
  ASSERT_EQ(files.size(), 4U);
  EXPECT_EQ(files.find(5)->version, 2U) << "the child is reached after its parent";
  EXPECT_EQ(files.find(6)->version, 2U) << "slot 1's subtree is reached after slot 0's";
  EXPECT_EQ(files.find(7)->version, 2U) << "the later entry of one node wins";
  EXPECT_EQ(files.find(8)->version, 1U);
}

// Which branch slots a node's walk visits, for a row of slot patterns: each
// visited non-zero slot names a leaf holding the slot's number as an id;
// slots that must not be visited point past the end of the archive. The node
// sits below a chain of `depth` single-child ancestors.
TEST_F(DirectoryWalk, VisitsOnlyTheSlotsItsEntryCountUses) {
  const struct {
    const char* name;
    std::uint32_t entry_count;
    std::vector<int> valid;          // slots naming a real child
    std::vector<int> beyond;         // slots naming an offset past the end
    std::vector<std::uint32_t> ids;  // child ids expected in the index
    std::uint32_t depth;
  } cases[] = {
      {"entry_count 0 visits slot 0 only", 0, {0, 1}, {2}, {100}, 0},
      {"entry_count 3 visits slots 0 to 3",
       3,
       {0, 1, 2, 3},
       {4, 5, 6, 7, 8, 9, 10},
       {100, 101, 102, 103},
       0},
      {"slot 0 empty makes a leaf", 3, {1, 2}, {3}, {}, 0},
      {"an empty slot is skipped", 3, {0, 1, 3}, {4}, {100, 101, 103}, 0},
      {"61 entries visit all 62 slots", 61, {0, 30, 61}, {}, {100, 130, 161}, 0},
      // Below the cached levels the node is read again for each next child.
      {"a node 20 levels down visits every child", 3, {0, 1, 3}, {4}, {100, 101, 103}, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ArchiveBuilder b(2048);
    Node root;
    for (const int slot : c.valid) {
      root.branches[static_cast<std::size_t>(slot)] =
          b.add_node(leaf({entry(100 + static_cast<std::uint32_t>(slot))}));
    }
    for (const int slot : c.beyond) root.branches[static_cast<std::size_t>(slot)] = BEYOND;
    for (std::uint32_t i = 0; i < c.entry_count; ++i) root.entries.push_back(entry(1000 + i));
    std::uint32_t top = b.add_node(root);
    for (std::uint32_t level = 0; level < c.depth; ++level) {
      Node above;
      above.branches[0] = top;
      top = b.add_node(above);
    }
    b.set_root(top);
    auto db = open(b);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->files().size(), c.entry_count + c.ids.size());
    for (const std::uint32_t id : c.ids) EXPECT_EQ(db->files().count(id), 1U) << id;
  }
}

TEST_F(DirectoryWalk, NodeOfSixtyOneEntriesReadsThemAll) {
  ArchiveBuilder b(2048);
  Node root;
  for (std::uint32_t i = 0; i < 61; ++i) root.entries.push_back(entry(i + 1, i));
  b.set_root(b.add_node(root, ChainShape::Scattered));
  auto db = open(b);
  ASSERT_TRUE(db);
  ASSERT_EQ(db->files().size(), 61U);
  EXPECT_EQ(*db->files().find(61), entry(61, 60));
}

TEST_F(DirectoryWalk, NodeClaimingMoreThanSixtyOneEntriesFailsAtItsBitFlags) {
  for (const std::uint32_t count : {62U, 63U, 0xFFFFFFFFU}) {
    SCOPED_TRACE(count);
    ArchiveBuilder b(2048);
    Node root;
    for (std::uint32_t i = 0; i < 61; ++i) root.entries.push_back(entry(i + 1));
    root.entry_count = count;
    b.set_root(b.add_node(root));
    auto error = fail(b);
    ASSERT_TRUE(error);
    const auto& site = DatFileEntry::bit_flags_site;
    const std::string report = archive_test::one_frame_report(
        "failed to fill whole buffer", "While parsing field 'bit_flags' in DatFileEntry", site.file,
        site.line);
    EXPECT_EQ(error->display(), "Binary read error: " + report);
    EXPECT_EQ(error->debug(), "BinRead(" + report + ")");
  }
}

TEST_F(DirectoryWalk, UnreadableNodesFailOpeningWithTheChainError) {
  const struct {
    const char* name;
    bool root_beyond;
    bool child_beyond;
  } cases[] = {{"root past the end", true, false}, {"grandchild past the end", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ArchiveBuilder b(2048);
    Node child = leaf({entry(2)});
    if (c.child_beyond) child.branches[0] = BEYOND;
    Node root = leaf({entry(1)});
    root.branches[0] = b.add_node(child);
    b.set_root(c.root_beyond ? BEYOND : b.add_node(root));
    auto error = fail(b);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->display(), "IO error: failed to fill whole buffer");
    EXPECT_EQ(error->debug(),
              "Io(Error { kind: UnexpectedEof, message: \"failed to fill whole buffer\" })");
  }
}

// A directory is a tree: a node named again after its subtree was left, by
// a sibling slot or by another parent, is refused rather than walked again.
TEST_F(DirectoryWalk, NodeReachedTwiceIsRefused) {
  for (const bool other_parent : {false, true}) {
    SCOPED_TRACE(other_parent ? "named by another parent" : "named twice by one parent");
    ArchiveBuilder b(2048);
    const std::uint32_t shared = b.add_node(leaf({entry(7, 1)}));
    Node other = leaf({entry(8)});
    if (other_parent) other.branches[0] = shared;
    Node root = leaf({entry(1), entry(2)});
    root.branches[0] = shared;
    root.branches[1] = b.add_node(other);
    if (!other_parent) root.branches[2] = shared;
    b.set_root(b.add_node(root));
    auto error = fail(b);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->display(),
              "Corruption detected: directory node 0x" + hex8(shared) + " is reached twice");
  }
}

TEST_F(DirectoryWalk, BranchBackToANodeOnThePathIsACycle) {
  const struct {
    const char* name;
    int depth;   // nodes in the chain root -> ... -> last
    int target;  // which node the last one points back to
  } cases[] = {{"node naming itself", 1, 0},
               {"child naming the root", 2, 0},
               {"deep node naming its grandparent", 5, 2},
               // The marks of the path survive the growth of the set of nodes seen.
               {"node 40 levels down naming the root", 40, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ArchiveBuilder b(2048);
    std::vector<std::uint32_t> nodes(static_cast<std::size_t>(c.depth));
    for (int i = c.depth - 1; i >= 0; --i) {
      Node n = leaf({entry(static_cast<std::uint32_t>(i))});
      if (i + 1 < c.depth)
        n.branches[0] = nodes[static_cast<std::size_t>(i) + 1];
      else
        n.branches[0] = 0xEEEEEEEE;  // patched below, once the target is known
      nodes[static_cast<std::size_t>(i)] = b.add_node(n);
    }
    const std::uint32_t target = nodes[static_cast<std::size_t>(c.target)];
    b.set_branch(nodes.back(), 0, target);
    b.set_root(nodes.front());
    auto error = fail(b);
    ASSERT_TRUE(error);
    const std::string text = "directory cycle: node 0x" + hex8(target) + " is its own ancestor";
    EXPECT_EQ(error->display(), "Corruption detected: " + text);
    EXPECT_EQ(error->debug(), "Corruption(\"" + text + "\")");
  }
}

// Nodes packed 16 bytes apart, each naming the next: more distinct nodes
// than an archive of that length could hold apart, so the walk stops once it
// has read that many. A sparse tail beyond what 32-bit offsets reach buys no
// further reads.
TEST_F(DirectoryWalk, RunawayWalkIsRefusedByTheAddressableLength) {
  const struct {
    std::uint32_t levels;
    std::uint64_t file_length;  // 0: as written
    std::uint64_t counted;      // 0: the file's length
  } cases[] = {{4000, 0, 0}, {2600000, std::uint64_t{64} << 30, (std::uint64_t{1} << 32) + 2048}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.levels);
    ArchiveBuilder b(2048);
    b.pad_to(dat_writer::DATA_START);
    const auto first = static_cast<std::uint32_t>(b.size());
    b.pad_to(first + std::uint64_t{c.levels} * 16 + quorvane_dat::NODE_SIZE);
    for (std::uint32_t i = 0; i + 1 < c.levels; ++i)
      b.write_u32(first + i * 16 + 4, first + (i + 1) * 16);
    b.set_root(first);
    const std::uint64_t counted = c.counted != 0 ? c.counted : b.size();
    auto error = fail(b, c.file_length);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->display(), "Corruption detected: directory walk needs more than " +
                                    std::to_string(counted / quorvane_dat::NODE_SIZE + 1) +
                                    " node reads, more than an archive of " + std::to_string(counted) +
                                    " bytes can hold");
  }
}

// 100 000 levels: the walk keeps its own stack, not the thread's.
TEST_F(DirectoryWalk, VeryDeepTreeOpensWithoutRecursion) {
  constexpr std::uint32_t DEPTH = 100000;
  ArchiveBuilder b(2048);
  std::uint32_t below = 0;
  for (std::uint32_t level = DEPTH; level-- > 0;) {
    Node n = leaf({entry(level, level)});
    n.branches[0] = below;
    below = b.add_node(n, ChainShape::SingleRun);
  }
  b.set_root(below);
  auto db = open(b);
  ASSERT_TRUE(db);
  ASSERT_EQ(db->files().size(), DEPTH);
  EXPECT_EQ(db->files().find(DEPTH - 1)->version, DEPTH - 1);
}

}  // namespace
