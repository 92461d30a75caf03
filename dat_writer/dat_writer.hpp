// The archive writer: lays out archive files byte by byte from a compact
// programmatic description, well-formed or hostile.
//
//   dat_writer::ArchiveBuilder b(1024);
//   auto body = b.add_file(0x30000000, bytes, /*compressed=*/true);
//   dat_writer::Node root;
//   root.entries.push_back(body);
//   b.set_root(b.add_node(root));
//   b.write_file(path);
//
// Offsets are absolute file offsets. Header fields are written exactly as set
// (only block_size is preset, to the layout block size). Misuse of the builder
// itself (an offset past 4 GiB, a node with more than 61 entries) throws.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "dat_writer/lzss_encoder.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/lib/dat_header.hpp"

namespace dat_writer {

using Bytes = std::vector<std::uint8_t>;
using quorvane_dat::DatFileEntry;
using quorvane_dat::DatHeader;

inline constexpr std::size_t PREFIX_SIZE = quorvane_dat::HEADER_OFFSET;
// First offset after the header, where the builder starts laying out blocks.
inline constexpr std::uint64_t DATA_START = quorvane_dat::HEADER_OFFSET + quorvane_dat::HEADER_SIZE;

// How add_chain places the blocks of one chain.
enum class ChainShape {
  Contiguous,  // one after another, each pointing at the next, the last at 0
  Scattered,   // last block first, with a garbage-filled block between any two
  SingleRun,   // one block whose pointer is 0, followed by all the bytes
};

// A directory node as written; every value is taken as given.
struct Node {
  std::array<std::uint32_t, quorvane_dat::NODE_BRANCH_COUNT> branches{};
  std::vector<DatFileEntry> entries;         // written into slots 0.., at most 61
  std::optional<std::uint32_t> entry_count;  // the stored count; default entries.size()

  // The node's 1716 bytes.
  Bytes encode() const;
};

// Little-endian bytes of a header and of an entry, as the archive stores them.
Bytes encode_header(const DatHeader& header);
Bytes encode_entry(const DatFileEntry& entry);

class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(std::uint32_t block_size = 1024);

  DatHeader& header() noexcept { return header_; }
  const DatHeader& header() const noexcept { return header_; }
  // The 0x140 bytes before the header.
  std::array<std::uint8_t, PREFIX_SIZE>& prefix() noexcept { return prefix_; }
  void set_root(std::uint32_t offset) noexcept { header_.root_offset = offset; }
  // The block size chains are laid out with (the header's may be set apart).
  std::uint32_t block_size() const noexcept { return block_size_; }

  // Current length of the archive.
  std::uint64_t size() const noexcept { return data_.size(); }
  // Appends bytes at the end; returns their offset.
  std::uint32_t append_raw(std::span<const std::uint8_t> bytes);
  // Overwrites (or extends) the archive at `offset`; the header region is
  // written from header() and prefix() when the bytes are produced.
  void write_raw(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  void write_u32(std::uint64_t offset, std::uint32_t value);
  // Extends the archive with zero bytes up to `length` (never shortens it).
  void pad_to(std::uint64_t length);

  // One block at the end: `next`, then `payload`, padded with zeros to the
  // block's payload size (a longer payload is written whole). Returns its offset.
  std::uint32_t add_block(std::uint32_t next, std::span<const std::uint8_t> payload);
  // Stores `data` as a chain (at least one block); returns its first block.
  std::uint32_t add_chain(std::span<const std::uint8_t> data, ChainShape shape = ChainShape::Contiguous);
  // The blocks of a chain made by add_chain, in chain order.
  const std::vector<std::uint32_t>& chain_blocks(std::uint32_t first_block) const;
  // Rewrites the next pointer of the block at `block`.
  void set_next(std::uint32_t block, std::uint32_t next) { write_u32(block, next); }
  // Overwrites bytes of a chain's data (made by add_chain) at `data_offset`.
  void patch_chain(std::uint32_t first_block, std::size_t data_offset,
                   std::span<const std::uint8_t> bytes);

  // Stores a directory node as a chain; returns its first block.
  std::uint32_t add_node(const Node& node, ChainShape shape = ChainShape::Contiguous);
  // Rewrites one branch slot of a node made by add_node.
  void set_branch(std::uint32_t node, std::size_t slot, std::uint32_t value);

  // Stores a file body, compressed with compress_lrs when asked, and returns
  // the directory entry that describes it (bit 0 of bit_flags set when compressed).
  DatFileEntry add_file(std::uint32_t id, std::span<const std::uint8_t> content, bool compressed,
                        ChainShape shape = ChainShape::Contiguous);

  // The whole archive: prefix, header, then everything laid out.
  Bytes bytes() const;
  // Writes the archive to `path` (created or truncated); throws std::runtime_error.
  void write_file(const std::filesystem::path& path) const;

 private:
  std::uint32_t checked_offset(std::uint64_t offset) const;
  std::uint32_t payload_size() const;

  std::uint32_t block_size_;
  DatHeader header_;
  std::array<std::uint8_t, PREFIX_SIZE> prefix_{};
  Bytes data_;  // the whole file; its first DATA_START bytes are filled on output
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> chains_;
};

// One file for the balanced-archive helpers.
struct FileSpec {
  std::uint32_t id = 0;
  Bytes content;
  bool compressed = false;
  std::uint32_t timestamp = 0;
  std::uint32_t version = 0;
  // How the body's blocks are laid out: a parameter of each file, since the
  // sample archive scatters its table and the bench archive a few bodies.
  ChainShape shape = ChainShape::Contiguous;
};

// Stores `file`'s body with add_file and returns its entry, timestamp and
// version set.
DatFileEntry store_file(ArchiveBuilder& builder, const FileSpec& file);

// The directory nodes write_directory stored.
struct DirectoryTree {
  std::uint32_t root = 0;            // the root node (0 when there are no entries)
  std::vector<std::uint32_t> nodes;  // node offsets, children before parents, root last
  std::uint32_t depth = 0;           // levels of the tree (0 when there are no entries)
};

// Writes a balanced directory tree over `entries` (any order; equal ids keep
// their order): ordered by id, nodes of up to 61 entries, an inner node with
// k entries having k + 1 children, all leaves at the same depth. Each node is
// a contiguous chain. The header's root is left as it is.
DirectoryTree write_directory(ArchiveBuilder& builder, std::vector<DatFileEntry> entries);

// What add_files_with_directory stored.
struct DirectoryLayout : DirectoryTree {
  std::vector<DatFileEntry> entries;  // one per file, in input order
};

// Stores every file (store_file, in input order), then write_directory over
// them, and makes its root the archive's root (0 when there are no files).
DirectoryLayout add_files_with_directory(ArchiveBuilder& builder, std::span<const FileSpec> files);

}  // namespace dat_writer
