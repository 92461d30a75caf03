// The directory walk: depth first and pre-order, with an explicit stack of
// open levels rather than recursion, every node read once.
#include "quorvane_dat/lib/detail/directory_walk.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/lib/detail/chain_reader.hpp"
#include "quorvane_dat/lib/detail/corruption.hpp"
#include "quorvane_dat/lib/detail/library_boundary.hpp"
#include "quorvane_dat/lib/detail/node_offset_set.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"
#include "quorvane_dat/utils/detail/read_ahead.hpp"

namespace quorvane_dat::detail {

namespace {

// Offsets are 32-bit, so nothing the archive can name starts at or beyond
// 2^32, and a block starting below it ends within one block size of it. A
// longer file (sparse, or a device) holds nothing more that a walk can read.
constexpr std::uint64_t ADDRESSABLE_END = std::uint64_t{1} << 32;

// Levels this shallow keep their node's branch list while the walk is below
// them; a real directory is never deeper, so its nodes are read exactly
// once. Deeper levels keep only which slots are still to visit, and read
// their node's branch list again when the walk comes back up to take the next.
constexpr std::size_t CACHED_LEVELS = 16;

// One level of the walk's path.
struct OpenLevel {
  std::uint64_t pending = 0;  // bit s: branch slot s is non-zero and still to visit
  std::uint32_t offset = 0;
};
static_assert(sizeof(OpenLevel) == 16);
static_assert(NODE_BRANCH_COUNT <= 64);

using Branches = std::array<std::uint32_t, NODE_BRANCH_COUNT>;

class Walk {
 public:
  Walk(const ArchiveSource& file, std::uint32_t block_size, std::uint64_t archive_length,
       DirectoryVisitor& visitor)
      : source_(file),
        block_size_(block_size),
        counted_length_(std::min(archive_length, ADDRESSABLE_END + block_size)),
        read_budget_(counted_length_ / NODE_SIZE + 1),
        visitor_(visitor) {}

  DatResult<void> run(std::uint32_t root) {
    if (root == 0) return {};
    if (auto entered = enter(root); !entered) return entered;
    while (!path_.empty()) {
      OpenLevel& top = path_.back();
      if (top.pending == 0) {
        seen_.leave(top.offset);
        path_.pop_back();
        continue;
      }
      const auto slot = static_cast<unsigned>(std::countr_zero(top.pending));
      top.pending &= top.pending - 1;
      auto child = branch(path_.size() - 1, slot);
      if (!child) return Err{std::move(child).error()};
      if (auto entered = enter(*child); !entered) return entered;
    }
    return {};
  }

 private:
  DatResult<void> read_node(std::uint32_t offset) {
    bytes_hold_ = 0;
    ChainReader<ReadAheadReader> chain(source_, block_size_, bytes_);
    if (auto gathered = chain.run(offset); !gathered) return gathered;
    bytes_hold_ = offset;
    return {};
  }

  std::uint32_t stored_branch(unsigned slot) const noexcept {
    return quorvane_base::load_u32_le(bytes_.data() + 4 * slot);
  }

  // Branch `slot` of the node open at `depth`: from the level's cached list,
  // from the node buffer when it still holds that node, or read again.
  DatResult<std::uint32_t> branch(std::size_t depth, unsigned slot) {
    if (depth < CACHED_LEVELS) return cached_[depth][slot];
    const std::uint32_t offset = path_[depth].offset;
    if (bytes_hold_ != offset) {
      if (auto again = read_node(offset); !again) return Err{std::move(again).error()};
    }
    return stored_branch(slot);
  }

  DatResult<void> enter(std::uint32_t offset) {
    switch (seen_.find(offset)) {
      case NodeOffsetSet::Seen::OnPath:
        return Err{corruption("directory cycle: node 0x%08X is its own ancestor",
                              static_cast<unsigned>(offset))};
      case NodeOffsetSet::Seen::Left:
        return Err{corruption("directory node 0x%08X is reached twice", static_cast<unsigned>(offset))};
      case NodeOffsetSet::Seen::Never: break;
    }
    // Every node is read once, so no walk of a well-formed archive reads more
    // nodes than its addressable part can hold.
    if (reads_ == read_budget_) {
      return Err{corruption(
          "directory walk needs more than %llu node reads, more than an archive of %llu bytes "
          "can hold",
          ull(read_budget_), ull(counted_length_))};
    }
    ++reads_;
    if (auto read = read_node(offset); !read) return read;

    // A node whose slot 0 is empty is a leaf; otherwise it uses one slot more
    // than it holds entries.
    const std::uint32_t entry_count =
        quorvane_base::load_u32_le(bytes_.data() + NODE_ENTRY_COUNT_OFFSET);
    OpenLevel level;
    level.offset = offset;
    if (stored_branch(0) != 0) {
      const auto slots = static_cast<unsigned>(
          std::min<std::uint64_t>(std::uint64_t{entry_count} + 1, NODE_BRANCH_COUNT));
      for (unsigned slot = 0; slot < slots; ++slot) {
        if (stored_branch(slot) != 0) level.pending |= std::uint64_t{1} << slot;
      }
    }
    const std::size_t depth = path_.size();
    visitor_.on_node({offset, static_cast<std::uint32_t>(depth), entry_count,
                      static_cast<std::uint32_t>(std::popcount(level.pending))});

    // The 61 slots lie inside the node, so reading them cannot fail. Only a
    // count beyond 61 reaches past the node, and the entry reader then
    // reports the field that ran out.
    const std::uint32_t in_node = std::min(entry_count, NODE_ENTRY_SLOTS);
    const std::span<const std::uint8_t> entries =
        std::span<const std::uint8_t>(bytes_).subspan(NODE_ENTRIES_OFFSET);
    for (std::uint32_t i = 0; i < in_node; ++i) {
      node_entries_[i] = DatFileEntry::decode(
          entries.subspan(std::size_t{i} * FILE_ENTRY_SIZE).first<FILE_ENTRY_SIZE>());
    }
    if (auto taken = visitor_.on_entries(std::span(node_entries_).first(in_node)); !taken) {
      return taken;
    }
    if (entry_count > in_node) {
      ByteReader beyond(entries);
      beyond.rewind_to(std::uint64_t{in_node} * FILE_ENTRY_SIZE);
      auto entry = DatFileEntry::read(beyond);
      if (!entry) return Err{std::move(entry).error()};
    }

    if (depth < CACHED_LEVELS) {
      if (cached_.size() == depth) cached_.emplace_back();
      for (unsigned slot = 0; slot < NODE_BRANCH_COUNT; ++slot) {
        cached_[depth][slot] = stored_branch(slot);
      }
    }
    path_.push_back(level);
    seen_.add_on_path(offset);
    return {};
  }

  // Nodes are read through one read-ahead reader for the whole walk, into
  // one buffer that each node's bytes replace.
  ReadAheadReader source_;
  std::uint32_t block_size_;
  std::uint64_t counted_length_;
  std::uint64_t read_budget_;
  DirectoryVisitor& visitor_;
  std::uint64_t reads_ = 0;
  std::array<std::uint8_t, NODE_SIZE> bytes_{};
  std::array<DatFileEntry, NODE_ENTRY_SLOTS> node_entries_{};
  std::uint32_t bytes_hold_ = 0;  // offset of the node in bytes_, 0 for none
  std::vector<OpenLevel> path_;
  std::vector<Branches> cached_;
  NodeOffsetSet seen_;
};

}  // namespace

DatResult<void> walk_directory(const ArchiveSource& file, std::uint32_t block_size, std::uint32_t root,
                               std::uint64_t archive_length, DirectoryVisitor& visitor) {
  return at_boundary([&] {
    Walk walk(file, block_size, archive_length, visitor);
    return walk.run(root);
  });
}

}  // namespace quorvane_dat::detail
