// The sample archive tool: determinism, the shape of the retail archive as
// the archive reader sees it, its variants and its command line.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dat_writer/dat_writer.hpp"
#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"
#include "tools/portal_dat_sample/maneuver_rows.hpp"
#include "tools/portal_dat_sample/sample_archive.hpp"
#include "tools/portal_dat_sample/sample_variant.hpp"
#include "unittests/audit/audit_e2e_support.hpp"

namespace {

using portal_dat_sample::SampleOptions;
using portal_dat_sample::Variant;

TEST(SampleArchive, SameSeedSameBytesOtherSeedOtherBytes) {
  SampleOptions options;
  options.filler_files = 300;
  const auto first = portal_dat_sample::build_sample_archive(options);
  EXPECT_EQ(portal_dat_sample::build_sample_archive(options), first);
  options.seed += 1;
  EXPECT_NE(portal_dat_sample::build_sample_archive(options), first);
}

TEST(SampleArchive, RetailArchiveAsTheReaderSeesIt) {
  const audit_e2e::ScratchDir dir;
  const auto path = dir.path() / "portal.dat";
  portal_dat_sample::write_sample_archive(path, SampleOptions{});
  auto database = quorvane_dat::DatDatabase::new_(path);
  ASSERT_TRUE(database.has_value()) << database.error().debug();

  // Every filler file, the table's two neighbours and the table itself.
  EXPECT_EQ(database->files().size(), portal_dat_sample::DEFAULT_FILLER_FILES + 3);
  EXPECT_EQ(database->header().block_size, portal_dat_sample::SAMPLE_BLOCK_SIZE);
  std::size_t compressed = 0;
  for (const auto& [id, entry] : database->files()) compressed += entry.is_compressed() ? 1 : 0;
  EXPECT_GT(compressed, database->files().size() / 5);
  EXPECT_LT(compressed, database->files().size() / 2);

  // The table is compressed and longer than one block's payload.
  const auto& table_entry = *database->files().find(portal_dat_sample::COMBAT_MANEUVER_TABLE_ID);
  EXPECT_TRUE(table_entry.is_compressed());
  EXPECT_GT(table_entry.size, 2 * (portal_dat_sample::SAMPLE_BLOCK_SIZE - 4));
  auto bytes = database->get_file(portal_dat_sample::COMBAT_MANEUVER_TABLE_ID);
  ASSERT_TRUE(bytes.has_value()) << bytes.error().debug();
  EXPECT_EQ(*bytes, portal_dat_sample::table_record(Variant::Retail));

  quorvane_dat::ByteReader reader(*bytes);
  auto table = quorvane_dat::CombatManeuverTable::read(reader);
  ASSERT_TRUE(table.has_value());
  std::set<std::uint32_t> stances;
  for (const auto& row : table->combat_maneuvers) stances.insert(row.style);
  EXPECT_GE(stances.size(), 5u);
  EXPECT_TRUE(stances.contains(portal_dat_sample::SWORD_SHIELD_COMBAT));
}

TEST(SampleArchive, DirectoryOfManyNodesOverThreeLevels) {
  dat_writer::ArchiveBuilder builder(portal_dat_sample::SAMPLE_BLOCK_SIZE);
  std::vector<dat_writer::DatFileEntry> entries;
  for (std::uint32_t i = 0; i < 4003; ++i) {
    dat_writer::DatFileEntry entry;
    entry.id = 0x01000000u + 3 * (4003 - i);  // unsorted on purpose
    entries.push_back(entry);
  }
  const dat_writer::DirectoryTree tree = dat_writer::write_directory(builder, entries);
  builder.set_root(tree.root);
  EXPECT_GE(tree.nodes.size(), 60u);

  const audit_e2e::ScratchDir dir;
  builder.write_file(dir.path() / "tree.dat");
  auto database = quorvane_dat::DatDatabase::new_(dir.path() / "tree.dat");
  ASSERT_TRUE(database.has_value()) << database.error().debug();
  EXPECT_EQ(database->files().size(), entries.size());
  for (const auto& entry : entries) EXPECT_TRUE(database->files().contains(entry.id));
}

TEST(SampleArchive, ContiguousChainsReadBackWhole) {
  dat_writer::ArchiveBuilder builder(64);
  std::vector<std::uint32_t> offsets;
  const std::vector<std::size_t> sizes{0, 1, 59, 60, 61, 120, 121, 1000};
  std::vector<dat_writer::Bytes> contents;
  for (const std::size_t size : sizes) {
    dat_writer::Bytes content(size);
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<std::uint8_t>(i * 7 + size);
    offsets.push_back(builder.add_chain(content, dat_writer::ChainShape::Contiguous));
    contents.push_back(std::move(content));
  }
  const audit_e2e::ScratchDir dir;
  builder.write_file(dir.path() / "chains.dat");
  auto database = quorvane_dat::DatDatabase::new_(dir.path() / "chains.dat");
  ASSERT_TRUE(database.has_value());
  for (std::size_t k = 0; k < sizes.size(); ++k) {
    auto read = database->read_file_data(offsets[k], static_cast<std::uint32_t>(sizes[k]));
    ASSERT_TRUE(read.has_value()) << sizes[k];
    EXPECT_EQ(*read, contents[k]) << sizes[k];
  }
}

TEST(SampleVariants, NamesAreUniqueAndFoundAgain) {
  std::set<std::string_view> names;
  for (const auto& info : portal_dat_sample::all_variants()) {
    EXPECT_TRUE(names.insert(info.name).second) << info.name;
    EXPECT_EQ(portal_dat_sample::find_variant(info.name), info.variant);
    EXPECT_EQ(portal_dat_sample::variant_name(info.variant), info.name);
    EXPECT_FALSE(info.description.empty());
  }
  EXPECT_EQ(names.size(), 15u);
  EXPECT_EQ(portal_dat_sample::all_variants().front().variant, Variant::Retail);
  EXPECT_FALSE(portal_dat_sample::find_variant("Retail").has_value());
}

TEST(SampleTool, CommandLine) {
  const std::string tool = QUORVANE_SAMPLE_TOOL_EXE;
  const auto listed = test_support::run_process({tool, "--list-variants"});
  EXPECT_EQ(listed.status, 0);
  for (const auto& info : portal_dat_sample::all_variants()) {
    EXPECT_NE(listed.out.find(std::string(info.name) + " "), std::string::npos) << info.name;
  }

  const audit_e2e::ScratchDir dir;
  const auto unknown = test_support::run_process({tool, "--variant", "nope", "x.dat"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown variant 'nope'"), std::string::npos) << unknown.err;
  EXPECT_EQ(test_support::run_process({tool}).status, 2);
  EXPECT_EQ(test_support::run_process({tool, "--filler-files", "12x", "a.dat"}).status, 2);

  const auto path = (dir.path() / "nested" / "portal.dat").string();
  const auto wrote =
      test_support::run_process({tool, "--variant", "short-table", "--filler-files", "50", path});
  EXPECT_EQ(wrote.status, 0) << wrote.err;
  auto database = quorvane_dat::DatDatabase::new_(path);
  ASSERT_TRUE(database.has_value());
  auto bytes = database->get_file(portal_dat_sample::COMBAT_MANEUVER_TABLE_ID);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(bytes->size(), 4u);

  // An output path that cannot be created is reported, not crashed on.
  const auto blocked = test_support::run_process({tool, "--filler-files", "10", path + "/sub.dat"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("cannot write"), std::string::npos) << blocked.err;
}

}  // namespace
