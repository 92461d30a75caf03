#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <new>
#include <regex>
#include <string>
#include <vector>

#include "dat_writer/record_bytes.hpp"
#include "quorvane_dat/file_type/combat_maneuver_table.hpp"

// The largest single allocation made while a test watches, so that "no
// reservation from the count" is observed rather than assumed.
namespace {
std::atomic<std::size_t> largest_allocation{0};
}  // namespace

void* operator new(std::size_t size) {
  std::size_t seen = largest_allocation.load(std::memory_order_relaxed);
  while (size > seen && !largest_allocation.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace quorvane_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes record(std::uint32_t id, std::uint32_t count, const std::vector<CombatManeuver>& rows) {
  return dat_writer::encode_maneuver_table(id, count, rows);
}

const std::vector<CombatManeuver> THREE_ROWS = {
    {0x80000040, 1, 0x04, 0, 0x10000140},
    {0x80000040, 1, 0x04, 25, 0x10000141},
    {0x8000003E, 3, 0x02, 0xFFFFFFFF, 0x10000142},
};

std::vector<std::string> frame_messages(const ParseError& error) {
  std::vector<std::string> messages;
  for (const ContextFrame& frame : error.frames()) messages.push_back(frame.message);
  return messages;
}

TEST(CombatManeuverTable, ReadsRowsInFileOrder) {
  const Bytes bytes = record(0x30000000, 3, THREE_ROWS);
  ByteReader reader(bytes);
  auto table = CombatManeuverTable::read(reader);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->id, 0x30000000U);
  EXPECT_EQ(table->combat_maneuvers, THREE_ROWS);
  EXPECT_EQ(reader.position(), 8U + 3 * 20);
}

TEST(CombatManeuverTable, SuccessfulReads) {
  struct Case {
    const char* label;
    Bytes bytes;
    std::uint32_t id;
    std::size_t rows;
    std::uint64_t end;
  };
  Bytes trailing = record(0x30000000, 2, {THREE_ROWS[0], THREE_ROWS[1]});
  trailing.insert(trailing.end(), {0xDE, 0xAD, 0xBE});
  const Case cases[] = {
      {"count zero", record(0x30000000, 0, {}), 0x30000000, 0, 8},
      {"trailing bytes ignored", trailing, 0x30000000, 2, 48},
      {"any id", record(0x0E000002, 1, {THREE_ROWS[2]}), 0x0E000002, 1, 28},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ByteReader reader(c.bytes);
    auto table = CombatManeuverTable::read(reader);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(table->id, c.id);
    EXPECT_EQ(table->combat_maneuvers.size(), c.rows);
    EXPECT_EQ(reader.position(), c.end);
  }
}

TEST(CombatManeuverTable, FailuresNameFieldsAndRestoreThePosition) {
  struct Case {
    const char* label;
    Bytes bytes;
    std::vector<std::string> frames;
    std::vector<const FieldSite*> sites;
  };
  Bytes fifty_four = record(0x30000000, 3, THREE_ROWS);
  fifty_four.resize(54);
  Bytes second_motion = record(0x30000000, 2, {THREE_ROWS[0], THREE_ROWS[1]});
  second_motion.resize(8 + 20 + 18);
  const Case cases[] = {
      {"empty record",
       {},
       {"While parsing field 'id' in CombatManeuverTable"},
       {&CombatManeuverTable::id_site}},
      {"four bytes",
       Bytes{0x00, 0x00, 0x00, 0x30},
       {"While parsing field 'num_combat_maneuvers' in CombatManeuverTable"},
       {&CombatManeuverTable::num_combat_maneuvers_site}},
      {"54 bytes with count 3",
       fifty_four,
       {"While parsing field 'attack_height' in CombatManeuver",
        "While parsing field 'combat_maneuvers' in CombatManeuverTable"},
       {&CombatManeuver::attack_height_site, &CombatManeuverTable::combat_maneuvers_site}},
      {"second row's motion",
       second_motion,
       {"While parsing field 'motion' in CombatManeuver",
        "While parsing field 'combat_maneuvers' in CombatManeuverTable"},
       {&CombatManeuver::motion_site, &CombatManeuverTable::combat_maneuvers_site}},
      {"count 0xFFFFFFFF over two rows",
       record(0x30000000, 0xFFFFFFFF, {THREE_ROWS[0], THREE_ROWS[1]}),
       {"While parsing field 'style' in CombatManeuver",
        "While parsing field 'combat_maneuvers' in CombatManeuverTable"},
       {&CombatManeuver::style_site, &CombatManeuverTable::combat_maneuvers_site}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ByteReader reader(c.bytes);
    auto table = CombatManeuverTable::read(reader);
    ASSERT_FALSE(table.has_value());
    EXPECT_EQ(table.error().first_error(), IoError::unexpected_eof());
    EXPECT_EQ(frame_messages(table.error()), c.frames);
    ASSERT_EQ(table.error().frames().size(), c.sites.size());
    for (std::size_t i = 0; i < c.sites.size(); ++i) {
      EXPECT_EQ(table.error().frames()[i].file, c.sites[i]->file);
      EXPECT_EQ(table.error().frames()[i].line, c.sites[i]->line);
    }
    EXPECT_EQ(reader.position(), 0U);
  }
}

TEST(CombatManeuverTable, HugeCountReservesNothing) {
  const Bytes bytes = record(0x30000000, 0xFFFFFFFF, {THREE_ROWS[0], THREE_ROWS[1]});
  ByteReader reader(bytes);
  largest_allocation = 0;
  auto table = CombatManeuverTable::read(reader);
  const std::size_t largest = largest_allocation;
  ASSERT_FALSE(table.has_value());
  EXPECT_LT(largest, 4096U);
}

TEST(CombatManeuverTable, ReadsFromTheReadersPosition) {
  Bytes bytes = {0xEE, 0xEE, 0xEE};
  const Bytes table_bytes = record(7, 1, {THREE_ROWS[1]});
  bytes.insert(bytes.end(), table_bytes.begin(), table_bytes.end());
  ByteReader reader(bytes);
  ASSERT_TRUE(reader.read_bytes(3).has_value());
  auto table = CombatManeuverTable::read(reader);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->id, 7U);
  EXPECT_EQ(table->combat_maneuvers, std::vector<CombatManeuver>{THREE_ROWS[1]});
  EXPECT_EQ(reader.position(), bytes.size());

  // A failure returns to where the record started, not to offset 0.
  const Bytes cut(bytes.begin(), bytes.end() - 1);
  ByteReader cut_reader(cut);
  ASSERT_TRUE(cut_reader.read_bytes(3).has_value());
  ASSERT_FALSE(CombatManeuverTable::read(cut_reader).has_value());
  EXPECT_EQ(cut_reader.position(), 3U);
}

TEST(CombatManeuver, RowReadAloneAndItsFailures) {
  const Bytes row_bytes = record(0, 0, {THREE_ROWS[2]});
  const Bytes row(row_bytes.begin() + 8, row_bytes.end());
  {
    ByteReader reader(row);
    auto read = CombatManeuver::read(reader);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, THREE_ROWS[2]);
    EXPECT_EQ(reader.position(), 20U);
  }
  const char* fields[] = {"style", "attack_height", "attack_type", "min_skill_level", "motion"};
  for (std::size_t cut = 0; cut < 20; ++cut) {
    SCOPED_TRACE(cut);
    const Bytes shortened(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(cut));
    ByteReader reader(shortened);
    auto read = CombatManeuver::read(reader);
    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(frame_messages(read.error()),
              std::vector<std::string>{std::string("While parsing field '") + fields[cut / 4] +
                                       "' in CombatManeuver"});
    EXPECT_EQ(reader.position(), 0U);
  }
}

TEST(CombatManeuverTable, FourByteRecordReport) {
  const Bytes bytes = {0x00, 0x00, 0x00, 0x30};
  ByteReader reader(bytes);
  auto table = CombatManeuverTable::read(reader);
  ASSERT_FALSE(table.has_value());
  const std::string report = table.error().report();
  const std::string location = "     at src/file_type/combat_maneuver_table.hpp:" +
                               std::to_string(CombatManeuverTable::num_combat_maneuvers_site.line) +
                               "\n";
  EXPECT_NE(report.find("Error: failed to fill whole buffer"), std::string::npos);
  EXPECT_NE(report.find("While parsing field 'num_combat_maneuvers' in CombatManeuverTable\x1b[22m"
                        "\x1b[22m\n" +
                        location),
            std::string::npos);
  EXPECT_EQ(report.find(" 1: "), std::string::npos);
}

// Every recorded site names the record's header, and its line holds the
// declaration of that field.
TEST(FieldSites, LinesHoldTheirFieldDeclarations) {
  const std::string header = "src/file_type/combat_maneuver_table.hpp";
  std::ifstream in(std::string(ARCHIVE_BASICS_SOURCE_DIR) + "/" + header);
  ASSERT_TRUE(in.good());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);

  const FieldSite* sites[] = {
      &CombatManeuver::style_site,
      &CombatManeuver::attack_height_site,
      &CombatManeuver::attack_type_site,
      &CombatManeuver::min_skill_level_site,
      &CombatManeuver::motion_site,
      &CombatManeuverTable::id_site,
      &CombatManeuverTable::num_combat_maneuvers_site,
      &CombatManeuverTable::combat_maneuvers_site,
  };
  for (const FieldSite* site : sites) {
    SCOPED_TRACE(std::string(site->field));
    EXPECT_EQ(site->file, header);
    ASSERT_GE(site->line, 1U);
    ASSERT_LE(site->line, lines.size());
    const std::string& line = lines[site->line - 1];
    const std::string field(site->field);
    if (field == "num_combat_maneuvers") {
      // Read but not kept: its site stands between the members around it.
      EXPECT_NE(line.find(field), std::string::npos);
      EXPECT_GT(site->line, CombatManeuverTable::id_site.line);
      EXPECT_LT(site->line, CombatManeuverTable::combat_maneuvers_site.line);
    } else {
      EXPECT_TRUE(std::regex_search(line, std::regex("^\\s*std::\\S+ " + field + "( = 0)?;"))) << line;
    }
  }
}

}  // namespace
}  // namespace quorvane_dat
