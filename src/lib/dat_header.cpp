// Readers of the archive header and of one directory entry: field after field,
// little-endian, each failing field framed with its name and declaration site.
#include "lib/dat_header.hpp"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "lib/dat_format.hpp"

namespace quorvane_dat {

namespace {

// Context frames point at the field declarations in lib/dat_header.hpp; the
// archive unit tests check that each line below still declares its field.
constexpr std::string_view DECLARING_FILE = "src/lib/dat_header.hpp";

constexpr FieldSite header_site(std::string_view field, std::uint32_t line) {
  return FieldSite{"DatHeader", field, DECLARING_FILE, line};
}
constexpr FieldSite entry_site(std::string_view field, std::uint32_t line) {
  return FieldSite{"DatFileEntry", field, DECLARING_FILE, line};
}

// The header's integer fields in file order, up to version_string.
struct U32Field {
  std::uint32_t DatHeader::*member;
  FieldSite site;
};
constexpr U32Field HEADER_LEADING_FIELDS[] = {
    {&DatHeader::magic, header_site("magic", 14)},
    {&DatHeader::block_size, header_site("block_size", 15)},
    {&DatHeader::file_size, header_site("file_size", 16)},
    {&DatHeader::dataset, header_site("dataset", 17)},
    {&DatHeader::subset, header_site("subset", 18)},
    {&DatHeader::free_head, header_site("free_head", 19)},
    {&DatHeader::free_tail, header_site("free_tail", 20)},
    {&DatHeader::free_count, header_site("free_count", 21)},
    {&DatHeader::root_offset, header_site("root_offset", 22)},
    {&DatHeader::new_lru, header_site("new_lru", 23)},
    {&DatHeader::old_lru, header_site("old_lru", 24)},
    {&DatHeader::use_lru, header_site("use_lru", 25)},
    {&DatHeader::master_map_id, header_site("master_map_id", 26)},
    {&DatHeader::engine_version, header_site("engine_version", 27)},
    {&DatHeader::game_version, header_site("game_version", 28)},
};
constexpr FieldSite VERSION_STRING_SITE = header_site("version_string", 29);
constexpr FieldSite VERSION_MINOR_SITE = header_site("version_minor", 30);

struct EntryField {
  std::uint32_t DatFileEntry::*member;
  FieldSite site;
};
constexpr EntryField ENTRY_FIELDS[] = {
    {&DatFileEntry::bit_flags, entry_site("bit_flags", 39)},
    {&DatFileEntry::id, entry_site("id", 40)},
    {&DatFileEntry::offset, entry_site("offset", 41)},
    {&DatFileEntry::size, entry_site("size", 42)},
    {&DatFileEntry::timestamp, entry_site("timestamp", 43)},
    {&DatFileEntry::version, entry_site("version", 44)},
};

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
  for (const U32Field& field : HEADER_LEADING_FIELDS) {
    auto value = reader.read_u32_le();
    if (!value) return fail(reader, start, std::move(value).error(), field.site);
    header.*field.member = *value;
  }
  auto version = reader.read_bytes(VERSION_STRING_SIZE);
  if (!version) return fail(reader, start, std::move(version).error(), VERSION_STRING_SITE);
  std::copy(version->begin(), version->end(), header.version_string.begin());
  auto minor = reader.read_u32_le();
  if (!minor) return fail(reader, start, std::move(minor).error(), VERSION_MINOR_SITE);
  header.version_minor = *minor;
  return header;
}

Result<DatFileEntry, ParseError> DatFileEntry::read(ByteReader& reader) {
  const std::uint64_t start = reader.position();
  DatFileEntry entry;
  for (const EntryField& field : ENTRY_FIELDS) {
    auto value = reader.read_u32_le();
    if (!value) return fail(reader, start, std::move(value).error(), field.site);
    entry.*field.member = *value;
  }
  return entry;
}

}  // namespace quorvane_dat
