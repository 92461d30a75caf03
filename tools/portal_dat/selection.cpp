// Parsing and applying a selection of entries.
#include "tools/portal_dat/selection.hpp"

#include <algorithm>
#include <charconv>

#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

bool Selection::matches(std::uint32_t id) const noexcept {
  if (std::binary_search(ids.begin(), ids.end(), id)) return true;
  for (const auto& [first, last] : ranges) {
    if (id >= first && id <= last) return true;
  }
  const auto top = static_cast<std::uint8_t>(id >> 24);
  return std::find(top_bytes.begin(), top_bytes.end(), top) != top_bytes.end();
}

std::optional<std::uint32_t> parse_hex(const std::string& text, unsigned max_digits) {
  std::string_view digits = text;
  if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
  if (digits.empty() || digits.size() > max_digits) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

ParsedSelection parse_selection(const SelectionArgs& args) {
  ParsedSelection parsed;
  Selection& selection = parsed.selection;
  for (const std::string& item : args.items) {
    // A range's dash is the first one after its first digit, so "0x10-0x20" splits in two.
    const std::size_t dash = item.find('-', 1);
    if (dash == std::string::npos) {
      const std::optional<std::uint32_t> id = parse_hex(item);
      if (!id) {
        parsed.error =
            "'" + item + "' is not a file id (up to 8 hexadecimal digits) or a range FIRST-LAST";
        return parsed;
      }
      selection.ids.push_back(*id);
      continue;
    }
    const std::optional<std::uint32_t> first = parse_hex(item.substr(0, dash));
    const std::optional<std::uint32_t> last = parse_hex(item.substr(dash + 1));
    if (!first || !last) {
      parsed.error = "'" + item + "' is not a range FIRST-LAST of hexadecimal file ids";
      return parsed;
    }
    if (*first > *last) {
      parsed.error = "range '" + item + "' ends before it starts";
      return parsed;
    }
    selection.ranges.emplace_back(*first, *last);
  }
  for (const std::string& type : args.types) {
    const std::optional<std::uint32_t> top = parse_hex(type, 2);
    if (!top) {
      parsed.error = "--type '" + type + "' is not a top byte (1 or 2 hexadecimal digits)";
      return parsed;
    }
    selection.top_bytes.push_back(static_cast<std::uint8_t>(*top));
  }
  // Sorted and unique, for matching by binary search.
  std::sort(selection.ids.begin(), selection.ids.end());
  selection.ids.erase(std::unique(selection.ids.begin(), selection.ids.end()), selection.ids.end());
  return parsed;
}

SelectedEntries select_entries(const quorvane_dat::FileIndex& files, const Selection& selection) {
  SelectedEntries selected;
  if (selection.empty()) {
    selected.entries.reserve(files.size());
    for (const auto& item : files) selected.entries.push_back(item.second);
    return selected;
  }
  for (const auto& item : files) {
    if (selection.matches(item.first)) selected.entries.push_back(item.second);
  }
  for (const std::uint32_t id : selection.ids) {
    if (!files.contains(id)) selected.missing_ids.push_back(id);
  }
  return selected;
}

OpenedSelection open_selection(const std::string& archive, const SelectionArgs& args) {
  OpenedSelection opened;
  const ParsedSelection parsed = parse_selection(args);
  if (parsed.error) {
    report_error(*parsed.error);
    opened.status = EXIT_USAGE;
    return opened;
  }
  opened.database = open_archive(archive);
  if (!opened.database) {
    opened.status = EXIT_PROBLEM;
    return opened;
  }
  opened.selected = select_entries(opened.database->files(), parsed.selection);
  return opened;
}

}  // namespace portal_dat
