#include "quorvane_dat/utils/lrs_stream_decoder.hpp"

#include <algorithm>
#include <cstring>

namespace quorvane_dat {

namespace {

// A group is one flag byte and eight tokens: at most 17 input and 136 output bytes.
constexpr std::size_t GROUP_INPUT_MAX = 1 + 8 * 2;
constexpr std::size_t GROUP_OUTPUT_MAX = 8 * 17;

}  // namespace

LrsStreamDecoder::LrsStreamDecoder(std::size_t piece_bytes)
    : buffer_(HISTORY + std::max<std::size_t>(piece_bytes, 1)),
      piece_(std::max<std::size_t>(piece_bytes, 1)) {}

void LrsStreamDecoder::take() {
  // Keep the last HISTORY bytes for back-references; while fewer than that
  // have been produced, the whole output stays, so that a reference before
  // its start can take the first byte.
  const std::size_t keep = std::min(end_, HISTORY);
  if (end_ > keep) std::memmove(buffer_.data(), buffer_.data() + end_ - keep, keep);
  end_ = keep;
  taken_ = keep;
}

std::size_t LrsStreamDecoder::feed(std::span<const std::uint8_t> input) {
  std::size_t i = 0;
  while (header_bytes_ < 4) {
    if (ended_ || i == input.size()) return i;
    header_[header_bytes_++] = input[i++];
    if (header_bytes_ == 4) {
      declared_ = std::uint32_t{header_[0]} | (std::uint32_t{header_[1]} << 8) |
                  (std::uint32_t{header_[2]} << 16) | (std::uint32_t{header_[3]} << 24);
    }
  }
  const std::size_t capacity = taken_ + piece_;
  std::uint8_t* const out = buffer_.data();
  // Whole groups at a group's start with room to spare in input, output and
  // declared size: no state to keep between tokens.
  while (!ended_ && mask_ == 0 && copy_left_ == 0 && input.size() - i >= GROUP_INPUT_MAX &&
         capacity - end_ >= GROUP_OUTPUT_MAX && declared_ - produced_ >= GROUP_OUTPUT_MAX) {
    const unsigned flags = input[i++];
    if (flags == 0) {
      std::memcpy(out + end_, input.data() + i, 8);
      i += 8;
      end_ += 8;
      produced_ += 8;
      continue;
    }
    for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
      if ((flags & mask) == 0) {
        out[end_++] = input[i++];
        ++produced_;
        continue;
      }
      const std::size_t b1 = input[i + 1];
      const std::size_t distance = input[i] | ((b1 >> 4) << 8);
      i += 2;
      if (distance == 0) {
        stop();
        return i;
      }
      if (distance > produced_) {
        findings_.back_reference_before_start = true;
        if (produced_ == 0) {
          stop();
          return i;
        }
      }
      const std::uint64_t first = produced_ - end_;
      for (std::size_t k = (b1 & 0x0FU) + 2; k != 0; --k) {
        const std::uint64_t source = distance > produced_ ? 0 : produced_ - distance;
        out[end_++] = out[source - first];
        ++produced_;
      }
    }
  }
  while (!ended_) {
    if (copy_left_ != 0) {
      // Byte by byte, each from `distance_` back (or the first byte while the
      // distance reaches before the start); the output may not grow past the
      // declared size.
      if (produced_ >= declared_) {
        copy_left_ = 0;
        continue;
      }
      if (end_ == capacity) return i;
      const std::uint64_t first = produced_ - end_;  // output index of out[0]
      const std::uint64_t source = distance_ > produced_ ? 0 : produced_ - distance_;
      out[end_++] = out[source - first];
      ++produced_;
      --copy_left_;
      continue;
    }
    if (produced_ >= declared_) {
      stop();
      break;
    }
    if (i == input.size()) {
      if (input_done_) stop();
      return i;
    }
    if (mask_ == 0) {
      flags_ = input[i++];
      mask_ = 0x80;
      continue;
    }
    if ((flags_ & mask_) == 0) {
      if (end_ == capacity) return i;
      out[end_++] = input[i++];
      ++produced_;
      mask_ >>= 1;
      continue;
    }
    if (!have_b0_) {
      b0_ = input[i++];
      have_b0_ = true;
      continue;
    }
    const std::size_t b1 = input[i++];
    have_b0_ = false;
    mask_ >>= 1;
    const std::size_t distance = b0_ | ((b1 >> 4) << 8);
    if (distance == 0) {
      stop();
      break;
    }
    if (distance > produced_) {
      findings_.back_reference_before_start = true;
      if (produced_ == 0) {
        stop();
        break;
      }
    }
    distance_ = distance;
    copy_left_ = (b1 & 0x0FU) + 2;
  }
  return i;
}

void LrsStreamDecoder::stop() noexcept {
  ended_ = true;
  if (header_bytes_ == 4) findings_.short_output = produced_ < declared_;
}

void LrsStreamDecoder::finish() {
  if (input_done_) return;
  input_done_ = true;
  if (header_bytes_ < 4) {
    // No header: the input is the output, as decompress_lrs gives it.
    std::memcpy(buffer_.data() + end_, header_, header_bytes_);
    end_ += header_bytes_;
    produced_ += header_bytes_;
    ended_ = true;
    return;
  }
  feed({});
}

}  // namespace quorvane_dat
