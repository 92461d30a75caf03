// DatDatabase: the handle on one open archive file, with its header and its
// whole directory index loaded at opening.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "error/dat_error.hpp"
#include "lib/dat_header.hpp"
#include "lib/directory_node.hpp"
#include "lib/file_index.hpp"
#include "utils/positioned_read.hpp"

namespace quorvane_dat {

class DatDatabase {
 public:
  // Opens the archive read-only, reads its header and walks its directory tree.
  static DatResult<DatDatabase> new_(const std::filesystem::path& path);

  DatDatabase(DatDatabase&&) noexcept = default;
  DatDatabase& operator=(DatDatabase&&) noexcept = default;
  DatDatabase(const DatDatabase&) = delete;
  DatDatabase& operator=(const DatDatabase&) = delete;

  const DatHeader& header() const noexcept { return header_; }
  const FileIndex& files() const noexcept { return files_; }

  // Fetches a stored file by id, decoded when its entry is compressed.
  // Safe to call from several threads at once.
  DatResult<std::vector<std::uint8_t>> get_file(std::uint32_t id) const;

  // The stored bytes of file `id`, not decoded.
  DatResult<std::vector<std::uint8_t>> get_stored(std::uint32_t id) const;

  // As get_file, into `out`, whose capacity is reused.
  DatResult<void> get_file_into(std::uint32_t id, std::vector<std::uint8_t>& out) const;

  // The size get_file(id) delivers at most: for a compressed file of at
  // least 4 bytes the size its body declares (one 4-byte read), otherwise
  // the stored size.
  DatResult<std::uint64_t> decoded_size(std::uint32_t id) const;

  // The blocks, in chain order, that gathering `size` bytes from `offset` reads.
  DatResult<std::vector<std::uint32_t>> chain_blocks(std::uint32_t offset,
                                                     std::uint32_t size) const;

  // Gathers `size` bytes through the block chain starting at `offset`.
  DatResult<std::vector<std::uint8_t>> read_file_data(std::uint32_t offset,
                                                      std::uint32_t size) const;

  // Walks the directory tree again, reporting each node and entry to `visitor`
  // in the order of opening (the index is not changed).
  DatResult<void> visit_directory(DirectoryVisitor& visitor) const;

  // Length of the archive file in bytes, taken once at opening.
  std::uint64_t archive_length() const noexcept { return archive_length_; }

 private:
  friend class BatchAccess;
  DatDatabase(DatHeader header, FileIndex files,
              ReadOnlyFile file, std::uint64_t archive_length);
  // Walks the directory tree from the header's root into the index.
  DatResult<void> read_directory();
  // The entry of `id` whose size the archive could hold.
  DatResult<const DatFileEntry*> checked_entry(std::uint32_t id) const;
  // Gathers the chain at `offset` into all of `out`.
  DatResult<void> gather(std::uint32_t offset, std::span<std::uint8_t> out) const;

  DatHeader header_;
  FileIndex files_;
  ReadOnlyFile file_;
  std::uint64_t archive_length_ = 0;
};

}  // namespace quorvane_dat
