#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "quorvane_dat/utils/decompress_lrs.hpp"
#include "test_oracles/plain_decode.hpp"

namespace quorvane_dat {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The plain token-by-token decoder the library's is compared with.
Bytes reference_decode(const Bytes& input) { return test_oracles::plain_decode(input); }

Bytes with_size(std::uint32_t declared, const Bytes& stream) {
  Bytes input = {static_cast<std::uint8_t>(declared), static_cast<std::uint8_t>(declared >> 8),
                 static_cast<std::uint8_t>(declared >> 16), static_cast<std::uint8_t>(declared >> 24)};
  input.insert(input.end(), stream.begin(), stream.end());
  return input;
}

struct DecodeCase {
  const char* label;
  Bytes input;
  Bytes expected;
};

TEST(DecompressLrs, Examples) {
  const std::vector<DecodeCase> cases = {
      {"empty input", {}, {}},
      {"one byte unchanged", {0x7A}, {0x7A}},
      {"three bytes unchanged", {1, 2, 3}, {1, 2, 3}},
      {"header only", with_size(100, {}), {}},
      {"declared size zero reads nothing", with_size(0, {0x00, 0x61}), {}},
      {"back-reference of distance 2",
       with_size(6, {0x20, 0x61, 0x62, 0x02, 0x00, 0x63, 0x64}),
       {0x61, 0x62, 0x61, 0x62, 0x63, 0x64}},
      {"distance 1 repeats the last byte",
       with_size(6, {0x40, 0x41, 0x01, 0x03}),
       {0x41, 0x41, 0x41, 0x41, 0x41, 0x41}},
      {"stop at declared size inside a back-reference",
       with_size(4, {0x40, 0x41, 0x01, 0x0F, 0x42}),
       {0x41, 0x41, 0x41, 0x41}},
      {"stop at declared size ignores the rest",
       with_size(2, {0x00, 0x61, 0x62, 0x63, 0x64}),
       {0x61, 0x62}},
      {"zero distance ends decoding", with_size(10, {0x20, 0x61, 0x62, 0x00, 0x05, 0x63}), {0x61, 0x62}},
      {"stream ends after a flag byte",
       with_size(10, {0x00, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x00}),
       {0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68}},
      {"one byte where a back-reference needs two", with_size(10, {0x40, 0x61, 0x01}), {0x61}},
      {"literal missing after flag", with_size(10, {0x00}), {}},
      {"back-reference into empty output ends decoding", with_size(10, {0x80, 0x01, 0x00, 0x61}), {}},
      {"declared size larger than produced", with_size(1000, {0x00, 0x61, 0x62}), {0x61, 0x62}},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(decompress_lrs(c.input), c.expected);
    EXPECT_EQ(reference_decode(c.input), c.expected);
  }
}

TEST(DecompressLrs, FindingsSayWhatTheOutputCannot) {
  struct FindingCase {
    const char* label;
    Bytes input;
    DecodeFindings expected;
  };
  const std::vector<FindingCase> cases = {
      {"no header declares nothing", {1, 2}, {}},
      {"a sound body", with_size(6, {0x20, 0x61, 0x62, 0x02, 0x00, 0x63, 0x64}), {}},
      {"declared size larger than produced", with_size(1000, {0x00, 0x61, 0x62}), {true, false}},
      {"reference before the start, repaired", with_size(6, {0x40, 0x61, 0x03, 0x03}), {false, true}},
      {"reference into an empty output", with_size(10, {0x80, 0x01, 0x00, 0x61}), {true, true}},
      {"zero distance ends early", with_size(10, {0x20, 0x61, 0x62, 0x00, 0x05}), {true, false}},
  };
  for (const FindingCase& c : cases) {
    SCOPED_TRACE(c.label);
    Bytes out = {9, 9, 9};
    DecodeFindings findings{true, true};
    decompress_lrs_into(c.input, out, findings);
    EXPECT_EQ(out, decompress_lrs(c.input));
    EXPECT_EQ(findings.short_output, c.expected.short_output);
    EXPECT_EQ(findings.back_reference_before_start, c.expected.back_reference_before_start);
  }
}

TEST(DecompressLrs, HighDistanceBitsComeFromTheUpperHalfOfB1) {
  // 300 literals, then a back-reference B0=0x10, B1=0x13: distance 256+16, length 5.
  Bytes stream;
  Bytes expected;
  for (int i = 0; i < 300; ++i) {
    if (i % 8 == 0) stream.push_back(0x00);
    const auto value = static_cast<std::uint8_t>(i * 31 + 7);
    stream.push_back(value);
    expected.push_back(value);
  }
  // 300 literals fill 37 whole groups and 4 tokens of the 38th; the 5th token is the reference.
  stream[37 * 9] = 0x08;
  stream.push_back(0x10);
  stream.push_back(0x13);
  for (int i = 0; i < 5; ++i) expected.push_back(expected[expected.size() - 272]);
  EXPECT_EQ(decompress_lrs(with_size(305, stream)), expected);
}

TEST(DecompressLrs, DistanceBeyondOutputSourcesFromIndexZeroThenCatchesUp) {
  // Output "ab"; back-reference distance 3, length 4 copies indexes 0, 0, 1, 2.
  const Bytes input = with_size(6, {0x20, 'a', 'b', 0x03, 0x02});
  EXPECT_EQ(decompress_lrs(input), (Bytes{'a', 'b', 'a', 'a', 'b', 'a'}));
}

TEST(DecompressLrs, HugeDeclaredSizeOverShortInputAllocatesLittle) {
  const Bytes input = with_size(0xFFFFFFFF, {0x40, 0x61, 0x01, 0x0F});
  const Bytes out = decompress_lrs(input);
  EXPECT_EQ(out, Bytes(18, 0x61));
  EXPECT_LE(out.capacity(), 64U);
}

// The output ends where the stream's reach or the declared size does,
// whichever comes first, also once it has grown past its first allocation.
TEST(DecompressLrs, ResultNeverExceedsTheStreamsReachOrTheDeclaredSize) {
  const struct {
    const char* label;
    int groups;
    std::uint32_t declared;
    std::size_t expected;
  } cases[] = {
      {"huge declared size", 50, 0xFFFFFFFF, 1 + 7 * 17 + 50 * 8 * 17},
      {"declared size past one output step, below the reach", 10000, (1U << 20) + 5, (1U << 20) + 5},
      {"declared size past two output steps, below the reach", 20000, (2U << 20) + 3, (2U << 20) + 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    // Eight maximal back-references per group: the densest stream possible.
    Bytes stream = {0x7F, 0x61};
    for (int i = 0; i < 7; ++i) {
      stream.push_back(0x01);
      stream.push_back(0x0F);
    }
    for (int g = 0; g < c.groups; ++g) {
      stream.push_back(0xFF);
      for (int i = 0; i < 8; ++i) {
        stream.push_back(0x01);
        stream.push_back(0x0F);
      }
    }
    ASSERT_GE(1 + 7 * 17 + std::size_t{8 * 17} * static_cast<std::size_t>(c.groups), c.expected);
    const Bytes out = decompress_lrs(with_size(c.declared, stream));
    EXPECT_EQ(out.size(), c.expected);
    EXPECT_EQ(out, Bytes(out.size(), 0x61));
  }
}

// Generated streams exercise every copy shape: short and long distances,
// overlaps, distances beyond the output, and declared sizes that cut the
// stream anywhere (including in the unchecked middle of long inputs).
TEST(DecompressLrs, MatchesTheReferenceOnGeneratedStreams) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 600; ++round) {
    const std::size_t stream_size = rng() % (round < 300 ? 64 : 6000);
    const unsigned backref_share = rng() % 9;  // out of 8: 0 = literals only, 8 = all references
    const unsigned max_distance = (round % 3 == 0) ? 20 : 4096;
    Bytes stream;
    while (stream.size() < stream_size) {
      std::uint8_t flags = 0;
      for (int bit = 7; bit >= 0; --bit) {
        if (rng() % 8 < backref_share) flags = static_cast<std::uint8_t>(flags | (1U << bit));
      }
      stream.push_back(flags);
      for (int bit = 7; bit >= 0 && stream.size() < stream_size; --bit) {
        if ((flags >> bit) & 1U) {
          const unsigned distance = 1 + rng() % (max_distance - 1);
          const unsigned length_code = rng() % 16;
          stream.push_back(static_cast<std::uint8_t>(distance & 0xFF));
          stream.push_back(static_cast<std::uint8_t>(((distance >> 8) << 4) | length_code));
        } else {
          stream.push_back(static_cast<std::uint8_t>(rng()));
        }
      }
    }
    const std::uint32_t declared =
        round % 4 == 0 ? 0xFFFFFFFF : static_cast<std::uint32_t>(rng() % (stream_size * 9 + 1));
    const Bytes input = with_size(declared, stream);
    SCOPED_TRACE(round);
    bool before_start = false;
    const Bytes expected = test_oracles::plain_decode(input, before_start);
    Bytes out;
    DecodeFindings findings;
    decompress_lrs_into(input, out, findings);
    ASSERT_EQ(out, expected);
    ASSERT_LE(expected.size(), declared);
    ASSERT_EQ(findings.back_reference_before_start, before_start);
    ASSERT_EQ(findings.short_output, expected.size() < declared);
  }
}

TEST(DecompressLrs, TruncatedStreamsMatchTheReference) {
  const Bytes full = with_size(
      40, {0x24, 'q', 'r', 0x02, 0x03, 's', 't', 0x05, 0x01, 'u', 'v', 0xFF, 0x01, 0x00, 0x02, 0x00});
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE(cut);
    const Bytes input(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
    const Bytes out = decompress_lrs(input);
    EXPECT_EQ(out, reference_decode(input));
    if (cut >= 4) {
      // A longer prefix of the input never yields less output.
      const Bytes longer(full.begin(),
                         full.begin() + static_cast<std::ptrdiff_t>(std::min(cut + 1, full.size())));
      EXPECT_LE(out.size(), decompress_lrs(longer).size());
    }
  }
}

}  // namespace
}  // namespace quorvane_dat
