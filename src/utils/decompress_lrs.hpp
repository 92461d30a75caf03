// Decoder of the archive's LZSS-style compressed file bodies. Never fails: a
// short or malformed input yields a shorter result.
//
// The one exception to the library's rule that nothing throws: like any
// function that returns a vector, these may throw std::bad_alloc when memory
// runs out (an output never grows more than 1 MiB past what the stream has
// produced). The handle's fetches and read_batch turn that into an error.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "quorvane_dat/export.hpp"

namespace quorvane_dat {

/// What a decoding found besides its output. The output is the same with or
/// without the findings; an encoder never writes a body with either.
struct DecodeFindings {
  /// The body declared more bytes than its stream produced (the output is
  /// shorter than the declared size).
  bool short_output = false;
  /// A back-reference reached before the start of the output: repaired by
  /// copying the first output byte, or, with no output yet, the end of the
  /// stream.
  bool back_reference_before_start = false;

  bool any() const noexcept { return short_output || back_reference_before_start; }
};

QUORVANE_DAT_API std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input);

/// The same decoding into `out`, replacing its contents; its capacity is reused.
QUORVANE_DAT_API void decompress_lrs_into(std::span<const std::uint8_t> input,
                                          std::vector<std::uint8_t>& out);

/// The same decoding, also saying what it found. An input shorter than its
/// 4-byte header declares nothing and finds nothing.
QUORVANE_DAT_API void decompress_lrs_into(std::span<const std::uint8_t> input,
                                          std::vector<std::uint8_t>& out, DecodeFindings& findings);

}  // namespace quorvane_dat
