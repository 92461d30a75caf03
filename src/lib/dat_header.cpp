// Readers of the archive header and of one directory entry: field after field,
// little-endian, each failing field framed with its name and declaration site.
#include "quorvane_dat/lib/dat_header.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/utils/detail/u32_fields.hpp"

namespace quorvane_dat {

namespace {

using detail::fail_field;
using detail::read_u32_fields;
using detail::U32Field;

// The header's integer fields in file order, up to version_string.
constexpr U32Field<DatHeader> HEADER_LEADING_FIELDS[] = {
    QUORVANE_U32_FIELD(DatHeader, magic),         QUORVANE_U32_FIELD(DatHeader, block_size),
    QUORVANE_U32_FIELD(DatHeader, file_size),     QUORVANE_U32_FIELD(DatHeader, dataset),
    QUORVANE_U32_FIELD(DatHeader, subset),        QUORVANE_U32_FIELD(DatHeader, free_head),
    QUORVANE_U32_FIELD(DatHeader, free_tail),     QUORVANE_U32_FIELD(DatHeader, free_count),
    QUORVANE_U32_FIELD(DatHeader, root_offset),   QUORVANE_U32_FIELD(DatHeader, new_lru),
    QUORVANE_U32_FIELD(DatHeader, old_lru),       QUORVANE_U32_FIELD(DatHeader, use_lru),
    QUORVANE_U32_FIELD(DatHeader, master_map_id), QUORVANE_U32_FIELD(DatHeader, engine_version),
    QUORVANE_U32_FIELD(DatHeader, game_version),
};

constexpr U32Field<DatFileEntry> ENTRY_FIELDS[] = {
    QUORVANE_U32_FIELD(DatFileEntry, bit_flags), QUORVANE_U32_FIELD(DatFileEntry, id),
    QUORVANE_U32_FIELD(DatFileEntry, offset),    QUORVANE_U32_FIELD(DatFileEntry, size),
    QUORVANE_U32_FIELD(DatFileEntry, timestamp), QUORVANE_U32_FIELD(DatFileEntry, version),
};

static_assert(sizeof(DatHeader{}.version_string) == VERSION_STRING_SIZE);

}  // namespace

Result<DatHeader, ParseError> DatHeader::read(ByteReader& reader) {
  const std::uint64_t start = reader.position();
  DatHeader header;
  if (auto leading = read_u32_fields(reader, start, header, HEADER_LEADING_FIELDS); !leading) {
    return Err{std::move(leading).error()};
  }
  auto version = reader.read_bytes(VERSION_STRING_SIZE);
  if (!version) {
    return fail_field(reader, start, std::move(version).error(), DatHeader::version_string_site);
  }
  std::copy(version->begin(), version->end(), header.version_string.begin());
  auto minor = reader.read_u32_le();
  if (!minor) {
    return fail_field(reader, start, std::move(minor).error(), DatHeader::version_minor_site);
  }
  header.version_minor = *minor;
  return header;
}

Result<DatFileEntry, ParseError> DatFileEntry::read(ByteReader& reader) {
  const std::uint64_t start = reader.position();
  DatFileEntry entry;
  if (auto fields = read_u32_fields(reader, start, entry, ENTRY_FIELDS); !fields) {
    return Err{std::move(fields).error()};
  }
  return entry;
}

DatFileEntry DatFileEntry::decode(std::span<const std::uint8_t, FILE_ENTRY_SIZE> bytes) noexcept {
  // The fields in the order of ENTRY_FIELDS, as read() takes them.
  static_assert(std::size(ENTRY_FIELDS) * 4 == FILE_ENTRY_SIZE);
  DatFileEntry entry;
  const std::uint8_t* p = bytes.data();
  for (const U32Field<DatFileEntry>& field : ENTRY_FIELDS) {
    entry.*field.member = quorvane_base::load_u32_le(p);
    p += 4;
  }
  return entry;
}

}  // namespace quorvane_dat
