// Fuzz harness: an archive made of arbitrary bytes is opened and every file
// of its directory is fetched. Whatever the bytes, opening and fetching end
// in a value or an error, and a fetch agrees with the block chain it reads.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/support/fuzz_check.hpp"
#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"

namespace {

using quorvane_dat::COMBAT_MANEUVER_TABLE_ID;

// Renders an error both ways; rendering must work for every error produced.
void render(const quorvane_dat::DatError& error) {
  FUZZ_CHECK(!error.display().empty(), "display form of an error");
  FUZZ_CHECK(!error.debug().empty(), "debug form of an error");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto database = quorvane_dat::DatDatabase::from_memory(std::span(data, size));
  if (!database) {
    render(database.error());
    FUZZ_CHECK(database.error().as<quorvane_dat::DatError::NotFound>() == nullptr,
               "opening never reports a missing file id");
    return 0;
  }
  FUZZ_CHECK(database->archive_length() == size, "archive length taken at opening");

  std::uint32_t absent_id = 0;
  for (const auto& [id, entry] : database->files()) {
    FUZZ_CHECK(id == entry.id, "index key is the entry's id");
    if (id == absent_id) ++absent_id;

    auto fetched = database->get_file(id);
    if (!fetched) {
      render(fetched.error());
      FUZZ_CHECK(fetched.error().as<quorvane_dat::DatError::NotFound>() == nullptr,
                 "an indexed id is found");
      continue;
    }
    auto stored = database->read_file_data(entry.offset, entry.size);
    FUZZ_CHECK(stored.has_value(), "a chain that fetched once reads again");
    FUZZ_CHECK(stored->size() == entry.size, "a chain read gathers exactly size bytes");
    if (entry.is_compressed()) {
      FUZZ_CHECK(*fetched == quorvane_dat::decompress_lrs(*stored),
                 "a compressed fetch is the decoded chain");
    } else {
      FUZZ_CHECK(*fetched == *stored, "an uncompressed fetch is the chain's bytes");
    }

    if (id == COMBAT_MANEUVER_TABLE_ID) {
      quorvane_dat::ByteReader reader(*fetched);
      auto table = quorvane_dat::CombatManeuverTable::read(reader);
      if (!table) (void)table.error().report();
    }
  }

  // Some id is absent from every index that is not all 2^32 ids; the walk
  // above moved absent_id past each id it met, so check it is really absent.
  if (database->files().count(absent_id) == 0) {
    auto missing = database->get_file(absent_id);
    FUZZ_CHECK(!missing && missing.error().as<quorvane_dat::DatError::NotFound>() != nullptr,
               "an id outside the index is NotFound");
  }
  return 0;
}
