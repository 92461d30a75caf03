#include "tools/portal_dat_sample/archive_layout.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace portal_dat_sample {

namespace {

constexpr std::size_t SLOTS = quorvane_dat::NODE_ENTRY_SLOTS;      // 61
constexpr std::size_t BRANCHES = quorvane_dat::NODE_BRANCH_COUNT;  // 62

void put_u32_at(std::uint8_t* out, std::uint32_t value) {
  for (int k = 0; k < 4; ++k) out[k] = static_cast<std::uint8_t>(value >> (8 * k));
}

// Most entries that a tree of `height` levels holds.
std::size_t capacity(std::size_t height) {
  std::size_t cap = SLOTS;
  for (std::size_t h = 1; h < height; ++h) cap = SLOTS + BRANCHES * cap;
  return cap;
}

class TreeWriter {
 public:
  explicit TreeWriter(dat_writer::ArchiveBuilder& builder) : builder_(builder) {}

  std::uint32_t write(std::span<const dat_writer::DatFileEntry> range, std::size_t height) {
    dat_writer::Node node;
    if (height == 1) {
      node.entries.assign(range.begin(), range.end());
    } else {
      // Fewest children that can hold the range, entries shared out evenly;
      // one separator entry between any two children.
      const std::size_t child_capacity = capacity(height - 1);
      std::size_t children = (range.size() + 1 + child_capacity) / (child_capacity + 1);
      children = std::clamp<std::size_t>(children, 2, BRANCHES);
      const std::size_t below = range.size() - (children - 1);
      std::size_t at = 0;
      for (std::size_t i = 0; i < children; ++i) {
        const std::size_t share = below / children + (i < below % children ? 1 : 0);
        node.branches[i] = write(range.subspan(at, share), height - 1);
        at += share;
        if (i + 1 < children) node.entries.push_back(range[at++]);
      }
    }
    ++nodes_;
    return append_contiguous_chain(builder_, node.encode());
  }

  std::size_t nodes() const noexcept { return nodes_; }

 private:
  dat_writer::ArchiveBuilder& builder_;
  std::size_t nodes_ = 0;
};

}  // namespace

std::uint32_t append_contiguous_chain(dat_writer::ArchiveBuilder& builder,
                                      std::span<const std::uint8_t> data) {
  const std::size_t block = builder.block_size();
  if (block <= quorvane_dat::BLOCK_POINTER_SIZE) {
    throw std::invalid_argument("block size must exceed the 4-byte next pointer");
  }
  const std::size_t piece = block - quorvane_dat::BLOCK_POINTER_SIZE;
  const std::size_t count = data.empty() ? 1 : (data.size() + piece - 1) / piece;
  const std::uint64_t first = builder.size();
  if (first + count * block > 0xFFFFFFFFull) throw std::length_error("archive exceeds 4 GiB");

  dat_writer::Bytes chain(count * block, 0);
  for (std::size_t k = 0; k < count; ++k) {
    std::uint8_t* out = chain.data() + k * block;
    const bool last = k + 1 == count;
    put_u32_at(out, last ? 0 : static_cast<std::uint32_t>(first + (k + 1) * block));
    const std::size_t from = k * piece;
    const std::size_t length = std::min(piece, data.size() - std::min(from, data.size()));
    if (length != 0) {
      std::memcpy(out + quorvane_dat::BLOCK_POINTER_SIZE, data.data() + from, length);
    }
  }
  return builder.append_raw(chain);
}

dat_writer::DatFileEntry store_file(dat_writer::ArchiveBuilder& builder,
                                    const dat_writer::FileSpec& file) {
  dat_writer::DatFileEntry entry;
  entry.id = file.id;
  entry.timestamp = file.timestamp;
  entry.version = file.version;
  if (file.compressed) {
    const dat_writer::Bytes stored = dat_writer::compress_lrs(file.content);
    entry.bit_flags = quorvane_dat::FILE_FLAG_COMPRESSED;
    entry.size = static_cast<std::uint32_t>(stored.size());
    entry.offset = append_contiguous_chain(builder, stored);
  } else {
    entry.size = static_cast<std::uint32_t>(file.content.size());
    entry.offset = append_contiguous_chain(builder, file.content);
  }
  return entry;
}

std::uint32_t write_directory(dat_writer::ArchiveBuilder& builder,
                              std::vector<dat_writer::DatFileEntry> entries,
                              std::size_t* node_count) {
  if (node_count != nullptr) *node_count = 0;
  if (entries.empty()) return 0;
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return a.id < b.id; });
  std::size_t height = 1;
  while (capacity(height) < entries.size()) ++height;
  TreeWriter writer(builder);
  const std::uint32_t root = writer.write(entries, height);
  if (node_count != nullptr) *node_count = writer.nodes();
  return root;
}

}  // namespace portal_dat_sample
