// Shorthands over the archive writer's contiguous chains and balanced
// directory tree, in the terms the sample archive's tests use.
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

// Writes dat_writer's balanced directory tree over `entries` (any order),
// children stored before their parent; returns the root's offset (0 for no
// entries) and counts the nodes written.
std::uint32_t write_directory(dat_writer::ArchiveBuilder& builder,
                              std::vector<dat_writer::DatFileEntry> entries,
                              std::size_t* node_count = nullptr);

}  // namespace portal_dat_sample
