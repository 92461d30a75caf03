#include "tools/portal_dat_sample/sample_archive.hpp"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "tools/portal_dat_sample/filler_files.hpp"
#include "tools/portal_dat_sample/maneuver_rows.hpp"

namespace portal_dat_sample {

namespace {

constexpr std::uint32_t SAMPLE_MAGIC = 0x51564154u;
constexpr std::uint32_t TABLE_TIMESTAMP = 0x50C1D2E3u;
constexpr std::uint32_t TABLE_VERSION = 4;
// Distance past the end of the archive at which the broken variants point.
constexpr std::uint32_t BEYOND_END = 0x10000;

void fill_header(dat_writer::DatHeader& header) {
  header.magic = SAMPLE_MAGIC;
  header.dataset = 1;
  header.subset = 1;
  header.engine_version = 1;
  header.game_version = 2;
  constexpr char version[] = "sample-0001";
  std::memcpy(header.version_string.data(), version, sizeof version - 1);
  header.version_minor = 3;
}

dat_writer::FileSpec table_file(Variant variant) {
  dat_writer::FileSpec file;
  file.id = COMBAT_MANEUVER_TABLE_ID;
  file.content = table_record(variant);
  file.compressed = variant != Variant::PlainTable;
  file.timestamp = TABLE_TIMESTAMP;
  file.version = TABLE_VERSION;
  file.shape = dat_writer::ChainShape::Scattered;
  return file;
}

std::uint32_t offset_beyond_end(const dat_writer::ArchiveBuilder& builder) {
  const std::uint64_t offset = builder.size() + BEYOND_END;
  if (offset > 0xFFFFFFFFull) throw std::runtime_error("sample archive exceeds 4 GiB");
  return static_cast<std::uint32_t>(offset);
}

// Points the table chain's first block past the end of the file, so that
// gathering its second block fails.
void break_table_chain(dat_writer::ArchiveBuilder& builder,
                       const std::vector<dat_writer::DatFileEntry>& entries) {
  const auto table = std::find_if(entries.begin(), entries.end(), [](const auto& entry) {
    return entry.id == COMBAT_MANEUVER_TABLE_ID;
  });
  if (table == entries.end()) throw std::logic_error("sample archive lacks its table");
  const std::vector<std::uint32_t>& blocks = builder.chain_blocks(table->offset);
  if (blocks.size() < 2) throw std::logic_error("sample table fits one block");
  builder.set_next(blocks.front(), offset_beyond_end(builder));
}

}  // namespace

dat_writer::Bytes build_sample_archive(const SampleOptions& options) {
  dat_writer::ArchiveBuilder builder(SAMPLE_BLOCK_SIZE);
  fill_header(builder.header());

  std::vector<dat_writer::FileSpec> files = filler_files(options.filler_files, options.seed);
  if (options.variant != Variant::MissingTable) {
    dat_writer::FileSpec table = table_file(options.variant);
    const auto at = std::lower_bound(files.begin(), files.end(), table.id,
                                     [](const auto& file, std::uint32_t id) { return file.id < id; });
    files.insert(at, std::move(table));
  }

  // Bodies in id order, then the directory. The table's blocks are scattered
  // among garbage blocks (table_file asks so), as in an archive that has been
  // rewritten in place. Its chain is broken once the directory is written, so
  // that the pointer lies beyond the archive's final end and not inside one
  // of its nodes.
  const dat_writer::DirectoryLayout layout = dat_writer::add_files_with_directory(builder, files);
  if (options.variant == Variant::UnreadableTable) break_table_chain(builder, layout.entries);

  if (options.variant == Variant::UnreadableDirectory) builder.set_root(offset_beyond_end(builder));
  builder.header().file_size = static_cast<std::uint32_t>(builder.size());

  dat_writer::Bytes bytes = builder.bytes();
  // Cut inside the header: its 'subset' field and everything after are missing.
  if (options.variant == Variant::BadHeader) bytes.resize(dat_writer::PREFIX_SIZE + 0x10);
  return bytes;
}

void write_sample_archive(const std::filesystem::path& path, const SampleOptions& options) {
  const dat_writer::Bytes bytes = build_sample_archive(options);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());

  // Write beside the target and rename, so that a reader never sees half an archive.
  std::filesystem::path partial = path;
  partial += ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + partial.string());
  }
  std::filesystem::rename(partial, path);
}

}  // namespace portal_dat_sample
