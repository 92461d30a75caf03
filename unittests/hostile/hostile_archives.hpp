// Hostile archives, each laid out by the archive writer from a short
// description. Every one is small on disk unless its name says otherwise.
#pragma once

#include <cstdint>

#include "dat_writer/dat_writer.hpp"

namespace hostile {

// The passing archive cut to `length` bytes (0 to 399 cut the header).
dat_writer::Bytes truncated_header(std::uint64_t length);
// The root node offset lies 4 KiB past the end of the file.
dat_writer::Bytes root_beyond_end();
// The root node's first block names itself as its next block.
dat_writer::Bytes node_chain_loop();
// The root node names itself in branch slot 0.
dat_writer::Bytes directory_cycle();
// `depth` levels, each node naming its one child in both slots 0 and 1, so
// that a walk without limits would read 2^depth nodes; the table lies in the
// deepest node.
dat_writer::Bytes doubled_tree(std::uint32_t depth);
// A chain of `levels` nodes packed `stride` bytes apart (each node's 1716
// bytes overlap the next ones), each naming the next in slot 0; the last is
// a leaf and no node holds an entry.
dat_writer::Bytes packed_deep_tree(std::uint32_t levels, std::uint32_t stride = 16);
// `levels` levels of one node each, every node naming the next level's node
// in all 62 branch slots (each holds 61 entries, so every slot is visited);
// the table lies in the deepest node.
dat_writer::Bytes shared_node_levels(std::uint32_t levels);
// The root node claims `count` entries.
dat_writer::Bytes claimed_entries(std::uint32_t count);
// The passing archive with the header's block_size replaced; with
// `single_runs` every chain is one block whose next pointer is 0.
dat_writer::Bytes with_block_size(std::uint32_t block_size, bool single_runs);
// The header's root_offset replaced by `offset`.
dat_writer::Bytes root_at(std::uint32_t offset);
// The table's entry with `offset` and `size` replaced.
dat_writer::Bytes table_entry(std::uint32_t offset, std::uint32_t size);
// The table stored compressed with a declared size of 0xFFFFFFFF.
dat_writer::Bytes compressed_claims_4gib();
// The table stored as literals padded with zeros to a compressed body of
// `body_size` bytes (decoding to 8/9 of that) that declares 0xFFFFFFFF bytes.
dat_writer::Bytes long_body_claims_4gib(std::size_t body_size);
// The table claiming 0xFFFFFFFF rows over its four.
dat_writer::Bytes table_rows_claimed_4g();

}  // namespace hostile
