// Fuzz harness: the compressed-body decoder against a plain, token-by-token
// rendering of the same decoding rules. The decoder must never read or write
// out of bounds, never produce more than the declared size, and produce
// exactly the bytes of the plain rendering.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/support/fuzz_check.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"
#include "test_oracles/plain_decode.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const std::vector<std::uint8_t> decoded = quorvane_dat::decompress_lrs(input);
  if (size >= 4) {
    const std::uint32_t declared = std::uint32_t{data[0]} | (std::uint32_t{data[1]} << 8) |
                                   (std::uint32_t{data[2]} << 16) | (std::uint32_t{data[3]} << 24);
    FUZZ_CHECK(decoded.size() <= declared, "never longer than the declared size");
  }
  FUZZ_CHECK(decoded == test_oracles::plain_decode(input), "decoder agrees with the plain decoding");
  return 0;
}
