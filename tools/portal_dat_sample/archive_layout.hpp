// Laying out a large archive quickly: file bodies and directory nodes as
// contiguous block chains appended in one piece each, and a balanced
// directory tree over the stored entries.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "dat_writer/dat_writer.hpp"

namespace portal_dat_sample {

// Appends `data` as one contiguous chain of the builder's block size (at least
// one block) and returns the offset of its first block.
std::uint32_t append_contiguous_chain(dat_writer::ArchiveBuilder& builder,
                                      std::span<const std::uint8_t> data);

// Stores `file` (compressed when it asks) as a contiguous chain; returns its entry.
dat_writer::DatFileEntry store_file(dat_writer::ArchiveBuilder& builder,
                                    const dat_writer::FileSpec& file);

// Writes a balanced directory tree over `entries` (any order): ordered by id,
// at most 61 entries per node, an inner node with k entries having k + 1
// children, all leaves at one depth. Children are stored before their parent;
// returns the root's offset (0 for no entries) and counts the nodes written.
std::uint32_t write_directory(dat_writer::ArchiveBuilder& builder,
                              std::vector<dat_writer::DatFileEntry> entries,
                              std::size_t* node_count = nullptr);

}  // namespace portal_dat_sample
