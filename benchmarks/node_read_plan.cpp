#include "benchmarks/node_read_plan.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

#include "benchmarks/bench_io.hpp"
#include "quorvane_dat/lib/dat_format.hpp"

namespace bench {

namespace {

namespace fmt = quorvane_dat;

std::uint32_t load_u32_le(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void must_read(int fd, std::uint8_t* buf, std::size_t size, std::uint64_t offset) {
  if (!pread_all(fd, buf, size, offset)) {
    throw std::runtime_error("plan: cannot read " + std::to_string(size) + " bytes at " +
                             std::to_string(offset));
  }
}

// One node's chain, block by block, and its 1716 bytes.
std::vector<BlockRun> plan_chain(int fd, std::uint32_t block_size, std::uint32_t offset,
                                 std::array<std::uint8_t, fmt::NODE_SIZE>& node) {
  std::vector<BlockPiece> blocks;
  std::uint32_t filled = 0;
  std::uint64_t current = offset;
  while (filled < fmt::NODE_SIZE) {
    std::uint8_t pointer[4];
    must_read(fd, pointer, 4, current);
    const std::uint32_t next = load_u32_le(pointer);
    const std::uint32_t piece =
        next == 0 ? fmt::NODE_SIZE - filled : std::min(fmt::NODE_SIZE - filled, block_size - 4);
    must_read(fd, node.data() + filled, piece, current + 4);
    blocks.push_back({current, piece});
    filled += piece;
    current = next;
  }
  std::vector<BlockRun> runs;
  for (const BlockPiece& block : blocks) {
    // Every block but the last carries a full payload, so a block continues
    // the run when it starts right where the previous block ends.
    if (runs.empty() || runs.back().pieces.back().offset + block_size != block.offset) {
      runs.push_back({block.offset, 0, {}});
    }
    BlockRun& run = runs.back();
    run.pieces.push_back(block);
    run.length = static_cast<std::uint32_t>(block.offset + 4 + block.length - run.offset);
  }
  return runs;
}

}  // namespace

NodeReadPlan plan_node_reads(const std::filesystem::path& archive) {
  Fd fd(archive);
  if (fd.get() < 0) throw std::runtime_error("plan: cannot open " + archive.string());
  std::array<std::uint8_t, fmt::HEADER_SIZE> header{};
  must_read(fd.get(), header.data(), header.size(), fmt::HEADER_OFFSET);
  NodeReadPlan plan;
  plan.block_size = load_u32_le(header.data() + 0x04);
  if (plan.block_size <= 4) throw std::runtime_error("plan: block size too small");
  const std::uint32_t root = load_u32_le(header.data() + 0x20);

  // Depth first, pre-order, as opening walks the tree.
  std::vector<std::uint32_t> pending;
  if (root != 0) pending.push_back(root);
  std::array<std::uint8_t, fmt::NODE_SIZE> node{};
  while (!pending.empty()) {
    const std::uint32_t offset = pending.back();
    pending.pop_back();
    auto runs = plan_chain(fd.get(), plan.block_size, offset, node);
    for (const BlockRun& run : runs) plan.block_count += run.pieces.size();
    plan.run_count += runs.size();
    plan.nodes.push_back(std::move(runs));
    if (load_u32_le(node.data()) == 0) continue;
    const std::uint32_t count = load_u32_le(node.data() + fmt::NODE_ENTRY_COUNT_OFFSET);
    const std::uint32_t slots = std::min<std::uint32_t>(count + 1, fmt::NODE_BRANCH_COUNT);
    for (std::uint32_t slot = slots; slot-- > 0;) {
      const std::uint32_t child = load_u32_le(node.data() + 4 * slot);
      if (child != 0) pending.push_back(child);
    }
  }
  return plan;
}

quorvane_dat::FileIndex minimal_open(const std::filesystem::path& archive, const NodeReadPlan& plan) {
  quorvane_dat::FileIndex files;
  Fd fd(archive);
  std::array<std::uint8_t, fmt::HEADER_SIZE> header{};
  if (fd.get() < 0 || !pread_all(fd.get(), header.data(), header.size(), fmt::HEADER_OFFSET)) {
    return {};
  }
  std::vector<std::uint8_t> scratch;
  std::array<std::uint8_t, fmt::NODE_SIZE> node{};
  for (const auto& runs : plan.nodes) {
    std::size_t filled = 0;
    for (const BlockRun& run : runs) {
      scratch.resize(run.length);
      if (!pread_all(fd.get(), scratch.data(), run.length, run.offset)) return {};
      for (const BlockPiece& piece : run.pieces) {
        std::memcpy(node.data() + filled, scratch.data() + (piece.offset - run.offset) + 4,
                    piece.length);
        filled += piece.length;
      }
    }
    const std::uint32_t count = load_u32_le(node.data() + fmt::NODE_ENTRY_COUNT_OFFSET);
    if (count > fmt::NODE_ENTRY_SLOTS) return {};
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint8_t* p = node.data() + fmt::NODE_ENTRIES_OFFSET + fmt::FILE_ENTRY_SIZE * i;
      quorvane_dat::DatFileEntry entry;
      entry.bit_flags = load_u32_le(p);
      entry.id = load_u32_le(p + 4);
      entry.offset = load_u32_le(p + 8);
      entry.size = load_u32_le(p + 12);
      entry.timestamp = load_u32_le(p + 16);
      entry.version = load_u32_le(p + 20);
      files.insert_or_assign(entry);
    }
  }
  return files;
}

}  // namespace bench
