// Deterministic content for the benchmarks: a small PRNG, text-like bytes
// (words, spaces and line breaks, as in string tables and scripts) and
// binary-like bytes (fixed-size records with counters, small deltas and
// zero padding, as in game data records).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

// splitmix64: fast, well mixed, and the same sequence on every machine.
class Prng {
 public:
  explicit Prng(std::uint64_t seed) noexcept : state_(seed) {}
  std::uint64_t next() noexcept {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, bound); bound > 0.
  std::uint64_t below(std::uint64_t bound) noexcept { return next() % bound; }
  // Uniform in [0, 1).
  double unit() noexcept { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

 private:
  std::uint64_t state_;
};

std::vector<std::uint8_t> text_like(std::size_t size, std::uint64_t seed);
std::vector<std::uint8_t> binary_like(std::size_t size, std::uint64_t seed);
// Incompressible bytes, for stored (uncompressed) bodies.
std::vector<std::uint8_t> random_bytes(std::size_t size, std::uint64_t seed);

}  // namespace bench
