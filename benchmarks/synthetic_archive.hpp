// The benchmarks' archive: a synthetic portal.dat at the scale of a real
// client archive, laid out by the project's archive writer. It is generated
// once per parameter set and kept on disk (its file name spells the
// parameters), so later runs only open it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace bench {

struct ArchiveParams {
  std::uint32_t file_count = 100000;
  std::uint32_t block_size = 1024;
  std::uint32_t compressed_percent = 10;  // of the files up to MAX_COMPRESSED_SIZE
  std::uint32_t scattered_percent = 2;    // files whose chains are not contiguous
  std::uint64_t seed = 0x5EED;

  // Encodes every parameter and the generator's revision.
  std::string cache_name() const;
};

// Largest body stored compressed; larger bodies are stored as they are.
inline constexpr std::uint32_t MAX_COMPRESSED_SIZE = 64 * 1024;

// Where the archives are kept: $QUORVANE_BENCH_DATA when set, otherwise the
// directory fixed when the benchmarks were configured.
std::filesystem::path data_directory();

// The archive's path, generated first when it is not yet on disk. Throws
// std::runtime_error when it cannot be written.
std::filesystem::path synthetic_archive(const ArchiveParams& params = {});

// The size of stored body number `index` (log-uniform: mostly 16 B to 16 KiB,
// one in two hundred 16 KiB to 1 MiB, the last one exactly 1 MiB).
std::uint32_t body_size(const ArchiveParams& params, std::uint32_t index);

}  // namespace bench
