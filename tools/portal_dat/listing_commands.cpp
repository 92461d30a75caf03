// info, ls and tree: what an archive holds, read from its header and directory.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/common_options.hpp"
#include "tools/portal_dat/directory_nodes.hpp"
#include "tools/portal_dat/json_writer.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

namespace {

struct InfoOptions {
  std::string archive;
  bool json = false;

  void add_to(CLI::App& command) {
    add_archive(command, archive);
    command.add_flag("--json", json, "the fields and totals as one JSON object");
  }
};

struct LsOptions {
  std::string archive;
  SelectionArgs selection;
  std::string sort = "id";
  bool json = false;

  void add_to(CLI::App& command) {
    add_archive(command, archive);
    add_selection(command, selection);
    command.add_option("--sort", sort, "order of the lines: id, offset or size (default: id)")
        ->check(CLI::IsMember({"id", "offset", "size"}));
    command.add_flag("--json", json, "one JSON object per line");
  }
};

struct TreeOptions {
  std::string archive;

  void add_to(CLI::App& command) { add_archive(command, archive); }
};

// The fields of info, one line each, or members of one JSON object
// (numbers as numbers, hexadecimal fields and bytes as strings).
class InfoFields {
 public:
  explicit InfoFields(bool json) : json_(json) {}
  void text(const char* name, const std::string& value) {
    if (json_) {
      object_.add(name, value);
    } else {
      std::printf("%-18s %s\n", name, value.c_str());
    }
  }
  void hex(const char* name, std::uint32_t value) { text(name, "0x" + hex8(value)); }
  void count(const char* name, std::uint64_t value) {
    if (json_) {
      object_.add(name, value);
    } else {
      text(name, std::to_string(value));
    }
  }
  void finish() {
    if (json_) std::printf("%s\n", object_.str().c_str());
  }

 private:
  bool json_;
  JsonObject object_;
};

int run_info(const InfoOptions& options) {
  const auto database = open_archive(options.archive);
  if (!database) return EXIT_PROBLEM;
  int status = EXIT_OK;

  const quorvane_dat::DatHeader& header = database->header();
  InfoFields fields(options.json);
  const auto print_hex = [&](const char* name, std::uint32_t value) { fields.hex(name, value); };
  const auto print_count = [&](const char* name, std::uint64_t value) { fields.count(name, value); };
  const auto print_field = [&](const char* name, const std::string& value) { fields.text(name, value); };
  print_hex("magic", header.magic);
  print_count("block_size", header.block_size);
  print_count("file_size", header.file_size);
  print_count("dataset", header.dataset);
  print_count("subset", header.subset);
  print_hex("free_head", header.free_head);
  print_hex("free_tail", header.free_tail);
  print_count("free_count", header.free_count);
  print_hex("root_offset", header.root_offset);
  print_hex("new_lru", header.new_lru);
  print_hex("old_lru", header.old_lru);
  print_hex("use_lru", header.use_lru);
  print_hex("master_map_id", header.master_map_id);
  print_count("engine_version", header.engine_version);
  print_count("game_version", header.game_version);
  // Raw bytes, shown in hexadecimal: the field is not text.
  std::string version_string;
  for (const std::uint8_t byte : header.version_string) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", byte);
    version_string += digits;
  }
  print_field("version_string", version_string);
  print_count("version_minor", header.version_minor);

  std::uint64_t compressed = 0;
  std::uint64_t stored_bytes = 0;
  std::uint64_t decoded_bytes = 0;
  for (const auto& [id, entry] : database->files()) {
    stored_bytes += entry.size;
    if (!entry.is_compressed()) {
      decoded_bytes += entry.size;
      continue;
    }
    ++compressed;
    const auto declared = database->decoded_size(id);
    if (!declared) {
      report_error(hex8(id) + ": " + declared.error().plain());
      status = EXIT_PROBLEM;
      continue;
    }
    decoded_bytes += *declared;
  }
  const DirectoryNodes directory = collect_directory_nodes(*database);
  std::uint32_t levels = 0;
  for (const auto& node : directory.nodes) levels = std::max(levels, node.depth + 1);

  print_count("entries", database->files().size());
  print_count("directory_nodes", directory.nodes.size());
  print_count("directory_depth", levels);
  print_count("compressed", compressed);
  print_count("stored_bytes", stored_bytes);
  print_count("decoded_bytes", decoded_bytes);
  print_count("archive_length", database->archive_length());
  fields.finish();
  if (directory.error) {
    report_error("directory: " + directory.error->plain());
    status = EXIT_PROBLEM;
  }
  return finish_stdout() ? status : EXIT_PROBLEM;
}

int run_ls(const LsOptions& options) {
  OpenedSelection opened = open_selection(options.archive, options.selection);
  if (!opened.database) return opened.status;
  SelectedEntries& selected = opened.selected;
  std::vector<quorvane_dat::DatFileEntry>& entries = selected.entries;
  const auto by = [&](auto key) {
    std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
      return key(a) != key(b) ? key(a) < key(b) : a.id < b.id;
    });
  };
  if (options.sort == "offset") {
    by([](const quorvane_dat::DatFileEntry& e) { return e.offset; });
  } else if (options.sort == "size") {
    by([](const quorvane_dat::DatFileEntry& e) { return e.size; });
  } else {
    by([](const quorvane_dat::DatFileEntry& e) { return e.id; });
  }

  for (const quorvane_dat::DatFileEntry& entry : entries) {
    if (options.json) {
      const std::string line = JsonObject()
                                   .add("id", hex8(entry.id))
                                   .add("size", std::uint64_t{entry.size})
                                   .add_bool("compressed", entry.is_compressed())
                                   .add("offset", std::uint64_t{entry.offset})
                                   .add("date", iso8601_utc(entry.timestamp))
                                   .add("iteration", std::uint64_t{entry.version})
                                   .str();
      std::printf("%s\n", line.c_str());
    } else {
      std::printf("%s %10u %c 0x%08X %s %u\n", hex8(entry.id).c_str(), entry.size,
                  entry.is_compressed() ? 'C' : '-', entry.offset, iso8601_utc(entry.timestamp).c_str(),
                  entry.version);
    }
  }
  int status = finish_stdout() ? EXIT_OK : EXIT_PROBLEM;
  for (const std::uint32_t id : selected.missing_ids) {
    report_error(hex8(id) + ": not in the archive");
    status = EXIT_PROBLEM;
  }
  return status;
}

int run_tree(const TreeOptions& options) {
  const auto database = open_archive(options.archive);
  if (!database) return EXIT_PROBLEM;
  const DirectoryNodes directory = collect_directory_nodes(*database);
  for (const quorvane_dat::DirectoryNodeInfo& node : directory.nodes) {
    std::printf("%*s0x%08X depth %u, %u entries, %u children\n",
                static_cast<int>(std::min<std::uint32_t>(node.depth, 1000) * 2), "", node.offset,
                node.depth, node.entry_count, node.child_count);
  }
  int status = finish_stdout() ? EXIT_OK : EXIT_PROBLEM;
  if (directory.error) {
    report_error("directory: " + directory.error->plain());
    status = EXIT_PROBLEM;
  }
  return status;
}

}  // namespace

RunCommand add_info_command(CLI::App& command) { return command_for(command, run_info); }
RunCommand add_ls_command(CLI::App& command) { return command_for(command, run_ls); }
RunCommand add_tree_command(CLI::App& command) { return command_for(command, run_tree); }

}  // namespace portal_dat
