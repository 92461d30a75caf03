// Fuzz harness: a combat maneuver table read from arbitrary bytes. A read
// either returns exactly the rows the bytes hold or fails with the reader back
// at the record's start; a huge row count over a short record fails without a
// huge allocation.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/support/fuzz_check.hpp"
#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"

namespace {

std::uint32_t u32_at(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  quorvane_dat::ByteReader reader(bytes);
  auto table = quorvane_dat::CombatManeuverTable::read(reader);

  const bool counted = size >= 8;
  const std::uint64_t count = counted ? u32_at(data + 4) : 0;
  const bool complete = counted && 8 + 20 * count <= size;
  if (!table) {
    FUZZ_CHECK(!complete, "a record holding all its rows reads");
    FUZZ_CHECK(reader.position() == 0, "a failed read returns to the record's start");
    FUZZ_CHECK(!table.error().report().empty(), "a failure renders a report");
    return 0;
  }
  FUZZ_CHECK(complete, "a read succeeds only when every counted row is present");
  FUZZ_CHECK(table->id == u32_at(data), "the id is kept as read");
  FUZZ_CHECK(table->combat_maneuvers.size() == count, "one row per count");
  FUZZ_CHECK(reader.position() == 8 + 20 * count, "the reader stops after the last row");
  for (std::size_t k = 0; k < table->combat_maneuvers.size(); ++k) {
    const auto& row = table->combat_maneuvers[k];
    const std::uint8_t* at = data + 8 + 20 * k;
    FUZZ_CHECK(row.style == u32_at(at) && row.attack_height == u32_at(at + 4) &&
                   row.attack_type == u32_at(at + 8) && row.min_skill_level == u32_at(at + 12) &&
                   row.motion == u32_at(at + 16),
               "rows are kept as read, in file order");
  }
  return 0;
}
