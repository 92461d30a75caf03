#include "quorvane_dat/utils/decompress_lrs.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "quorvane_base/little_endian.hpp"

namespace quorvane_dat {

namespace {

// A back-reference token is two stream bytes and yields at most this many bytes.
constexpr std::size_t MAX_MATCH = 17;
// A group is one flag byte and eight tokens: at most 17 input and 136 output bytes.
constexpr std::size_t GROUP_INPUT_MAX = 1 + 8 * 2;
// Output room that the unchecked group loop needs: a whole group plus the
// overshoot of the widened copies below (at most 16 bytes past a token's end).
constexpr std::size_t GROUP_OUTPUT_ROOM = 8 * MAX_MATCH + 16;
// How far the output is sized ahead of what has been produced: files up to
// this size are decoded into one allocation. Growing by a fixed step keeps
// the memory of a long output within twice its length plus one step, also
// while the vector moves to a larger allocation.
constexpr std::size_t OUTPUT_STEP = std::size_t{1} << 20;
static_assert(OUTPUT_STEP >= GROUP_OUTPUT_ROOM);

struct Token {
  std::size_t distance;
  std::size_t length;
};

Token back_reference(const std::uint8_t* p) noexcept {
  const std::size_t b0 = p[0];
  const std::size_t b1 = p[1];
  return {b0 | ((b1 >> 4) << 8), (b1 & 0x0FU) + 2};
}

// Copies `length` bytes one at a time from `distance` back, where a distance
// beyond the start of the output takes the first output byte instead.
void copy_bytewise(std::uint8_t* base, std::uint8_t* dst, std::size_t distance,
                   std::size_t length) noexcept {
  std::size_t produced = static_cast<std::size_t>(dst - base);
  for (std::size_t i = 0; i < length; ++i, ++produced) {
    const std::size_t source = distance > produced ? 0 : produced - distance;
    base[produced] = base[source];
  }
}

// The same copy, allowed to write up to 16 bytes past dst + length (the
// caller guarantees the room; those bytes are overwritten or cut off later).
void copy_widened(std::uint8_t* base, std::uint8_t* dst, std::size_t distance,
                  std::size_t length) noexcept {
  const auto produced = static_cast<std::size_t>(dst - base);
  if (distance > produced) {
    copy_bytewise(base, dst, distance, length);
  } else if (distance >= 16) {
    // Source and destination of each piece cannot overlap.
    std::memcpy(dst, dst - distance, 16);
    if (length > 16) dst[16] = *(dst + 16 - distance);
  } else if (distance >= 8) {
    // Each 8-byte piece reads only bytes written before it.
    for (std::size_t i = 0; i < length; i += 8) std::memcpy(dst + i, dst + i - distance, 8);
  } else if (distance == 1) {
    std::memset(dst, dst[-1], length);
  } else {
    // (dst + i) - distance, never dst + (i - distance): i may be below distance.
    for (std::size_t i = 0; i < length; ++i) dst[i] = *(dst + i - distance);
  }
}

}  // namespace

std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input) {
  std::vector<std::uint8_t> out;
  decompress_lrs_into(input, out);
  return out;
}

void decompress_lrs_into(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out) {
  DecodeFindings findings;
  decompress_lrs_into(input, out, findings);
}

void decompress_lrs_into(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& out,
                         DecodeFindings& findings) {
  findings = {};
  if (input.size() < 4) {
    out.assign(input.begin(), input.end());
    return;
  }

  const std::uint32_t declared = quorvane_base::load_u32_le(input.data());
  const std::uint8_t* in = input.data() + 4;
  const std::uint8_t* const in_end = input.data() + input.size();

  // The stream cannot produce more than 17 bytes per two of its bytes (plus one
  // literal for an odd byte), so a declared size beyond that is never reached.
  const auto stream_size = static_cast<std::uint64_t>(in_end - in);
  const std::uint64_t most = (stream_size / 2) * MAX_MATCH + stream_size % 2;
  const auto limit = static_cast<std::size_t>(std::min<std::uint64_t>(declared, most));

  // The output is sized (not just reserved) so that the loops can write
  // through a pointer, but only a step ahead of what has been produced: a
  // declared size, true or not, costs no memory the stream does not fill.
  // The slack beyond the decoded length is cut off at the end.
  out.resize(std::min(limit, std::max(OUTPUT_STEP, out.capacity())));
  std::uint8_t* base = out.data();
  std::uint8_t* dst = base;
  std::uint8_t* dst_end = base + out.size();
  // Makes room for at least one more whole group unless the limit is reached.
  auto grow = [&] {
    const auto produced = static_cast<std::size_t>(dst - base);
    out.resize(std::min(limit, out.size() + OUTPUT_STEP));
    base = out.data();
    dst = base + produced;
    dst_end = base + out.size();
  };

  for (;;) {
    // Whole groups with room to spare in input and output need no bounds checks.
    while (static_cast<std::size_t>(in_end - in) >= GROUP_INPUT_MAX &&
           static_cast<std::size_t>(dst_end - dst) >= GROUP_OUTPUT_ROOM) {
      const unsigned flags = *in++;
      if (flags == 0) {
        // Eight literals in a row: one copy.
        std::memcpy(dst, in, 8);
        dst += 8;
        in += 8;
        continue;
      }
      for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
        if ((flags & mask) == 0) {
          *dst++ = *in++;
          continue;
        }
        const Token token = back_reference(in);
        in += 2;
        // A zero distance ends the stream; so does a reference into an empty output.
        if (token.distance == 0) goto done;
        if (token.distance > static_cast<std::size_t>(dst - base)) {
          findings.back_reference_before_start = true;
          if (dst == base) goto done;
        }
        copy_widened(base, dst, token.distance, token.length);
        dst += token.length;
      }
    }
    if (in == in_end) break;
    if (static_cast<std::size_t>(dst_end - dst) < GROUP_OUTPUT_ROOM && out.size() < limit) {
      grow();
      continue;
    }

    // Near either end: one group, token by token, with every check.
    if (dst == dst_end) break;
    const unsigned flags = *in++;
    for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
      if (dst == dst_end || in == in_end) goto done;
      if ((flags & mask) == 0) {
        *dst++ = *in++;
        continue;
      }
      if (in_end - in < 2) goto done;
      const Token token = back_reference(in);
      in += 2;
      if (token.distance == 0) goto done;
      if (token.distance > static_cast<std::size_t>(dst - base)) {
        findings.back_reference_before_start = true;
        if (dst == base) goto done;
      }
      const std::size_t length = std::min(token.length, static_cast<std::size_t>(dst_end - dst));
      copy_bytewise(base, dst, token.distance, length);
      dst += length;
    }
  }

done:
  out.resize(static_cast<std::size_t>(dst - base));
  findings.short_output = out.size() < declared;
}

}  // namespace quorvane_dat
