// The opening baseline: the fewest system calls and the least work that
// loading a directory can take. A plan, made once and not timed, lists for
// every directory node (in walk order) the contiguous runs of its blocks;
// the minimal loop then opens the file, reads the header, issues one pread
// per run, puts each node's payload pieces together and inserts the node's
// entries into the same kind of hash map as the library, and nothing else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "quorvane_dat/lib/dat_header.hpp"
#include "quorvane_dat/lib/file_index.hpp"

namespace bench {

struct BlockPiece {
  std::uint64_t offset;  // the block's offset in the archive
  std::uint32_t length;  // payload bytes taken from it
};

// Blocks that lie one after another, read with a single pread.
struct BlockRun {
  std::uint64_t offset = 0;
  std::uint32_t length = 0;  // from the first pointer to the end of the last piece
  std::vector<BlockPiece> pieces;
};

struct NodeReadPlan {
  std::uint32_t block_size = 0;
  std::vector<std::vector<BlockRun>> nodes;  // walk order
  std::size_t block_count = 0;
  std::size_t run_count = 0;
};

// Walks the directory block by block with plain preads. Throws
// std::runtime_error on a read failure or a block size of 4 or less.
NodeReadPlan plan_node_reads(const std::filesystem::path& archive);

// The minimal loop. Returns the index it built (empty when a read failed).
quorvane_dat::FileIndex minimal_open(const std::filesystem::path& archive, const NodeReadPlan& plan);

}  // namespace bench
