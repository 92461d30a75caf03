// LrsStreamDecoder: the compressed-body decoding of decompress_lrs, fed its
// input in pieces and giving its output in pieces of bounded size, so that a
// body of any declared size is decoded in constant memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quorvane_dat/export.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"

namespace quorvane_dat {

/// Decodes one compressed body fed in pieces. The concatenation of its output
/// pieces is exactly what decompress_lrs returns for the concatenated input,
/// and its findings are the same. Use: feed() input until output_full() (take
/// the output, then take()), ended() (stop feeding) or the input runs out;
/// then finish() and take the last output.
class QUORVANE_DAT_API LrsStreamDecoder {
 public:
  /// Output bytes kept for back-references: the farthest a token reaches.
  static constexpr std::size_t HISTORY = 4095;

  /// `piece_bytes`: the most output gathered before it must be taken (at least 1).
  explicit LrsStreamDecoder(std::size_t piece_bytes = std::size_t{64} << 10);

  /// Decodes from `input` until the output piece is full, decoding has ended
  /// or the input is used up; returns how many input bytes it consumed.
  std::size_t feed(std::span<const std::uint8_t> input);
  /// The input is complete: a token cut short is dropped, as decompress_lrs
  /// drops it, and an input shorter than its 4-byte header becomes the output.
  /// A back-reference still being copied goes on at the next feed() once a
  /// full output has been taken; decoding has ended when ended() says so.
  void finish();

  /// Output produced and not yet taken.
  std::span<const std::uint8_t> output() const noexcept {
    return {buffer_.data() + taken_, end_ - taken_};
  }
  /// Whether the output piece is full: feed() consumes nothing more until take().
  bool output_full() const noexcept { return end_ - taken_ == piece_; }
  /// Marks output() as consumed.
  void take();

  /// Whether decoding has stopped (declared size reached, end token, a
  /// back-reference into an empty output, or finish()): further input is ignored.
  bool ended() const noexcept { return ended_; }
  /// What decoding found; complete once decoding has ended.
  const DecodeFindings& findings() const noexcept { return findings_; }
  /// The size the body declares, once its 4-byte header has been fed.
  std::uint32_t declared_size() const noexcept { return declared_; }
  /// Output bytes produced so far, taken or not.
  std::uint64_t produced() const noexcept { return produced_; }

 private:
  void stop() noexcept;

  std::vector<std::uint8_t> buffer_;  // history, then the output not yet taken
  std::size_t piece_;
  std::size_t taken_ = 0;  // buffer_[0, taken_) is history only
  std::size_t end_ = 0;
  std::uint64_t produced_ = 0;
  std::uint8_t header_[4] = {};
  unsigned header_bytes_ = 0;
  std::uint32_t declared_ = 0;
  unsigned flags_ = 0;
  unsigned mask_ = 0;
  bool have_b0_ = false;
  std::uint8_t b0_ = 0;
  std::size_t copy_left_ = 0;
  std::size_t distance_ = 0;
  bool ended_ = false;
  bool input_done_ = false;
  DecodeFindings findings_;
};

}  // namespace quorvane_dat
