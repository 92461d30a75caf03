#include "tools/portal_dat_sample/filler_files.hpp"

#include <array>
#include <string_view>

namespace portal_dat_sample {

namespace {

// Top bytes of the filler id ranges; the combat maneuver table's own range
// 0x30 gets two close neighbours so that a lookup must match exactly.
constexpr std::array<std::uint32_t, 23> ID_RANGES{
    0x01000000u, 0x02000000u, 0x03000000u, 0x04000000u, 0x05000000u, 0x06000000u,
    0x07000000u, 0x08000000u, 0x09000000u, 0x0A000000u, 0x0B000000u, 0x0C000000u,
    0x0D000000u, 0x0E000000u, 0x0F000000u, 0x20000000u, 0x21000000u, 0x22000000u,
    0x23000000u, 0x24000000u, 0x25000000u, 0x26000000u, 0x27000000u,
};
constexpr std::uint32_t TIMESTAMP_BASE = 0x4F3A2C00u;

// Content that compresses: runs of words and small records with some noise.
dat_writer::Bytes compressible_content(SplitMix64& rng, std::size_t size) {
  constexpr std::array<std::string_view, 8> WORDS{"vertex ", "normal ",  "surface ", "frame ",
                                                  "index ",  "palette ", "light ",   "sound "};
  dat_writer::Bytes out;
  out.reserve(size);
  while (out.size() < size) {
    if (rng.between(0, 3) == 0) {
      out.push_back(static_cast<std::uint8_t>(rng.next()));
      continue;
    }
    const std::string_view word = WORDS[rng.between(0, WORDS.size() - 1)];
    for (const char c : word) {
      if (out.size() == size) break;
      out.push_back(static_cast<std::uint8_t>(c));
    }
  }
  return out;
}

dat_writer::Bytes random_content(SplitMix64& rng, std::size_t size) {
  dat_writer::Bytes out(size);
  for (std::size_t i = 0; i < size; i += 8) {
    const std::uint64_t word = rng.next();
    for (std::size_t k = 0; k < 8 && i + k < size; ++k) {
      out[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
  }
  return out;
}

// Mostly small files, a quarter of medium size, a few large ones, and now
// and then an empty one.
std::size_t pick_size(SplitMix64& rng) {
  const std::uint32_t roll = rng.between(0, 99);
  if (roll < 2) return 0;
  if (roll < 72) return rng.between(16, 1024);
  if (roll < 97) return rng.between(1025, 16 * 1024);
  return rng.between(16 * 1024 + 1, 64 * 1024);
}

}  // namespace

std::uint64_t SplitMix64::next() noexcept {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint32_t SplitMix64::between(std::uint32_t low, std::uint32_t high) noexcept {
  const std::uint64_t span = static_cast<std::uint64_t>(high) - low + 1;
  return low + static_cast<std::uint32_t>(next() % span);
}

std::vector<dat_writer::FileSpec> filler_files(std::size_t count, std::uint64_t seed) {
  SplitMix64 rng(seed);
  std::vector<dat_writer::FileSpec> files;
  files.reserve(count + 2);

  // Spread the files evenly over the ranges, ids ascending with small gaps.
  const std::size_t per_range = count / ID_RANGES.size() + 1;
  for (const std::uint32_t base : ID_RANGES) {
    std::uint32_t id = base;
    for (std::size_t i = 0; i < per_range && files.size() < count; ++i) {
      id += rng.between(1, 4);
      dat_writer::FileSpec file;
      file.id = id;
      file.compressed = rng.between(0, 9) < 3;
      const std::size_t size = pick_size(rng);
      file.content = file.compressed ? compressible_content(rng, size) : random_content(rng, size);
      file.timestamp = TIMESTAMP_BASE + static_cast<std::uint32_t>(files.size()) * 37u;
      file.version = rng.between(1, 3);
      files.push_back(std::move(file));
    }
  }
  // Neighbours of the table id, so that finding 0x30000000 takes an exact match.
  for (const std::uint32_t id : {0x2FFFFFFFu, 0x30000001u}) {
    dat_writer::FileSpec file;
    file.id = id;
    file.content = random_content(rng, 24);
    file.timestamp = TIMESTAMP_BASE;
    file.version = 1;
    files.push_back(std::move(file));
  }
  return files;
}

}  // namespace portal_dat_sample
