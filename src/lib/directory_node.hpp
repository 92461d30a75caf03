// DirectoryNodeInfo and DirectoryVisitor: what a walk of an archive's
// directory tree reports, node by node and entry by entry.
#pragma once

#include <cstdint>
#include <span>

#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/export.hpp"
#include "quorvane_dat/lib/dat_header.hpp"

namespace quorvane_dat {

/// One directory node as the walk meets it.
struct DirectoryNodeInfo {
  std::uint32_t offset = 0;       ///< first block of the node's chain
  std::uint32_t depth = 0;        ///< 0 for the root
  std::uint32_t entry_count = 0;  ///< the node's stored entry count
  std::uint32_t child_count = 0;  ///< non-zero branch slots the walk visits

  friend bool operator==(const DirectoryNodeInfo&, const DirectoryNodeInfo&) = default;
};

/// Receives the directory tree depth first and in pre-order: each node, then
/// its entries in slot order, then its children's subtrees in slot order.
class QUORVANE_DAT_API DirectoryVisitor {
 public:
  virtual ~DirectoryVisitor() = default;
  /// Called once per node, before its entries are read.
  virtual void on_node(const DirectoryNodeInfo& node) = 0;
  /// Called once per node with the entries its slots hold, in slot order
  /// (the span is valid during the call); an error ends the walk with it.
  virtual DatResult<void> on_entries(std::span<const DatFileEntry> entries) = 0;
};

}  // namespace quorvane_dat
