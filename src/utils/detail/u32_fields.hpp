// Reading a record's run of 32-bit fields from a table of its members and
// their declaration sites, so that every record reader fails the same way:
// back at the record's start, the error framed with the failing field.
// Internal to the archive library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "quorvane_dat/error/parse_error.hpp"
#include "quorvane_dat/error/result.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"

namespace quorvane_dat::detail {

// One 32-bit field of `Record`: the member and where it is declared.
template <class Record>
struct U32Field {
  std::uint32_t Record::*member;
  const FieldSite* site;
};

// The table entry of `Record`'s 32-bit field `name`, declared with
// QUORVANE_FIELD_SITE: QUORVANE_U32_FIELD(DatHeader, magic).
#define QUORVANE_U32_FIELD(Record, name) \
  ::quorvane_dat::detail::U32Field<Record> { &Record::name, &Record::name##_site }

// Returns the reader to `start`, where the record began, and frames `error`
// with the failing field's `site`.
inline Err<ParseError> fail_field(ByteReader& reader, std::uint64_t start, ParseError error,
                                  const FieldSite& site) {
  reader.rewind_to(start);
  return Err{std::move(error).with_field(site)};
}

// Reads `fields` in order, little-endian, into `record`; fails as fail_field
// for the first field the reader cannot fill.
template <class Record, std::size_t N>
Result<void, ParseError> read_u32_fields(ByteReader& reader, std::uint64_t start, Record& record,
                                         const U32Field<Record> (&fields)[N]) {
  for (const U32Field<Record>& field : fields) {
    auto value = reader.read_u32_le();
    if (!value) return fail_field(reader, start, std::move(value).error(), *field.site);
    record.*field.member = *value;
  }
  return {};
}

}  // namespace quorvane_dat::detail
