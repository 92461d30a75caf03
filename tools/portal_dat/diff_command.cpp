// diff: what differs between two archives: header fields, entries added,
// removed or whose decoded content changed (both archives read at once in
// offset order, see archive_compare.hpp), and with --metadata entries whose
// content is the same but whose directory entry changed.
#include <CLI/CLI.hpp>

#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tools/portal_dat/archive_compare.hpp"
#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/common_options.hpp"
#include "tools/portal_dat/json_writer.hpp"
#include "tools/portal_dat/maneuver_format.hpp"
#include "tools/portal_dat/side_by_side.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

namespace {

struct DiffOptions : ThreadOptions {
  std::string old_archive;
  std::string new_archive;
  SelectionArgs selection;
  bool metadata = false;
  bool json = false;
  bool stat = false;
  bool records = false;

  void add_to(CLI::App& command) {
    command.add_option("OLD", old_archive, "the older archive")->required();
    command.add_option("NEW", new_archive, "the newer archive")->required();
    command.add_flag("--metadata", metadata,
                     "also entries whose iteration, date, compression or stored size changed");
    command.add_flag("--json", json, "one JSON object per difference, then the summary");
    CLI::Option* stat_flag =
        command.add_flag("--stat", stat, "counts and bytes per type instead of entries");
    command.add_flag("--records", records, "the combat maneuver table's rows added and removed")
        ->excludes(stat_flag);
    add_selection(command, selection);
    add_threads(command, *this);
  }
};

using quorvane_dat::DatFileEntry;
using quorvane_dat::DatHeader;

constexpr int EXIT_SAME = 0;
constexpr int EXIT_DIFFERENT = 1;
constexpr int EXIT_TROUBLE = 2;

// The header's numeric fields in their stored order, each with its text form.
struct HeaderField {
  const char* name;
  std::uint32_t DatHeader::*field;
  bool hex;
};
constexpr std::array<HeaderField, 16> HEADER_FIELDS{{
    {"magic", &DatHeader::magic, true},
    {"block_size", &DatHeader::block_size, false},
    {"file_size", &DatHeader::file_size, false},
    {"dataset", &DatHeader::dataset, false},
    {"subset", &DatHeader::subset, false},
    {"free_head", &DatHeader::free_head, true},
    {"free_tail", &DatHeader::free_tail, true},
    {"free_count", &DatHeader::free_count, false},
    {"root_offset", &DatHeader::root_offset, true},
    {"new_lru", &DatHeader::new_lru, true},
    {"old_lru", &DatHeader::old_lru, true},
    {"use_lru", &DatHeader::use_lru, true},
    {"master_map_id", &DatHeader::master_map_id, true},
    {"engine_version", &DatHeader::engine_version, false},
    {"game_version", &DatHeader::game_version, false},
    {"version_minor", &DatHeader::version_minor, false},
}};

std::string field_text(std::uint32_t value, bool hex) {
  return hex ? "0x" + hex8(value) : std::to_string(value);
}

std::string bytes_hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t byte : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", byte);
    text += digits;
  }
  return text;
}

// Counts of one type (the id's top byte) or of the whole comparison.
struct Tally {
  std::uint64_t added = 0, added_bytes = 0;
  std::uint64_t removed = 0, removed_bytes = 0;
  std::uint64_t changed = 0, changed_old_bytes = 0, changed_new_bytes = 0;
  std::uint64_t metadata = 0;
  std::uint64_t unchanged = 0;
  std::uint64_t unreadable = 0;
};

// One directory-entry field that changed while the content stayed the same.
struct MetadataChange {
  const char* name;
  std::string old_text, new_text;  // for the text line
  std::string old_json, new_json;  // JSON values
};

std::vector<MetadataChange> metadata_changes(const DatFileEntry& a, const DatFileEntry& b) {
  std::vector<MetadataChange> changes;
  if (a.version != b.version) {
    changes.push_back({"iteration", std::to_string(a.version), std::to_string(b.version),
                       std::to_string(a.version), std::to_string(b.version)});
  }
  if (a.timestamp != b.timestamp) {
    const std::string old_date = iso8601_utc(a.timestamp), new_date = iso8601_utc(b.timestamp);
    changes.push_back({"date", old_date, new_date, json_string(old_date), json_string(new_date)});
  }
  if (a.is_compressed() != b.is_compressed()) {
    changes.push_back({"compressed", a.is_compressed() ? "yes" : "no", b.is_compressed() ? "yes" : "no",
                       a.is_compressed() ? "true" : "false", b.is_compressed() ? "true" : "false"});
  }
  if (a.size != b.size) {
    changes.push_back({"stored_size", std::to_string(a.size), std::to_string(b.size),
                       std::to_string(a.size), std::to_string(b.size)});
  }
  return changes;
}

using Row = quorvane_dat::CombatManeuver;
using RowKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>;
RowKey row_key(const Row& row) {
  return {row.style, row.attack_height, row.attack_type, row.min_skill_level, row.motion};
}

// The rows of `from` that `against` lacks, counting repeated rows, in the
// order of `from`.
std::vector<Row> rows_missing_from(const std::vector<Row>& from, const std::vector<Row>& against) {
  std::map<RowKey, std::size_t> available;
  for (const Row& row : against) ++available[row_key(row)];
  std::vector<Row> missing;
  for (const Row& row : from) {
    std::size_t& count = available[row_key(row)];
    if (count > 0) {
      --count;
    } else {
      missing.push_back(row);
    }
  }
  return missing;
}

class DiffPrinter {
 public:
  explicit DiffPrinter(const DiffOptions& options) : options_(options) {}

  int status() const noexcept { return status_; }
  void trouble() noexcept { status_ = EXIT_TROUBLE; }

  void header_field(const char* name, const std::string& old_text, const std::string& new_text,
                    const std::string& old_json, const std::string& new_json) {
    different();
    if (options_.json) {
      print_line(
          JsonObject().add("header", name).add_json("old", old_json).add_json("new", new_json).str());
    } else {
      print_line(std::string("H ") + name + " " + old_text + " -> " + new_text);
    }
  }

  void compare_headers(const DatHeader& a, const DatHeader& b) {
    for (const HeaderField& field : HEADER_FIELDS) {
      const std::uint32_t old_value = a.*field.field, new_value = b.*field.field;
      if (old_value == new_value) continue;
      header_field(field.name, field_text(old_value, field.hex), field_text(new_value, field.hex),
                   field.hex ? json_string(field_text(old_value, true)) : std::to_string(old_value),
                   field.hex ? json_string(field_text(new_value, true)) : std::to_string(new_value));
    }
    if (a.version_string != b.version_string) {
      const std::string old_text = bytes_hex(a.version_string), new_text = bytes_hex(b.version_string);
      header_field("version_string", old_text, new_text, json_string(old_text), json_string(new_text));
    }
  }

  void added(const ComparedSide& item) {
    one_side(item, "added", "+ ", &Tally::added, &Tally::added_bytes);
  }
  void removed(const ComparedSide& item) {
    one_side(item, "removed", "- ", &Tally::removed, &Tally::removed_bytes);
  }

  // `records` holds the rows removed and added when they were asked for.
  void changed(const ComparedSide& a, const ComparedSide& b,
               const std::optional<std::pair<std::vector<Row>, std::vector<Row>>>& records) {
    different();
    count(a.entry.id, [&](Tally& t) {
      ++t.changed;
      t.changed_old_bytes += a.decoded_size;
      t.changed_new_bytes += b.decoded_size;
    });
    if (options_.stat) return;
    if (options_.json) {
      JsonObject object;
      object.add("change", "changed")
          .add("id", hex8(a.entry.id))
          .add("old_size", a.decoded_size)
          .add("new_size", b.decoded_size);
      if (records) {
        const auto array = [](const std::vector<Row>& rows) {
          std::string text = "[";
          for (const Row& row : rows) {
            if (text.size() > 1) text += ",";
            text += maneuver_row_json(row);
          }
          return text + "]";
        };
        object.add_json("records", JsonObject()
                                       .add_json("removed", array(records->first))
                                       .add_json("added", array(records->second))
                                       .str());
      }
      print_line(object.str());
      return;
    }
    print_line("M " + hex8(a.entry.id) + " " + std::to_string(a.decoded_size) + " -> " +
               std::to_string(b.decoded_size));
    if (!records) return;
    for (const Row& row : records->first) print_line("  - " + maneuver_row_text(row));
    for (const Row& row : records->second) print_line("  + " + maneuver_row_text(row));
  }

  void same_content(const ComparedSide& a, const ComparedSide& b) {
    const std::vector<MetadataChange> changes =
        options_.metadata ? metadata_changes(a.entry, b.entry) : std::vector<MetadataChange>{};
    if (changes.empty()) {
      count(a.entry.id, [](Tally& t) { ++t.unchanged; });
      return;
    }
    different();
    count(a.entry.id, [](Tally& t) { ++t.metadata; });
    if (options_.stat) return;
    if (options_.json) {
      JsonObject old_fields, new_fields;
      for (const MetadataChange& change : changes) {
        old_fields.add_json(change.name, change.old_json);
        new_fields.add_json(change.name, change.new_json);
      }
      print_line(JsonObject()
                     .add("change", "metadata")
                     .add("id", hex8(a.entry.id))
                     .add_json("old", old_fields.str())
                     .add_json("new", new_fields.str())
                     .str());
      return;
    }
    std::string line = "m " + hex8(a.entry.id);
    for (std::size_t i = 0; i < changes.size(); ++i) {
      line += i == 0 ? " " : ", ";
      line += std::string(changes[i].name) + " " + changes[i].old_text + " -> " + changes[i].new_text;
    }
    print_line(line);
  }

  void unreadable(const std::string& archive, const ComparedSide& item) {
    trouble();
    count(item.entry.id, [](Tally& t) { ++t.unreadable; });
    report_error(archive + ": " + hex8(item.entry.id) + ": " + *item.error);
  }

  // The --stat lines (one per type that differs) and the summary line.
  void finish() {
    if (options_.stat) {
      for (const auto& [type, t] : types_) {
        if (t.added + t.removed + t.changed + t.metadata == 0) continue;
        char name[8];
        std::snprintf(name, sizeof name, "%02X", type);
        if (options_.json) {
          JsonObject object;
          object.add("type", name)
              .add("added", t.added)
              .add("added_bytes", t.added_bytes)
              .add("removed", t.removed)
              .add("removed_bytes", t.removed_bytes)
              .add("changed", t.changed)
              .add("changed_old_bytes", t.changed_old_bytes)
              .add("changed_new_bytes", t.changed_new_bytes);
          if (options_.metadata) object.add("metadata", t.metadata);
          print_line(object.str());
          continue;
        }
        std::string line = std::string("0x") + name + ": " + std::to_string(t.added) + " added (" +
                           std::to_string(t.added_bytes) + " bytes), " + std::to_string(t.removed) +
                           " removed (" + std::to_string(t.removed_bytes) + " bytes), " +
                           std::to_string(t.changed) + " changed (" +
                           std::to_string(t.changed_old_bytes) + " -> " +
                           std::to_string(t.changed_new_bytes) + " bytes)";
        if (options_.metadata) line += ", " + std::to_string(t.metadata) + " metadata only";
        print_line(line);
      }
    }
    const Tally& t = total_;
    if (options_.json) {
      JsonObject object;
      object.add("added", t.added).add("removed", t.removed).add("changed", t.changed);
      if (options_.metadata) object.add("metadata", t.metadata);
      object.add("unchanged", t.unchanged).add("unreadable", t.unreadable);
      print_line(object.str());
      return;
    }
    std::string line = std::to_string(t.added) + " added, " + std::to_string(t.removed) + " removed, " +
                       std::to_string(t.changed) + " changed, ";
    if (options_.metadata) line += std::to_string(t.metadata) + " metadata only, ";
    line += std::to_string(t.unchanged) + " unchanged";
    if (t.unreadable != 0) line += ", " + std::to_string(t.unreadable) + " unreadable";
    print_line(line);
  }

 private:
  // An entry that only one archive holds: counted in `entries` and `bytes`.
  void one_side(const ComparedSide& item, const char* change, const char* mark,
                std::uint64_t Tally::*entries, std::uint64_t Tally::*bytes) {
    different();
    count(item.entry.id, [&](Tally& t) {
      ++(t.*entries);
      t.*bytes += item.decoded_size;
    });
    if (options_.stat) return;
    if (options_.json) {
      print_line(JsonObject()
                     .add("change", change)
                     .add("id", hex8(item.entry.id))
                     .add("size", item.decoded_size)
                     .str());
    } else {
      print_line(mark + hex8(item.entry.id) + " " + std::to_string(item.decoded_size));
    }
  }
  void different() noexcept {
    if (status_ == EXIT_SAME) status_ = EXIT_DIFFERENT;
  }
  template <typename Update>
  void count(std::uint32_t id, Update update) {
    update(total_);
    if (options_.stat) update(types_[static_cast<std::uint8_t>(id >> 24)]);
  }
  static void print_line(const std::string& line) { std::printf("%s\n", line.c_str()); }

  const DiffOptions& options_;
  int status_ = EXIT_SAME;
  Tally total_;
  std::map<std::uint8_t, Tally> types_;
};

// The rows removed from and added to the combat maneuver table, or nullopt
// (reported) when either side's table cannot be read.
std::optional<std::pair<std::vector<Row>, std::vector<Row>>> table_changes(
    const DiffOptions& options, const quorvane_dat::DatDatabase& old_database,
    const quorvane_dat::DatDatabase& new_database) {
  std::string error;
  const auto old_table = read_maneuver_table(old_database, error);
  if (!old_table) {
    report_error(options.old_archive + ": " + error);
    return std::nullopt;
  }
  const auto new_table = read_maneuver_table(new_database, error);
  if (!new_table) {
    report_error(options.new_archive + ": " + error);
    return std::nullopt;
  }
  return std::pair{rows_missing_from(old_table->combat_maneuvers, new_table->combat_maneuvers),
                   rows_missing_from(new_table->combat_maneuvers, old_table->combat_maneuvers)};
}

}  // namespace

int run_diff(const DiffOptions& options) {
  const ParsedSelection parsed = parse_selection(options.selection);
  if (parsed.error) {
    report_error(*parsed.error);
    return EXIT_TROUBLE;
  }
  // Both archives are opened at once; whatever fails is reported in the
  // order of the arguments.
  std::optional<quorvane_dat::DatResult<quorvane_dat::DatDatabase>> new_opened;
  std::optional<quorvane_dat::DatDatabase> old_database;
  side_by_side([&] { new_opened = quorvane_dat::DatDatabase::new_(options.new_archive); },
               [&] { old_database = open_archive(options.old_archive); });
  const auto new_database = opened_archive(options.new_archive, std::move(*new_opened));
  if (!old_database || !new_database) return EXIT_TROUBLE;
  const SelectedEntries old_selected = select_entries(old_database->files(), parsed.selection);
  const SelectedEntries new_selected = select_entries(new_database->files(), parsed.selection);

  DiffPrinter printer(options);
  // An id named on the command line that neither archive holds.
  for (const std::uint32_t id : old_selected.missing_ids) {
    if (new_database->files().contains(id)) continue;
    report_error(hex8(id) + ": in neither archive");
    printer.trouble();
  }

  const Comparison comparison =
      compare_archives(*old_database, old_selected.entries, *new_database, new_selected.entries,
                       reading_threads(options.threads, options.verbose));
  if (comparison.error) {
    report_error(*comparison.error);
    return EXIT_TROUBLE;
  }

  // The header concerns the whole archive: compared when no entries are selected.
  if (parsed.selection.empty()) printer.compare_headers(old_database->header(), new_database->header());

  for (const ComparedEntry& item : comparison.entries) {
    const ComparedSide& a = item.old_side;
    const ComparedSide& b = item.new_side;
    if (a.error || b.error) {
      // Counted once, reported for each side that failed.
      if (a.error) printer.unreadable(options.old_archive, a);
      if (b.error && a.error) {
        report_error(options.new_archive + ": " + hex8(item.id) + ": " + *b.error);
      } else if (b.error) {
        printer.unreadable(options.new_archive, b);
      }
    } else if (!b.present) {
      printer.removed(a);
    } else if (!a.present) {
      printer.added(b);
    } else if (item.same) {
      printer.same_content(a, b);
    } else {
      std::optional<std::pair<std::vector<Row>, std::vector<Row>>> records;
      if (options.records && !options.stat && item.id == COMBAT_MANEUVER_TABLE_ID) {
        records = table_changes(options, *old_database, *new_database);
        if (!records) printer.trouble();
      }
      printer.changed(a, b, records);
    }
  }
  printer.finish();
  if (!finish_stdout()) return EXIT_TROUBLE;
  return printer.status();
}

RunCommand add_diff_command(CLI::App& command) { return command_for(command, run_diff); }

}  // namespace portal_dat
