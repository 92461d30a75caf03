// Greedy hash-chain LZSS encoder; its output is what the archive decoder reads.
#include "dat_writer/lzss_encoder.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace dat_writer {

namespace {

constexpr std::size_t MIN_MATCH = 3;   // a 2-byte match saves nothing over 2 literals
constexpr std::size_t MAX_MATCH = 17;  // (B1 & 0x0F) + 2
constexpr std::size_t MAX_DISTANCE = 4095;
constexpr int MAX_CHAIN_STEPS = 48;

std::uint32_t hash3(const std::uint8_t* p, std::uint32_t mask) noexcept {
  const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                          (static_cast<std::uint32_t>(p[2]) << 16);
  return (v * 2654435761U) >> 8 & mask;
}

}  // namespace

std::vector<std::uint8_t> compress_lrs(std::span<const std::uint8_t> input) {
  const std::size_t n = input.size();
  std::vector<std::uint8_t> out;
  out.reserve(4 + n + n / 8 + 1);
  const auto declared = static_cast<std::uint32_t>(n);
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(declared >> shift));
  if (n == 0) return out;

  std::size_t table_size = 256;
  while (table_size < n && table_size < (std::size_t{1} << 16)) table_size <<= 1;
  const auto mask = static_cast<std::uint32_t>(table_size - 1);
  std::vector<std::int64_t> head(table_size, -1);
  std::vector<std::int64_t> prev(n, -1);
  const std::uint8_t* data = input.data();
  auto insert = [&](std::size_t at) {
    if (at + MIN_MATCH > n) return;
    const std::uint32_t h = hash3(data + at, mask);
    prev[at] = head[h];
    head[h] = static_cast<std::int64_t>(at);
  };

  std::size_t pos = 0;
  while (pos < n) {
    const std::size_t flag_at = out.size();
    out.push_back(0);
    for (int bit = 0; bit < 8 && pos < n; ++bit) {
      std::size_t best_len = 0;
      std::size_t best_distance = 0;
      if (pos + MIN_MATCH <= n) {
        const std::size_t limit = std::min(MAX_MATCH, n - pos);
        std::int64_t candidate = head[hash3(data + pos, mask)];
        for (int steps = 0; candidate >= 0 && steps < MAX_CHAIN_STEPS; ++steps) {
          const auto from = static_cast<std::size_t>(candidate);
          const std::size_t distance = pos - from;
          if (distance > MAX_DISTANCE) break;
          std::size_t len = 0;
          while (len < limit && data[from + len] == data[pos + len]) ++len;
          if (len > best_len) {
            best_len = len;
            best_distance = distance;
            if (len == limit) break;
          }
          candidate = prev[from];
        }
      }
      if (best_len >= MIN_MATCH) {
        out[flag_at] = static_cast<std::uint8_t>(out[flag_at] | (0x80U >> bit));
        out.push_back(static_cast<std::uint8_t>(best_distance & 0xFFU));
        out.push_back(static_cast<std::uint8_t>(((best_distance >> 8) << 4) | (best_len - 2)));
        for (std::size_t i = 0; i < best_len; ++i) insert(pos + i);
        pos += best_len;
      } else {
        out.push_back(data[pos]);
        insert(pos);
        ++pos;
      }
    }
  }
  return out;
}

}  // namespace dat_writer
