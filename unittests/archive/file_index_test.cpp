// The directory index against a std::unordered_map model: same lookups and
// sizes after any mix of inserts and replacements, first-insertion order kept.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "quorvane_dat/lib/file_index.hpp"

namespace {

using quorvane_dat::DatFileEntry;
using quorvane_dat::FileIndex;

DatFileEntry entry(std::uint32_t id, std::uint32_t version) {
  DatFileEntry e;
  e.id = id;
  e.offset = id ^ 0x5A5A5A5AU;
  e.size = version * 3;
  e.version = version;
  return e;
}

TEST(FileIndex, EmptyIndexFindsNothing) {
  const FileIndex index;
  EXPECT_TRUE(index.empty());
  EXPECT_EQ(index.size(), 0U);
  EXPECT_EQ(index.find(0), nullptr);
  EXPECT_FALSE(index.contains(0xFFFFFFFFU));
  EXPECT_EQ(index.begin(), index.end());
}

TEST(FileIndex, ReplacingKeepsOneEntryPerIdInFirstInsertionOrder) {
  FileIndex index;
  index.insert_or_assign(entry(0xFFFFFFFFU, 1));
  index.insert_or_assign(entry(0, 1));
  index.insert_or_assign(entry(7, 1));
  index.insert_or_assign(entry(0, 2));  // replaces, stays second
  ASSERT_EQ(index.size(), 3U);
  EXPECT_EQ(index.find(0)->version, 2U);
  EXPECT_EQ(index.count(0xFFFFFFFFU), 1U);
  std::vector<std::uint32_t> order;
  for (const auto& [id, e] : index) {
    EXPECT_EQ(id, e.id);
    order.push_back(id);
  }
  EXPECT_EQ(order, (std::vector<std::uint32_t>{0xFFFFFFFFU, 0, 7}));
}

// Ids that agree in their low bits, or that differ only in high bits, are
// the shapes a weak hash piles into one probe run; they must all stay found.
TEST(FileIndex, MatchesAMapModelOverStructuredAndRandomIds) {
  std::vector<std::uint32_t> ids;
  for (std::uint32_t i = 0; i < 3000; ++i) ids.push_back(i << 20);          // low bits equal
  for (std::uint32_t i = 0; i < 3000; ++i) ids.push_back(0x0A000000U + i);  // sequential
  std::mt19937 rng(12345);
  for (int i = 0; i < 6000; ++i) ids.push_back(static_cast<std::uint32_t>(rng()));
  for (int i = 0; i < 4000; ++i) ids.push_back(ids[rng() % ids.size()]);  // replacements

  for (const bool reserved : {false, true}) {
    FileIndex index;
    if (reserved) index.reserve(ids.size());
    std::unordered_map<std::uint32_t, DatFileEntry> model;
    std::uint32_t version = 0;
    for (const std::uint32_t id : ids) {
      const DatFileEntry e = entry(id, ++version);
      index.insert_or_assign(e);
      model.insert_or_assign(id, e);
    }
    ASSERT_EQ(index.size(), model.size()) << reserved;
    for (const auto& [id, e] : model) {
      const DatFileEntry* found = index.find(id);
      ASSERT_NE(found, nullptr) << id;
      EXPECT_EQ(*found, e) << id;
    }
    std::size_t iterated = 0;
    for (const auto& [id, e] : index) {
      ++iterated;
      EXPECT_EQ(model.at(id), e);
    }
    EXPECT_EQ(iterated, model.size());
    for (std::uint32_t probe = 1; probe < 2000; probe += 2) {
      EXPECT_EQ(index.contains(probe << 20), model.count(probe << 20) == 1) << probe;
    }
  }
}

TEST(FileIndex, MovingHandsOverTheEntriesAndEmptiesTheSource) {
  FileIndex a;
  for (std::uint32_t id = 0; id < 1500; ++id) a.insert_or_assign(entry(id * 7, id));
  FileIndex b(std::move(a));
  EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): the moved-from state is specified
  EXPECT_EQ(a.find(7), nullptr);
  ASSERT_EQ(b.size(), 1500U);
  EXPECT_EQ(b.find(7 * 1499)->version, 1499U);
  FileIndex c;
  c.insert_or_assign(entry(1, 1));
  c = std::move(b);
  EXPECT_EQ(c.size(), 1500U);
  EXPECT_FALSE(c.contains(1));
  a.insert_or_assign(entry(5, 5));  // a moved-from index is usable again
  EXPECT_EQ(a.size(), 1U);
  EXPECT_EQ(a.find(5)->version, 5U);
}

TEST(FileIndex, EqualityIgnoresOrderButNotContent) {
  FileIndex a;
  FileIndex b;
  for (std::uint32_t id = 0; id < 100; ++id) a.insert_or_assign(entry(id, 1));
  for (std::uint32_t id = 100; id-- > 0;) b.insert_or_assign(entry(id, 1));
  EXPECT_EQ(a, b);
  b.insert_or_assign(entry(42, 9));
  EXPECT_NE(a, b);
  b.insert_or_assign(entry(42, 1));
  b.insert_or_assign(entry(1000, 1));
  EXPECT_NE(a, b);
}

}  // namespace
