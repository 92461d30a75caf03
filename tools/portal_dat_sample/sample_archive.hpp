// Assembling the sample portal.dat: filler files, the combat maneuver table
// and a balanced directory tree over them, altered as the variant asks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "dat_writer/dat_writer.hpp"
#include "tools/portal_dat_sample/sample_variant.hpp"

namespace portal_dat_sample {

inline constexpr std::uint32_t SAMPLE_BLOCK_SIZE = 256;
inline constexpr std::size_t DEFAULT_FILLER_FILES = 4000;
inline constexpr std::uint64_t DEFAULT_SEED = 0x51A4D5EEDull;

struct SampleOptions {
  Variant variant = Variant::Retail;
  std::size_t filler_files = DEFAULT_FILLER_FILES;
  std::uint64_t seed = DEFAULT_SEED;
};

// The archive's bytes.
dat_writer::Bytes build_sample_archive(const SampleOptions& options);

// Writes the archive to `path`, creating its parent directories; throws
// std::runtime_error (or std::filesystem::filesystem_error) on failure.
void write_sample_archive(const std::filesystem::path& path, const SampleOptions& options);

}  // namespace portal_dat_sample
