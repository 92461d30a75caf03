// Selecting entries of an archive: single ids, inclusive id ranges and top
// bytes, as written on the command line; nothing selected means every entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/lib/dat_header.hpp"
#include "quorvane_dat/lib/file_index.hpp"

namespace portal_dat {

// The selection as typed: each item an id or a range "FIRST-LAST", each type a
// top byte, all in hexadecimal with or without "0x".
struct SelectionArgs {
  std::vector<std::string> items;
  std::vector<std::string> types;
};

struct Selection {
  std::vector<std::uint32_t> ids;                               // ascending, unique
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;  // inclusive
  std::vector<std::uint8_t> top_bytes;

  bool empty() const noexcept { return ids.empty() && ranges.empty() && top_bytes.empty(); }
  bool matches(std::uint32_t id) const noexcept;
};

// A hexadecimal number of at most `max_digits` digits, with or without "0x".
std::optional<std::uint32_t> parse_hex(const std::string& text, unsigned max_digits = 8);

// The parsed selection, or the message of the first item that is not one.
struct ParsedSelection {
  Selection selection;
  std::optional<std::string> error;
};
ParsedSelection parse_selection(const SelectionArgs& args);

// The selected entries, in the index's order, and the single ids named that
// the archive does not hold (a range or type that matches nothing is fine).
struct SelectedEntries {
  std::vector<quorvane_dat::DatFileEntry> entries;
  std::vector<std::uint32_t> missing_ids;
};
SelectedEntries select_entries(const quorvane_dat::FileIndex& files, const Selection& selection);

// The archive at `archive` opened and the entries `args` selects in it; when
// the selection is malformed (status EXIT_USAGE) or the archive cannot be
// opened (EXIT_PROBLEM), the reason is reported and `database` is empty.
struct OpenedSelection {
  std::optional<quorvane_dat::DatDatabase> database;
  SelectedEntries selected;
  int status = 0;
};
OpenedSelection open_selection(const std::string& archive, const SelectionArgs& args);

}  // namespace portal_dat
