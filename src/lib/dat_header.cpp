// Readers of the archive header and of one directory entry: field after field,
// little-endian, each failing field framed with its name and declaration site.
#include "quorvane_dat/lib/dat_header.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/dat_format.hpp"

namespace quorvane_dat {

namespace {

// The header's integer fields in file order, up to version_string.
struct HeaderField {
  std::uint32_t DatHeader::*member;
  const FieldSite* site;
};
constexpr HeaderField HEADER_LEADING_FIELDS[] = {
    {&DatHeader::magic, &DatHeader::magic_site},
    {&DatHeader::block_size, &DatHeader::block_size_site},
    {&DatHeader::file_size, &DatHeader::file_size_site},
    {&DatHeader::dataset, &DatHeader::dataset_site},
    {&DatHeader::subset, &DatHeader::subset_site},
    {&DatHeader::free_head, &DatHeader::free_head_site},
    {&DatHeader::free_tail, &DatHeader::free_tail_site},
    {&DatHeader::free_count, &DatHeader::free_count_site},
    {&DatHeader::root_offset, &DatHeader::root_offset_site},
    {&DatHeader::new_lru, &DatHeader::new_lru_site},
    {&DatHeader::old_lru, &DatHeader::old_lru_site},
    {&DatHeader::use_lru, &DatHeader::use_lru_site},
    {&DatHeader::master_map_id, &DatHeader::master_map_id_site},
    {&DatHeader::engine_version, &DatHeader::engine_version_site},
    {&DatHeader::game_version, &DatHeader::game_version_site},
};

struct EntryField {
  std::uint32_t DatFileEntry::*member;
  const FieldSite* site;
};
constexpr EntryField ENTRY_FIELDS[] = {
    {&DatFileEntry::bit_flags, &DatFileEntry::bit_flags_site},
    {&DatFileEntry::id, &DatFileEntry::id_site},
    {&DatFileEntry::offset, &DatFileEntry::offset_site},
    {&DatFileEntry::size, &DatFileEntry::size_site},
    {&DatFileEntry::timestamp, &DatFileEntry::timestamp_site},
    {&DatFileEntry::version, &DatFileEntry::version_site},
};

static_assert(sizeof(DatHeader{}.version_string) == VERSION_STRING_SIZE);

// A failed record read returns the reader to where the record started.
Err<ParseError> fail(ByteReader& reader, std::uint64_t start, ParseError error,
                     const FieldSite& site) {
  reader.rewind_to(start);
  return Err{std::move(error).with_field(site)};
}

}  // namespace

Result<DatHeader, ParseError> DatHeader::read(ByteReader& reader) {
  const std::uint64_t start = reader.position();
  DatHeader header;
  for (const HeaderField& field : HEADER_LEADING_FIELDS) {
    auto value = reader.read_u32_le();
    if (!value) return fail(reader, start, std::move(value).error(), *field.site);
    header.*field.member = *value;
  }
  auto version = reader.read_bytes(VERSION_STRING_SIZE);
  if (!version) {
    return fail(reader, start, std::move(version).error(), DatHeader::version_string_site);
  }
  std::copy(version->begin(), version->end(), header.version_string.begin());
  auto minor = reader.read_u32_le();
  if (!minor) return fail(reader, start, std::move(minor).error(), DatHeader::version_minor_site);
  header.version_minor = *minor;
  return header;
}

Result<DatFileEntry, ParseError> DatFileEntry::read(ByteReader& reader) {
  const std::uint64_t start = reader.position();
  DatFileEntry entry;
  for (const EntryField& field : ENTRY_FIELDS) {
    auto value = reader.read_u32_le();
    if (!value) return fail(reader, start, std::move(value).error(), *field.site);
    entry.*field.member = *value;
  }
  return entry;
}

DatFileEntry DatFileEntry::decode(std::span<const std::uint8_t, FILE_ENTRY_SIZE> bytes) noexcept {
  // The fields in the order of ENTRY_FIELDS, as read() takes them.
  static_assert(std::size(ENTRY_FIELDS) * 4 == FILE_ENTRY_SIZE);
  const std::uint8_t* p = bytes.data();
  DatFileEntry entry;
  entry.bit_flags = quorvane_base::load_u32_le(p);
  entry.id = quorvane_base::load_u32_le(p + 4);
  entry.offset = quorvane_base::load_u32_le(p + 8);
  entry.size = quorvane_base::load_u32_le(p + 12);
  entry.timestamp = quorvane_base::load_u32_le(p + 16);
  entry.version = quorvane_base::load_u32_le(p + 20);
  return entry;
}

}  // namespace quorvane_dat
