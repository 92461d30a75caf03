// DatDatabase: opening an archive and fetching its files.
#include "quorvane_dat/lib/dat_database.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/lib/detail/chain_reader.hpp"
#include "quorvane_dat/lib/detail/corruption.hpp"
#include "quorvane_dat/lib/detail/directory_walk.hpp"
#include "quorvane_dat/lib/detail/library_boundary.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"
#include "quorvane_dat/utils/decompress_lrs.hpp"
#include "quorvane_dat/utils/detail/memory_source.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"

namespace quorvane_dat {

namespace {

// Reads the header from a file: all of it with one call, after which its
// fields cannot run short. A file that does not deliver the whole header at
// once (short, unreadable, not seekable) is read field by field through its
// descriptor, which names the positioning error or the field that failed.
DatResult<DatHeader> read_header(int fd) {
  std::array<std::uint8_t, HEADER_SIZE> bytes{};
  const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(HEADER_OFFSET));
  if (got == static_cast<ssize_t>(bytes.size())) {
    ByteReader reader{std::span<const std::uint8_t>(bytes)};
    auto header = DatHeader::read(reader);
    if (!header) return Err{std::move(header).error()};
    return std::move(*header);
  }
  if (::lseek(fd, static_cast<off_t>(HEADER_OFFSET), SEEK_SET) < 0) {
    return Err{IoError::from_os(errno)};
  }
  ByteReader reader = ByteReader::over_fd(fd);
  auto header = DatHeader::read(reader);
  if (!header) return Err{std::move(header).error()};
  return std::move(*header);
}

// The same from bytes in memory: the reader starts at the header's offset,
// and a field that runs past the end fails as it would in a file.
DatResult<DatHeader> read_header(std::span<const std::uint8_t> bytes) {
  ByteReader reader(bytes);
  reader.rewind_to(HEADER_OFFSET);
  auto header = DatHeader::read(reader);
  if (!header) return Err{std::move(header).error()};
  return std::move(*header);
}

// The length of an open file; a block device reports no size of its own, so
// its end is where it can be read to.
DatResult<std::uint64_t> file_length(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) < 0) return Err{IoError::from_os(errno)};
  std::uint64_t length = status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
  if (S_ISBLK(status.st_mode)) {
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end > 0) length = static_cast<std::uint64_t>(end);
  }
  return length;
}

// Puts every entry the walk reports into the handle's index.
class IndexBuilder final : public DirectoryVisitor {
 public:
  explicit IndexBuilder(FileIndex& files) noexcept : files_(files) {}
  void on_node(const DirectoryNodeInfo&) override {}
  DatResult<void> on_entries(std::span<const DatFileEntry> entries) override {
    for (const DatFileEntry& entry : entries) {
      if (!files_.insert_or_assign(entry)) return Err{detail::out_of_memory()};
    }
    return {};
  }

 private:
  FileIndex& files_;
};

}  // namespace

DatDatabase::DatDatabase(DatHeader header, std::unique_ptr<const detail::ArchiveSource> source,
                         std::uint64_t archive_length)
    : header_(std::move(header)), source_(std::move(source)), archive_length_(archive_length) {}

DatDatabase::DatDatabase(DatDatabase&&) noexcept = default;
DatDatabase& DatDatabase::operator=(DatDatabase&&) noexcept = default;
DatDatabase::~DatDatabase() = default;

DatResult<DatDatabase> DatDatabase::open(DatHeader header,
                                         std::unique_ptr<const detail::ArchiveSource> source,
                                         std::uint64_t archive_length) {
  DatDatabase database(std::move(header), std::move(source), archive_length);
  if (auto loaded = database.read_directory(); !loaded) return Err{std::move(loaded).error()};
  return database;
}

DatResult<DatDatabase> DatDatabase::new_(const std::filesystem::path& path) {
  return detail::at_boundary([&]() -> DatResult<DatDatabase> {
    // Non-blocking, so that a FIFO or a terminal cannot hold the opening up;
    // such a file then fails at positioning or reading like any other.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Err{DatError::PathError{path, IoError::from_os(errno)}};
    return from_fd(fd);
  });
}

DatResult<DatDatabase> DatDatabase::from_fd(int fd) {
  // Owned from here on, closed on every path out (an allocation that fails
  // included).
  detail::ReadOnlyFile owned(fd);
  return detail::at_boundary([&]() -> DatResult<DatDatabase> {
    auto file = std::make_unique<const detail::ReadOnlyFile>(std::move(owned));
    auto header = read_header(fd);
    if (!header) return Err{std::move(header).error()};
    auto length = file_length(fd);
    if (!length) return Err{std::move(length).error()};
    return open(std::move(*header), std::move(file), *length);
  });
}

DatResult<DatDatabase> DatDatabase::from_memory(std::span<const std::uint8_t> bytes) {
  return detail::at_boundary([&]() -> DatResult<DatDatabase> {
    auto header = read_header(bytes);
    if (!header) return Err{std::move(header).error()};
    return open(std::move(*header), std::make_unique<const detail::MemorySource>(bytes), bytes.size());
  });
}

DatResult<void> DatDatabase::read_directory() {
  IndexBuilder builder(files_);
  return detail::walk_directory(*source_, header_.block_size, header_.root_offset, archive_length_,
                                builder);
}

DatResult<void> DatDatabase::visit_directory(DirectoryVisitor& visitor) const {
  return detail::at_boundary([&] {
    return detail::walk_directory(*source_, header_.block_size, header_.root_offset, archive_length_,
                                  visitor);
  });
}

DatResult<void> DatDatabase::gather(std::uint32_t offset, std::span<std::uint8_t> out) const {
  if (out.empty()) return {};
  detail::ChainReader<const detail::ArchiveSource> chain(*source_, header_.block_size, out);
  return chain.run(offset);
}

DatResult<std::vector<std::uint8_t>> DatDatabase::read_file_data(std::uint32_t offset,
                                                                 std::uint32_t size) const {
  return detail::at_boundary([&]() -> DatResult<std::vector<std::uint8_t>> {
    if (size > archive_length_) {
      return Err{detail::chain_larger_than_archive(offset, size, archive_length_)};
    }
    std::vector<std::uint8_t> buffer(size);
    if (auto gathered = gather(offset, buffer); !gathered) return Err{std::move(gathered).error()};
    return buffer;
  });
}

DatResult<const DatFileEntry*> DatDatabase::checked_entry(std::uint32_t id) const {
  const DatFileEntry* entry = files_.find(id);
  if (entry == nullptr) return Err{DatError::NotFound{id}};
  // The size is a stored field: refuse it before allocating when the archive
  // could not hold that many bytes.
  if (entry->size > archive_length_) {
    return Err{detail::file_larger_than_archive(id, entry->size, archive_length_)};
  }
  return entry;
}

DatResult<std::vector<std::uint8_t>> DatDatabase::get_stored(std::uint32_t id) const {
  return detail::at_boundary([&]() -> DatResult<std::vector<std::uint8_t>> {
    auto entry = checked_entry(id);
    if (!entry) return Err{std::move(entry).error()};
    return read_file_data((*entry)->offset, (*entry)->size);
  });
}

DatResult<std::vector<std::uint8_t>> DatDatabase::get_file(std::uint32_t id) const {
  return detail::at_boundary([&]() -> DatResult<std::vector<std::uint8_t>> {
    auto entry = checked_entry(id);
    if (!entry) return Err{std::move(entry).error()};
    auto stored = read_file_data((*entry)->offset, (*entry)->size);
    if (!stored || !(*entry)->is_compressed()) return stored;
    return decompress_lrs(*stored);
  });
}

DatResult<void> DatDatabase::get_file_into(std::uint32_t id, std::vector<std::uint8_t>& out) const {
  return detail::at_boundary([&]() -> DatResult<void> {
    auto entry = checked_entry(id);
    if (!entry) return Err{std::move(entry).error()};
    const DatFileEntry& found = **entry;
    if (!found.is_compressed()) {
      out.resize(found.size);
      return gather(found.offset, out);
    }
    auto stored = read_file_data(found.offset, found.size);
    if (!stored) return Err{std::move(stored).error()};
    decompress_lrs_into(*stored, out);
    return {};
  });
}

DatResult<std::vector<std::uint32_t>> DatDatabase::chain_blocks(std::uint32_t offset,
                                                                std::uint32_t size) const {
  return detail::at_boundary([&]() -> DatResult<std::vector<std::uint32_t>> {
    if (size > archive_length_) {
      return Err{detail::chain_larger_than_archive(offset, size, archive_length_)};
    }
    std::vector<std::uint32_t> blocks;
    if (size == 0) return blocks;
    std::vector<std::uint8_t> scratch(size);
    detail::ChainReader<const detail::ArchiveSource> chain(*source_, header_.block_size, scratch);
    chain.record_blocks(&blocks);
    if (auto gathered = chain.run(offset); !gathered) return Err{std::move(gathered).error()};
    return blocks;
  });
}

DatResult<std::uint64_t> DatDatabase::decoded_size(std::uint32_t id) const {
  return detail::at_boundary([&]() -> DatResult<std::uint64_t> {
    auto entry = checked_entry(id);
    if (!entry) return Err{std::move(entry).error()};
    const DatFileEntry& found = **entry;
    if (!found.is_compressed() || found.size < 4) return std::uint64_t{found.size};
    std::array<std::uint8_t, 4> declared{};
    if (auto gathered = gather(found.offset, declared); !gathered) {
      return Err{std::move(gathered).error()};
    }
    return std::uint64_t{quorvane_base::load_u32_le(declared.data())};
  });
}

}  // namespace quorvane_dat
