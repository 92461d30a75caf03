// Fetching the combat maneuver table and the text and JSON forms of its rows.
#include "tools/portal_dat/maneuver_format.hpp"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "quorvane_base/little_endian.hpp"
#include "quorvane_dat/lib/file_stream.hpp"
#include "quorvane_dat/utils/byte_reader.hpp"
#include "tests/common/motion_command_lookup.hpp"
#include "tools/portal_dat/json_writer.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

namespace {

// The name of a motion command id from the program's table, or empty.
std::string_view motion_name(std::uint32_t id) {
  return common::motion_command_names::motion_command_name(id).value_or(std::string_view());
}

std::string_view height_name(std::uint32_t height) {
  return quorvane_dat::attack_height_label(height).value_or(std::string_view());
}

// "0x80000040 SwordShieldCombat", or the id alone when it has no name.
std::string labelled(std::uint32_t id) {
  // Built by appending: g++ 12 at -O3 misreports "0x" + string as overlapping.
  const std::string_view name = motion_name(id);
  std::string text = "0x";
  text += hex8(id);
  if (!name.empty()) {
    text += ' ';
    text += name;
  }
  return text;
}

// Reads the table's file as a stream, keeping only the bytes that its row
// count asks for (the reader leaves any bytes after the last row unread), so
// that a file claiming more costs no memory for it. The whole chain is still
// read: its errors are the file's. Returns the error's text.
std::optional<std::string> read_table_bytes(const quorvane_dat::DatDatabase& database,
                                            std::vector<std::uint8_t>& bytes) {
  constexpr std::size_t HEADER = 8;  // id and row count
  constexpr std::size_t ROW = 20;    // five 32-bit fields
  auto stream = quorvane_dat::FileStream::open(database, COMBAT_MANEUVER_TABLE_ID);
  if (!stream) return stream.error().plain();
  std::uint64_t wanted = HEADER;
  bool counted = false;
  for (;;) {
    auto piece = stream->next();
    if (!piece) return piece.error().plain();
    if (piece->empty()) break;
    for (std::span<const std::uint8_t> rest = *piece; !rest.empty() && bytes.size() < wanted;) {
      const auto keep =
          static_cast<std::size_t>(std::min<std::uint64_t>(rest.size(), wanted - bytes.size()));
      bytes.insert(bytes.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(keep));
      rest = rest.subspan(keep);
      if (!counted && bytes.size() >= HEADER) {
        wanted += std::uint64_t{quorvane_base::load_u32_le(bytes.data() + 4)} * ROW;
        counted = true;
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<quorvane_dat::CombatManeuverTable> read_maneuver_table(
    const quorvane_dat::DatDatabase& database, std::string& error) {
  std::vector<std::uint8_t> bytes;
  if (const std::optional<std::string> failure = read_table_bytes(database, bytes)) {
    error = hex8(COMBAT_MANEUVER_TABLE_ID) + ": " + *failure;
    return std::nullopt;
  }
  quorvane_dat::ByteReader reader(bytes);
  auto table = quorvane_dat::CombatManeuverTable::read(reader);
  if (!table) {
    error = hex8(COMBAT_MANEUVER_TABLE_ID) +
            ": cannot read the combat maneuver table: " + table.error().plain();
    return std::nullopt;
  }
  return std::move(table).value();
}

std::string maneuver_row_text(const quorvane_dat::CombatManeuver& row) {
  std::string height = std::to_string(row.attack_height);
  if (const std::string_view name = height_name(row.attack_height); !name.empty()) {
    height += ' ';
    height += name;
  }
  char line[256];
  std::snprintf(line, sizeof line, "%-32s height %-8s type 0x%02X  skill %5u  motion %s",
                labelled(row.style).c_str(), height.c_str(), row.attack_type, row.min_skill_level,
                labelled(row.motion).c_str());
  return line;
}

std::string maneuver_row_json(const quorvane_dat::CombatManeuver& row) {
  return JsonObject()
      .add("style", std::uint64_t{row.style})
      .add("style_name", motion_name(row.style))
      .add("attack_height", std::uint64_t{row.attack_height})
      .add("attack_height_name", height_name(row.attack_height))
      .add("attack_type", std::uint64_t{row.attack_type})
      .add("min_skill_level", std::uint64_t{row.min_skill_level})
      .add("motion", std::uint64_t{row.motion})
      .add("motion_name", motion_name(row.motion))
      .str();
}

}  // namespace portal_dat
