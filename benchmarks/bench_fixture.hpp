// What the archive benchmarks share: the synthetic archive, opened once,
// with the facts the benchmarks report (sizes, counts) and the opening
// baseline's read plan.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "benchmarks/node_read_plan.hpp"
#include "lib/dat_database.hpp"

namespace bench {

struct ArchiveFixture {
  std::filesystem::path path;
  std::optional<quorvane_dat::DatDatabase> database;
  std::vector<std::uint32_t> ids_by_offset;  // every file id, in archive order
  std::uint64_t stored_bytes = 0;            // sum of the entries' sizes
  std::uint64_t fetched_bytes = 0;           // sum of what get_file returns (decoded)
  std::uint64_t archive_length = 0;
  std::size_t compressed_files = 0;
  NodeReadPlan plan;
  std::string error;  // set when the fixture could not be made
};

// Made on first use; later calls return the same fixture.
const ArchiveFixture& archive_fixture();

}  // namespace bench
