#include "tools/portal_dat_sample/archive_layout.hpp"

namespace portal_dat_sample {

std::uint32_t append_contiguous_chain(dat_writer::ArchiveBuilder& builder,
                                      std::span<const std::uint8_t> data) {
  return builder.add_chain(data, dat_writer::ChainShape::Contiguous);
}

std::uint32_t write_directory(dat_writer::ArchiveBuilder& builder,
                              std::vector<dat_writer::DatFileEntry> entries,
                              std::size_t* node_count) {
  const dat_writer::DirectoryTree tree = dat_writer::write_directory(builder, std::move(entries));
  if (node_count != nullptr) *node_count = tree.nodes.size();
  return tree.root;
}

}  // namespace portal_dat_sample
