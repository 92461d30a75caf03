// The filler files of the sample archive: a few thousand stored files of
// mixed sizes and id ranges, some compressed, generated from a fixed seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dat_writer/dat_writer.hpp"

namespace portal_dat_sample {

// SplitMix64: a small deterministic generator, so that the same seed gives the
// same archive on every machine and standard library.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) noexcept : state_(seed) {}
  std::uint64_t next() noexcept;
  // Uniform enough in [low, high] for sample data (high - low well below 2^32).
  std::uint32_t between(std::uint32_t low, std::uint32_t high) noexcept;

 private:
  std::uint64_t state_;
};

// `count` files plus the two neighbours 0x2FFFFFFF and 0x30000001 of the table
// id, with distinct ids in ascending order; none is 0x30000000.
std::vector<dat_writer::FileSpec> filler_files(std::size_t count, std::uint64_t seed);

}  // namespace portal_dat_sample
