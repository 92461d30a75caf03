#include "unittests/hostile/hostile_archives.hpp"

#include "dat_writer/lzss_encoder.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "unittests/hostile/hostile_support.hpp"

namespace hostile {

namespace {

using dat_writer::ArchiveBuilder;
using dat_writer::Bytes;
using dat_writer::ChainShape;
using dat_writer::Node;

Bytes with_table(ArchiveBuilder& builder, const dat_writer::DatFileEntry& table) {
  Node root;
  root.entries.push_back(table);
  builder.set_root(builder.add_node(root));
  return builder.bytes();
}

// The table stored as the compressed body `body`, taken as it is.
Bytes with_compressed_table(ArchiveBuilder& builder, const Bytes& body) {
  dat_writer::DatFileEntry entry;
  entry.bit_flags = quorvane_dat::FILE_FLAG_COMPRESSED;
  entry.id = TABLE_ID;
  entry.offset = builder.add_chain(body);
  entry.size = static_cast<std::uint32_t>(body.size());
  return with_table(builder, entry);
}

// A root node holding the passing table, stored compressed.
Node table_root(ArchiveBuilder& builder) {
  Node root;
  root.entries.push_back(builder.add_file(TABLE_ID, passing_table(), true));
  return root;
}

// An archive of one node holding the passing table, bent by
// `bend(builder, node)` before the node becomes the root.
template <class Bend>
Bytes bent_root(std::uint32_t block_size, Bend bend) {
  ArchiveBuilder builder(block_size);
  const std::uint32_t node = builder.add_node(table_root(builder));
  bend(builder, node);
  builder.set_root(node);
  return builder.bytes();
}

}  // namespace

Bytes truncated_header(std::uint64_t length) {
  Bytes bytes = passing_archive();
  bytes.resize(length);
  return bytes;
}

Bytes root_beyond_end() {
  ArchiveBuilder builder(1024);
  builder.pad_to(dat_writer::DATA_START);
  builder.set_root(static_cast<std::uint32_t>(builder.size() + 4096));
  return builder.bytes();
}

Bytes node_chain_loop() {
  return bent_root(1024, [](ArchiveBuilder& builder, std::uint32_t node) {
    builder.set_next(builder.chain_blocks(node).front(), node);
  });
}

Bytes directory_cycle() {
  return bent_root(
      2048, [](ArchiveBuilder& builder, std::uint32_t node) { builder.set_branch(node, 0, node); });
}

Bytes doubled_tree(std::uint32_t depth) {
  ArchiveBuilder builder(2048);
  Node deepest;
  deepest.entries.push_back(builder.add_file(TABLE_ID, passing_table(), true));
  std::uint32_t child = builder.add_node(deepest);
  const Bytes filler{1, 2, 3, 4};
  for (std::uint32_t level = 1; level < depth; ++level) {
    Node node;
    node.entries.push_back(builder.add_file(level, filler, false));
    node.branches[0] = child;
    node.branches[1] = child;
    child = builder.add_node(node);
  }
  builder.set_root(child);
  return builder.bytes();
}

Bytes packed_deep_tree(std::uint32_t levels, std::uint32_t stride) {
  ArchiveBuilder builder(2048);
  builder.pad_to(dat_writer::DATA_START);
  const auto first = static_cast<std::uint32_t>(builder.size());
  builder.pad_to(std::uint64_t{first} + std::uint64_t{levels} * stride + quorvane_dat::NODE_SIZE);
  for (std::uint32_t i = 0; i + 1 < levels; ++i) {
    // Node i: next pointer 0 (one run), slot 0 the next node.
    builder.write_u32(first + i * stride + 4, first + (i + 1) * stride);
  }
  builder.set_root(first);
  return builder.bytes();
}

Bytes shared_node_levels(std::uint32_t levels) {
  ArchiveBuilder builder(2048);
  std::uint32_t below = 0;
  for (std::uint32_t level = levels; level-- > 0;) {
    Node node;
    if (level + 1 == levels) node.entries.push_back(builder.add_file(TABLE_ID, passing_table(), true));
    while (node.entries.size() < quorvane_dat::NODE_ENTRY_SLOTS) {
      dat_writer::DatFileEntry filler;
      filler.id = level * 100 + static_cast<std::uint32_t>(node.entries.size()) + 1;
      node.entries.push_back(filler);
    }
    node.branches.fill(below);
    below = builder.add_node(node);
  }
  builder.set_root(below);
  return builder.bytes();
}

Bytes claimed_entries(std::uint32_t count) {
  ArchiveBuilder builder(2048);
  Node root = table_root(builder);
  root.entry_count = count;
  builder.set_root(builder.add_node(root));
  return builder.bytes();
}

Bytes with_block_size(std::uint32_t block_size, bool single_runs) {
  const ChainShape shape = single_runs ? ChainShape::SingleRun : ChainShape::Contiguous;
  ArchiveBuilder builder(64);
  Node root;
  root.entries.push_back(builder.add_file(TABLE_ID, passing_table(), true, shape));
  builder.set_root(builder.add_node(root, shape));
  builder.header().block_size = block_size;
  return builder.bytes();
}

Bytes root_at(std::uint32_t offset) {
  ArchiveBuilder builder(1024);
  builder.add_node(table_root(builder));
  builder.set_root(offset);
  return builder.bytes();
}

Bytes table_entry(std::uint32_t offset, std::uint32_t size) {
  ArchiveBuilder builder(1024);
  dat_writer::DatFileEntry entry = builder.add_file(TABLE_ID, passing_table(), false);
  entry.offset = offset;
  entry.size = size;
  return with_table(builder, entry);
}

Bytes compressed_claims_4gib() {
  ArchiveBuilder builder(1024);
  Bytes body = dat_writer::compress_lrs(passing_table());
  body[0] = body[1] = body[2] = body[3] = 0xFF;
  return with_compressed_table(builder, body);
}

Bytes long_body_claims_4gib(std::size_t body_size) {
  Bytes plain = passing_table();
  plain.resize((plain.size() + 7) / 8 * 8, 0);
  Bytes body{0xFF, 0xFF, 0xFF, 0xFF};
  body.reserve(body_size);
  for (std::size_t group = 0; body.size() + 9 <= body_size; ++group) {
    body.push_back(0);  // eight literals follow
    for (std::size_t i = 0; i < 8; ++i) {
      body.push_back(group * 8 + i < plain.size() ? plain[group * 8 + i] : 0);
    }
  }
  ArchiveBuilder builder(4096);
  return with_compressed_table(builder, body);
}

Bytes table_rows_claimed_4g() {
  ArchiveBuilder builder(1024);
  return with_table(builder, builder.add_file(TABLE_ID, passing_table(0xFFFFFFFF), true));
}

}  // namespace hostile
