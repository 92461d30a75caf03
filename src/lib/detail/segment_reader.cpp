#include "quorvane_dat/lib/detail/segment_reader.hpp"

#include <algorithm>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/lib/detail/chain_reader.hpp"

namespace quorvane_dat::detail {

namespace {

// Pieces one scatter read takes (the kernel's limit).
constexpr std::size_t MAX_PARTS = 1024;
// A file's pieces: a pointer and a payload per block, and a gap before it.
constexpr std::uint64_t MAX_PLANNED_BLOCKS = (MAX_PARTS - 1) / 2;
// Bytes between two files that one read skips through a scratch buffer;
// a wider gap starts a new read.
constexpr std::size_t MAX_GAP = std::size_t{64} << 10;

}  // namespace

SegmentReader::SegmentReader(const ArchiveSource& source, std::uint32_t block_size)
    : source_(source), block_size_(block_size) {}

void SegmentReader::gather(std::span<const GatherTarget> targets) {
  if (!junk_) {
    junk_ = std::make_unique_for_overwrite<std::uint8_t[]>(MAX_GAP);
    parts_.reserve(MAX_PARTS);
    // Never reallocated while a read is planned: the parts point into it.
    pointers_.reserve(MAX_PARTS);
    plans_.reserve(MAX_PARTS);
  }
  for (const GatherTarget& target : targets) plan(target);
  flush();
}

void SegmentReader::plan(const GatherTarget& target) {
  const DatFileEntry& entry = *target.entry;
  const std::size_t size = target.dest.size();
  if (target.blocks != nullptr) target.blocks->clear();
  if (size == 0) return;
  if (block_size_ <= BLOCK_POINTER_SIZE) {
    gather_one_chain(target);
    return;
  }
  const std::uint64_t payload = block_size_ - BLOCK_POINTER_SIZE;
  const std::uint64_t blocks = (size + payload - 1) / payload;
  const std::uint64_t last_block = entry.offset + (blocks - 1) * block_size_;
  const bool overlaps = !parts_.empty() && entry.offset < cursor_;
  if (blocks > MAX_PLANNED_BLOCKS || last_block > MAX_BLOCK_OFFSET || overlaps) {
    gather_one_chain(target);
    return;
  }
  const std::uint64_t gap = parts_.empty() ? 0 : entry.offset - cursor_;
  if (!parts_.empty() && (gap > MAX_GAP || parts_.size() + 2 * blocks + 1 > MAX_PARTS)) flush();
  if (parts_.empty()) {
    read_start_ = entry.offset;
    cursor_ = entry.offset;
  } else if (gap != 0) {
    parts_.push_back({junk_.get(), static_cast<std::size_t>(gap)});
  }
  Plan planned{&target, pointers_.size(), blocks, 0};
  std::uint8_t* dest = target.dest.data();
  std::size_t left = size;
  for (std::uint64_t k = 0; k < blocks; ++k) {
    pointers_.emplace_back();
    parts_.push_back({pointers_.back().data(), BLOCK_POINTER_SIZE});
    const std::size_t piece = std::min<std::size_t>(left, payload);
    parts_.push_back({dest, piece});
    dest += piece;
    left -= piece;
  }
  const std::uint64_t last_piece = size - (blocks - 1) * payload;
  planned.end = last_block + BLOCK_POINTER_SIZE + last_piece;
  cursor_ = planned.end;
  plans_.push_back(planned);
}

void SegmentReader::flush() {
  if (parts_.empty()) return;
  std::uint64_t reached = read_start_;
  if (auto got = source_.read_vectored_at(parts_, read_start_)) reached += *got;
  for (const Plan& planned : plans_) {
    const GatherTarget& target = *planned.target;
    const std::uint64_t offset = target.entry->offset;
    // Every block but the last must name the one right after it; the last
    // block's pointer is read, never followed.
    bool confirmed = planned.end <= reached;
    for (std::uint64_t k = 0; confirmed && k + 1 < planned.blocks; ++k) {
      const std::uint64_t next = quorvane_base::load_u32_le(pointers_[planned.first_pointer + k].data());
      confirmed = next == offset + (k + 1) * block_size_;
    }
    if (!confirmed) {
      gather_one_chain(target);
      continue;
    }
    if (target.blocks != nullptr) {
      for (std::uint64_t k = 0; k < planned.blocks; ++k) {
        target.blocks->push_back(static_cast<std::uint32_t>(offset + k * block_size_));
      }
    }
  }
  parts_.clear();
  pointers_.clear();
  plans_.clear();
}

void SegmentReader::gather_one_chain(const GatherTarget& target) {
  if (target.blocks != nullptr) target.blocks->clear();
  ChainReader<const ArchiveSource> chain(source_, block_size_, target.dest);
  chain.record_blocks(target.blocks);
  if (auto gathered = chain.run(target.entry->offset); !gathered) {
    *target.error = std::move(gathered).error();
  }
  if (target.loops != nullptr) *target.loops = chain.looped();
}

}  // namespace quorvane_dat::detail
