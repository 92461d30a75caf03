#include "unittests/hostile/hostile_cases.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "unittests/hostile/hostile_archives.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace hostile {

namespace {

constexpr const char* kPassLine = "test shield_stance_has_three_backhand_rows ... ok";

}  // namespace

void write_case_archive(const AuditCase& c, const std::filesystem::path& path) {
  const dat_writer::Bytes bytes = c.archive();
  test_support::write_file(path, bytes);
  if (c.file_length > bytes.size() && ::truncate(path.c_str(), static_cast<off_t>(c.file_length)) != 0) {
    throw std::runtime_error("cannot extend " + path.string());
  }
}

std::vector<AuditCase> audit_cases() {
  return {
      {"empty file", "empty", [] { return dat_writer::Bytes{}; }, 101,
       "While parsing field 'magic' in DatHeader"},
      {"header cut inside version_string", "cut_0x180", [] { return truncated_header(0x180); }, 101,
       "While parsing field 'version_string' in DatHeader"},
      {"header cut inside version_minor", "cut_0x18f", [] { return truncated_header(0x18F); }, 101,
       "While parsing field 'version_minor' in DatHeader"},
      {"root node beyond the end", "root_beyond_end", root_beyond_end, 101,
       "open portal.dat: Io(Error { kind: UnexpectedEof"},
      {"node chain that loops", "node_chain_loop", node_chain_loop, 0, kPassLine},
      {"directory cycle", "directory_cycle", directory_cycle, 101, "is its own ancestor"},
      {"node named twice at each of 40 levels", "doubled_tree_40", [] { return doubled_tree(40); }, 101,
       "is reached twice"},
      {"6 levels naming the next in all 62 slots, 64 GiB sparse", "shared_levels_64g",
       [] { return shared_node_levels(6); }, 101, "is reached twice", std::uint64_t{64} << 30},
      {"1000000 levels packed 12 bytes apart, 4 GiB sparse", "packed_million_4g",
       [] { return packed_deep_tree(1000000, 12); }, 101, "File ID 30000000 not found in provider",
       std::uint64_t{4} << 30},
      {"16 MiB compressed body claiming 4 GiB", "long_body_4g",
       [] { return long_body_claims_4gib(16 << 20); }, 0, kPassLine},
      {"100000 levels packed", "packed_deep_tree", [] { return packed_deep_tree(100000); }, 101,
       "directory walk needs more than"},
      {"entry_count 0xFFFFFFFF", "entry_count_4g", [] { return claimed_entries(0xFFFFFFFF); }, 101,
       "While parsing field 'bit_flags' in DatFileEntry"},
      {"block_size 0", "block_size_0", [] { return with_block_size(0, false); }, 101,
       "block_size 0 is too small to follow"},
      {"block_size 4", "block_size_4", [] { return with_block_size(4, false); }, 101,
       "block_size 4 is too small to follow"},
      {"block_size 0, single-run chains", "block_size_0_single_run",
       [] { return with_block_size(0, true); }, 0, kPassLine},
      {"root offset 0xFFFFFFFF", "root_0xffffffff", [] { return root_at(0xFFFFFFFF); }, 101,
       "leaves no room for a payload below 4 GiB"},
      {"table offset 0xFFFFFFFE", "table_offset_0xfffffffe", [] { return table_entry(0xFFFFFFFE, 68); },
       101, "read CombatManeuverTable 0x30000000: Corruption detected: block offset 0xFFFFFFFE"},
      {"table size 4 GiB - 1", "table_size_4g", [] { return table_entry(0x400, 0xFFFFFFFF); }, 101,
       "read CombatManeuverTable 0x30000000: Corruption detected: file 0x30000000 claims "
       "4294967295 bytes"},
      {"compressed body claiming 4 GiB", "compressed_4g", compressed_claims_4gib, 0, kPassLine},
      {"table claiming 0xFFFFFFFF rows", "table_rows_4g", table_rows_claimed_4g, 101,
       "While parsing field 'combat_maneuvers' in CombatManeuverTable"},
  };
}

}  // namespace hostile
