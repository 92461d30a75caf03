// The directory nodes of an archive, collected by walking its tree again.
#pragma once

#include <vector>

#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/lib/directory_node.hpp"

namespace portal_dat {

// Every node in the walk's pre-order; on a walk that fails, the nodes met
// before the failure and the error.
struct DirectoryNodes {
  std::vector<quorvane_dat::DirectoryNodeInfo> nodes;
  std::optional<quorvane_dat::DatError> error;
};

inline DirectoryNodes collect_directory_nodes(const quorvane_dat::DatDatabase& database) {
  struct Collector final : quorvane_dat::DirectoryVisitor {
    std::vector<quorvane_dat::DirectoryNodeInfo> nodes;
    void on_node(const quorvane_dat::DirectoryNodeInfo& node) override { nodes.push_back(node); }
    quorvane_dat::DatResult<void> on_entries(std::span<const quorvane_dat::DatFileEntry>) override {
      return {};
    }
  } collector;
  DirectoryNodes result;
  auto walked = database.visit_directory(collector);
  result.nodes = std::move(collector.nodes);
  if (!walked) result.error = std::move(walked).error();
  return result;
}

}  // namespace portal_dat
