// The compressed-body decoding rules written as directly as possible, one
// token at a time: the yardstick that the library's decoder is compared with
// by its unit test and its fuzz harness.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace test_oracles {

// A back-reference into an empty output has nothing to copy from and ends the
// stream, as the decoder under test does. `before_start` tells whether any
// back-reference reached before the start of the output.
inline std::vector<std::uint8_t> plain_decode(std::span<const std::uint8_t> input, bool& before_start) {
  before_start = false;
  if (input.size() < 4) return {input.begin(), input.end()};
  const std::uint32_t declared = std::uint32_t{input[0]} | (std::uint32_t{input[1]} << 8) |
                                 (std::uint32_t{input[2]} << 16) | (std::uint32_t{input[3]} << 24);
  const std::span<const std::uint8_t> stream = input.subspan(4);
  std::vector<std::uint8_t> out;
  std::size_t p = 0;
  unsigned flags = 0;
  unsigned mask = 0;
  for (;;) {
    if (out.size() >= declared) break;
    if (p >= stream.size()) break;
    if (mask == 0) {
      flags = stream[p++];
      mask = 0x80;
    }
    if ((flags & mask) == 0) {
      if (p >= stream.size()) break;
      out.push_back(stream[p++]);
    } else {
      if (p + 1 >= stream.size()) break;
      const std::size_t b0 = stream[p];
      const std::size_t b1 = stream[p + 1];
      p += 2;
      const std::size_t distance = b0 + 256 * (b1 >> 4);
      const std::size_t length = (b1 & 0x0F) + 2;
      if (distance == 0) break;
      if (distance > out.size()) before_start = true;
      if (out.empty()) break;
      for (std::size_t i = 0; i < length && out.size() < declared; ++i) {
        const std::size_t source = distance > out.size() ? 0 : out.size() - distance;
        out.push_back(out[source]);
      }
    }
    mask >>= 1;
  }
  return out;
}

inline std::vector<std::uint8_t> plain_decode(std::span<const std::uint8_t> input) {
  bool before_start = false;
  return plain_decode(input, before_start);
}

}  // namespace test_oracles
