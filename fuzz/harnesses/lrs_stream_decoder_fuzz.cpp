// Fuzz harness: the streaming decoder against decompress_lrs. The first two
// bytes choose how the body is cut (feed size) and how much output one piece
// holds; the rest is the body. Joined, the pieces must be exactly the bytes
// decompress_lrs gives, with the same findings, and no piece may exceed its size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/support/fuzz_check.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"
#include "quorvane_dat/utils/lrs_stream_decoder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t feed = 1 + (data[0] & 0x7F) * ((data[0] & 0x80) != 0 ? 97 : 1);
  const std::size_t piece = 1 + data[1] * 37;
  std::span<const std::uint8_t> input(data + 2, size - 2);

  std::vector<std::uint8_t> expected;
  quorvane_dat::DecodeFindings expected_findings;
  quorvane_dat::decompress_lrs_into(input, expected, expected_findings);

  quorvane_dat::LrsStreamDecoder decoder(piece);
  std::vector<std::uint8_t> joined;
  auto take = [&] {
    const auto out = decoder.output();
    FUZZ_CHECK(out.size() <= std::max<std::size_t>(piece, 3), "a piece holds at most its size");
    joined.insert(joined.end(), out.begin(), out.end());
    decoder.take();
  };
  while (!input.empty() && !decoder.ended()) {
    const std::size_t used = decoder.feed(input.first(std::min(feed, input.size())));
    FUZZ_CHECK(used != 0 || decoder.output_full() || decoder.ended(), "feeding makes progress");
    input = input.subspan(used);
    if (decoder.output_full()) take();
  }
  decoder.finish();
  for (take(); !decoder.ended(); take()) decoder.feed({});
  take();
  FUZZ_CHECK(joined == expected, "stream decoder agrees with decompress_lrs");
  FUZZ_CHECK(decoder.findings().short_output == expected_findings.short_output,
             "same short-output finding");
  FUZZ_CHECK(
      decoder.findings().back_reference_before_start == expected_findings.back_reference_before_start,
      "same back-reference finding");
  return 0;
}
