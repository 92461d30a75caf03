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
#include "quorvane_dat/lib/dat_database.hpp"

namespace bench {

// The archive file mapped and locked in memory, so that its pages stay in the
// page cache for the whole run: every benchmark (and the sequential-read
// baseline) then reads from memory, even on a machine that reclaims the page
// cache quickly. Unlocked and unmapped on destruction.
class PinnedFile {
 public:
  PinnedFile() = default;
  explicit PinnedFile(const std::filesystem::path& path);
  PinnedFile(PinnedFile&& other) noexcept;
  PinnedFile& operator=(PinnedFile&& other) noexcept;
  PinnedFile(const PinnedFile&) = delete;
  PinnedFile& operator=(const PinnedFile&) = delete;
  ~PinnedFile();

  bool pinned() const noexcept { return pinned_; }

 private:
  void* address_ = nullptr;
  std::size_t length_ = 0;
  bool pinned_ = false;
};

struct ArchiveFixture {
  std::filesystem::path path;
  std::optional<quorvane_dat::DatDatabase> database;
  std::vector<std::uint32_t> ids_by_offset;  // every file id, in archive order
  std::uint64_t stored_bytes = 0;            // sum of the entries' sizes
  std::uint64_t fetched_bytes = 0;           // sum of what get_file returns (decoded)
  std::uint64_t archive_length = 0;
  std::size_t compressed_files = 0;
  NodeReadPlan plan;
  PinnedFile pinned;
  std::string error;  // set when the fixture could not be made
};

// Made on first use; later calls return the same fixture.
const ArchiveFixture& archive_fixture();

}  // namespace bench
