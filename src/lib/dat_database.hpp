// DatDatabase: the handle on one open archive, with its header and its whole
// directory index loaded at opening.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/export.hpp"
#include "quorvane_dat/lib/dat_header.hpp"
#include "quorvane_dat/lib/directory_node.hpp"
#include "quorvane_dat/lib/file_index.hpp"

namespace quorvane_dat {

namespace detail {
class ArchiveSource;
class DatabaseAccess;
}  // namespace detail

/// An open archive: its header, its directory index and the means to fetch
/// its files. Every operation returns a result or a DatError; none throws.
/// An opened handle is read-only and reads by absolute position, so its
/// const operations may be called from several threads at once.
class QUORVANE_DAT_API DatDatabase {
 public:
  /// Opens the archive file at `path` read-only, reads its header and walks
  /// its directory tree into the index.
  static DatResult<DatDatabase> new_(const std::filesystem::path& path);

  /// As new_, over a descriptor already open for reading. The handle takes
  /// ownership of `fd` and closes it, also when opening fails.
  static DatResult<DatDatabase> from_fd(int fd);

  /// As new_, over an archive held in memory. The bytes are not copied: the
  /// caller keeps them alive, unchanged, for as long as the handle lives.
  static DatResult<DatDatabase> from_memory(std::span<const std::uint8_t> bytes);

  DatDatabase(DatDatabase&&) noexcept;
  DatDatabase& operator=(DatDatabase&&) noexcept;
  DatDatabase(const DatDatabase&) = delete;
  DatDatabase& operator=(const DatDatabase&) = delete;
  ~DatDatabase();

  /// The archive header as read at opening.
  const DatHeader& header() const noexcept { return header_; }
  /// The directory index: one entry per file id.
  const FileIndex& files() const noexcept { return files_; }

  /// Fetches file `id`: its stored bytes, decoded when the entry is compressed.
  DatResult<std::vector<std::uint8_t>> get_file(std::uint32_t id) const;

  /// As get_file, into `out` (its contents replaced, its capacity reused).
  DatResult<void> get_file_into(std::uint32_t id, std::vector<std::uint8_t>& out) const;

  /// The stored bytes of file `id`, not decoded.
  DatResult<std::vector<std::uint8_t>> get_stored(std::uint32_t id) const;

  /// The size get_file(id) delivers at most: for a compressed file of at
  /// least 4 bytes the size its body declares (one 4-byte read), otherwise
  /// the stored size.
  DatResult<std::uint64_t> decoded_size(std::uint32_t id) const;

  /// Gathers `size` bytes through the block chain starting at `offset`. A
  /// size larger than the archive is refused before anything is allocated.
  DatResult<std::vector<std::uint8_t>> read_file_data(std::uint32_t offset, std::uint32_t size) const;

  /// The blocks, in chain order, whose pointers gathering `size` bytes from
  /// `offset` reads; a chain that loops ends with the first block it comes
  /// back to.
  DatResult<std::vector<std::uint32_t>> chain_blocks(std::uint32_t offset, std::uint32_t size) const;

  /// Walks the directory tree again, reporting each node and entry to
  /// `visitor` in the order of opening; the index is not changed.
  DatResult<void> visit_directory(DirectoryVisitor& visitor) const;

  /// Length of the archive in bytes, taken once at opening.
  std::uint64_t archive_length() const noexcept { return archive_length_; }

 private:
  friend class detail::DatabaseAccess;
  DatDatabase(DatHeader header, std::unique_ptr<const detail::ArchiveSource> source,
              std::uint64_t archive_length);
  static DatResult<DatDatabase> open(DatHeader header,
                                     std::unique_ptr<const detail::ArchiveSource> source,
                                     std::uint64_t archive_length);
  /// Walks the directory tree from the header's root into the index.
  DatResult<void> read_directory();
  /// The entry of `id` whose size the archive could hold.
  DatResult<const DatFileEntry*> checked_entry(std::uint32_t id) const;
  /// Gathers the chain at `offset` into all of `out`.
  DatResult<void> gather(std::uint32_t offset, std::span<std::uint8_t> out) const;

  DatHeader header_;
  FileIndex files_;
  std::unique_ptr<const detail::ArchiveSource> source_;
  std::uint64_t archive_length_ = 0;
};

}  // namespace quorvane_dat
