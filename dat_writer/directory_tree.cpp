// A balanced directory tree over many files, laid out like a B-tree: entries
// ordered by id, separators in the inner nodes, all leaves at one depth. The
// tests, the benchmarks and the sample archive tool all lay out their
// directories here.
#include <algorithm>
#include <vector>

#include "dat_writer/dat_writer.hpp"

namespace dat_writer {

namespace {

constexpr std::size_t SLOTS = quorvane_dat::NODE_ENTRY_SLOTS;      // 61
constexpr std::size_t BRANCHES = quorvane_dat::NODE_BRANCH_COUNT;  // 62

// Most entries a tree of `height` levels holds.
std::size_t capacity(std::uint32_t height) {
  std::size_t cap = SLOTS;
  for (std::uint32_t h = 1; h < height; ++h) cap = SLOTS + BRANCHES * cap;
  return cap;
}

class TreeWriter {
 public:
  TreeWriter(ArchiveBuilder& builder, std::vector<std::uint32_t>& nodes)
      : builder_(builder), nodes_(nodes) {}

  // Writes the subtree over `range` with `height` levels, children before
  // their parent; returns its root.
  std::uint32_t write(std::span<const DatFileEntry> range, std::uint32_t height) {
    Node node;
    if (height == 1) {
      node.entries.assign(range.begin(), range.end());
    } else {
      // Fewest children that can hold the range, entries shared out evenly;
      // one separator entry between any two children.
      const std::size_t sub = capacity(height - 1);
      const std::size_t n = range.size();
      std::size_t children = (n + 1 + sub) / (sub + 1);  // ceil((n + 1) / (sub + 1))
      children = std::clamp<std::size_t>(children, 2, BRANCHES);
      // Binds only on an empty subtree, which the least height never makes;
      // without it `in_children` would wrap.
      children = std::min(children, n + 1);
      const std::size_t in_children = n - (children - 1);
      std::size_t at = 0;
      for (std::size_t i = 0; i < children; ++i) {
        const std::size_t share = in_children / children + (i < in_children % children ? 1 : 0);
        node.branches[i] = write(range.subspan(at, share), height - 1);
        at += share;
        if (i + 1 < children) node.entries.push_back(range[at++]);
      }
    }
    const std::uint32_t offset = builder_.add_node(node);
    nodes_.push_back(offset);
    return offset;
  }

 private:
  ArchiveBuilder& builder_;
  std::vector<std::uint32_t>& nodes_;
};

}  // namespace

DatFileEntry store_file(ArchiveBuilder& builder, const FileSpec& file) {
  DatFileEntry entry = builder.add_file(file.id, file.content, file.compressed, file.shape);
  entry.timestamp = file.timestamp;
  entry.version = file.version;
  return entry;
}

DirectoryTree write_directory(ArchiveBuilder& builder, std::vector<DatFileEntry> entries) {
  DirectoryTree tree;
  if (entries.empty()) return tree;
  std::stable_sort(entries.begin(), entries.end(),
                   [](const DatFileEntry& a, const DatFileEntry& b) { return a.id < b.id; });
  std::uint32_t height = 1;
  while (capacity(height) < entries.size()) ++height;
  tree.depth = height;
  tree.nodes.reserve(entries.size() / 40 + 1);
  TreeWriter writer(builder, tree.nodes);
  tree.root = writer.write(entries, height);
  return tree;
}

DirectoryLayout add_files_with_directory(ArchiveBuilder& builder, std::span<const FileSpec> files) {
  DirectoryLayout layout;
  layout.entries.reserve(files.size());
  for (const FileSpec& file : files) layout.entries.push_back(store_file(builder, file));
  static_cast<DirectoryTree&>(layout) = write_directory(builder, layout.entries);
  builder.set_root(layout.root);
  return layout;
}

}  // namespace dat_writer
