// The walk of an archive's directory tree. Internal to the archive library:
// the handle uses it to build its index at opening and to visit the nodes.
#pragma once

#include <cstdint>

#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/lib/directory_node.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"

namespace quorvane_dat::detail {

// Walks the tree whose root node starts at `root` (0: no tree) and reports
// it to `visitor`. `archive_length` bounds how many nodes the walk may read.
//
// Refused as Corruption: a node that is its own ancestor, a node reached a
// second time anywhere in the walk (a directory is a tree), and a walk that
// reads more nodes than the addressable part of the archive can hold. Every
// node is therefore read once; its walk state is 16 bytes per open level.
DatResult<void> walk_directory(const ArchiveSource& file, std::uint32_t block_size, std::uint32_t root,
                               std::uint64_t archive_length, DirectoryVisitor& visitor);

}  // namespace quorvane_dat::detail
