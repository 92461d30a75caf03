// DatHeader and DatFileEntry: the archive header and one directory entry.
#pragma once
// clang-format off
#include <array>
#include <cstdint>
#include <span>

#include "quorvane_dat/export.hpp"
#include "quorvane_dat/error/result.hpp"
#include "quorvane_dat/error/parse_error.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"

namespace quorvane_dat {

/// Each field's site (for parse-error frames) is declared on the field's line.
struct QUORVANE_DAT_API DatHeader {
  std::uint32_t magic = 0;                      QUORVANE_FIELD_SITE(DatHeader, magic);
  std::uint32_t block_size = 0;                 QUORVANE_FIELD_SITE(DatHeader, block_size);
  std::uint32_t file_size = 0;                  QUORVANE_FIELD_SITE(DatHeader, file_size);
  std::uint32_t dataset = 0;                    QUORVANE_FIELD_SITE(DatHeader, dataset);
  std::uint32_t subset = 0;                     QUORVANE_FIELD_SITE(DatHeader, subset);
  std::uint32_t free_head = 0;                  QUORVANE_FIELD_SITE(DatHeader, free_head);
  std::uint32_t free_tail = 0;                  QUORVANE_FIELD_SITE(DatHeader, free_tail);
  std::uint32_t free_count = 0;                 QUORVANE_FIELD_SITE(DatHeader, free_count);
  std::uint32_t root_offset = 0;                QUORVANE_FIELD_SITE(DatHeader, root_offset);
  std::uint32_t new_lru = 0;                    QUORVANE_FIELD_SITE(DatHeader, new_lru);
  std::uint32_t old_lru = 0;                    QUORVANE_FIELD_SITE(DatHeader, old_lru);
  std::uint32_t use_lru = 0;                    QUORVANE_FIELD_SITE(DatHeader, use_lru);
  std::uint32_t master_map_id = 0;              QUORVANE_FIELD_SITE(DatHeader, master_map_id);
  std::uint32_t engine_version = 0;             QUORVANE_FIELD_SITE(DatHeader, engine_version);
  std::uint32_t game_version = 0;               QUORVANE_FIELD_SITE(DatHeader, game_version);
  std::array<std::uint8_t, 16> version_string{}; QUORVANE_FIELD_SITE(DatHeader, version_string);
  std::uint32_t version_minor = 0;              QUORVANE_FIELD_SITE(DatHeader, version_minor);

  /// Reads the 80 header bytes field by field from the reader's position.
  static Result<DatHeader, ParseError> read(ByteReader& reader);

  friend bool operator==(const DatHeader&, const DatHeader&) = default;
};

struct QUORVANE_DAT_API DatFileEntry {
  std::uint32_t bit_flags = 0;                  QUORVANE_FIELD_SITE(DatFileEntry, bit_flags);
  std::uint32_t id = 0;                         QUORVANE_FIELD_SITE(DatFileEntry, id);
  std::uint32_t offset = 0;                     QUORVANE_FIELD_SITE(DatFileEntry, offset);
  std::uint32_t size = 0;                       QUORVANE_FIELD_SITE(DatFileEntry, size);
  std::uint32_t timestamp = 0;                  QUORVANE_FIELD_SITE(DatFileEntry, timestamp);
  std::uint32_t version = 0;                    QUORVANE_FIELD_SITE(DatFileEntry, version);

  bool is_compressed() const noexcept { return (bit_flags & 1U) != 0; }

  /// Reads one 24-byte entry from the reader's position.
  static Result<DatFileEntry, ParseError> read(ByteReader& reader);
  /// Decodes one entry from 24 bytes known to be whole, in the same field order.
  static DatFileEntry decode(std::span<const std::uint8_t, FILE_ENTRY_SIZE> bytes) noexcept;

  friend bool operator==(const DatFileEntry&, const DatFileEntry&) = default;
};

}  // namespace quorvane_dat
