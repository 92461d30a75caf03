// The ownership map: each chain's bytes as a few runs, and one sweep over all
// runs in the order of their offsets.
#include "tools/portal_dat/ownership_map.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace portal_dat {

void OwnershipMap::push_span(std::uint64_t start, std::uint64_t end) {
  if (!spans_.empty() && spans_.back().end == start) {
    spans_.back().end = end;
    return;
  }
  spans_.push_back({start, end});
}

bool OwnershipMap::in_spans(std::uint64_t offset) const noexcept {
  return std::any_of(spans_.begin(), spans_.end(),
                     [&](const Span& span) { return span.start <= offset && offset < span.end; });
}

std::optional<std::uint64_t> OwnershipMap::add_chain(Subject owner,
                                                     std::span<const std::uint32_t> blocks,
                                                     std::uint32_t size, const NextBlock& next_block) {
  if (size == 0 || blocks.empty()) return std::nullopt;
  if (owners_.size() >= MAX_OWNERS) throw std::length_error("too many chains for the ownership map");

  const std::uint64_t block_size = block_size_;
  const std::uint64_t payload =
      block_size > quorvane_dat::BLOCK_POINTER_SIZE ? block_size - quorvane_dat::BLOCK_POINTER_SIZE : 0;
  spans_.clear();
  std::uint64_t remaining = size;
  for (std::size_t i = 0; i + 1 < blocks.size(); ++i) {
    const std::uint64_t piece = std::min(remaining, payload);
    push_span(blocks[i], blocks[i] + quorvane_dat::BLOCK_POINTER_SIZE + piece);
    remaining -= piece;
  }
  const std::uint64_t last = blocks.back();
  if (remaining <= payload || payload == 0) {
    // The data ends in this block, or the block_size leaves no payload and a
    // readable chain is one block that holds everything.
    push_span(last, last + quorvane_dat::BLOCK_POINTER_SIZE + remaining);
  } else if (in_spans(last)) {
    // The reader listed the block it came back to.
    push_span(last, last + block_size);
  } else if (const std::optional<std::uint32_t> next = next_block(blocks.back())) {
    // The blocks stop before the one the chain comes back to: this block
    // gave a full payload and its pointer leads back into the chain.
    push_span(last, last + block_size);
    if (in_spans(*next)) {
      const std::uint64_t piece = std::min(remaining - payload, payload);
      push_span(*next, *next + quorvane_dat::BLOCK_POINTER_SIZE + piece);
    }
  } else {
    // A zero pointer: everything still missing follows it in one piece.
    push_span(last, last + quorvane_dat::BLOCK_POINTER_SIZE + remaining);
  }

  // The chain's distinct bytes; where two of its spans overlap, it has come
  // back into itself.
  if (!std::is_sorted(spans_.begin(), spans_.end(),
                      [](const Span& a, const Span& b) { return a.start < b.start; })) {
    std::sort(spans_.begin(), spans_.end(),
              [](const Span& a, const Span& b) { return a.start < b.start; });
  }
  std::optional<std::uint64_t> repeat;
  const auto number = static_cast<std::uint32_t>(owners_.size());
  owners_.push_back(owner);
  Span current = spans_.front();
  auto flush = [&](const Span& span) {
    runs_.push_back({static_cast<std::uint32_t>(span.start), static_cast<std::uint32_t>(span.end),
                     (number << 2) | static_cast<std::uint32_t>(span.end >> 32)});
  };
  for (std::size_t i = 1; i < spans_.size(); ++i) {
    const Span& span = spans_[i];
    if (span.start < current.end && !repeat) repeat = span.start;
    if (span.start <= current.end) {
      current.end = std::max(current.end, span.end);
      continue;
    }
    flush(current);
    current = span;
  }
  flush(current);
  return repeat;
}

void OwnershipMap::check(const std::function<void(const Overlap&)>& report) {
  std::sort(runs_.begin(), runs_.end(), [](const Run& a, const Run& b) {
    return a.start != b.start ? a.start < b.start : a.owner() < b.owner();
  });
  constexpr std::uint32_t NONE = std::numeric_limits<std::uint32_t>::max();
  // The owner last reported as sharing bytes with each owner, so that two
  // chains that cross many times are reported once.
  std::vector<std::uint32_t> partner(owners_.size(), NONE);
  std::vector<bool> entered_reserved(owners_.size(), false);
  std::uint64_t reach = 0;  // the highest end among the runs so far
  std::uint32_t reach_owner = NONE;
  for (const Run& run : runs_) {
    const std::uint64_t start = run.start;
    const std::uint64_t end = run.end();
    const std::uint32_t owner = run.owner();
    if (start < RESERVED_END && !entered_reserved[owner]) {
      entered_reserved[owner] = true;
      report({owners_[owner], std::nullopt, start, std::min(end, RESERVED_END) - start});
    }
    if (start < reach && reach_owner != owner && partner[owner] != reach_owner &&
        partner[reach_owner] != owner) {
      partner[owner] = reach_owner;
      report({owners_[owner], owners_[reach_owner], start, std::min(end, reach) - start});
    }
    if (end > reach) {
      reach = end;
      reach_owner = owner;
    }
  }
}

}  // namespace portal_dat
