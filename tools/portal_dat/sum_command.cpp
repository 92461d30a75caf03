// sum: a manifest of the archive's entries in the form sha256sum writes and
// reads (the SHA-256 of each entry's decoded bytes, two spaces, the name
// extract gives its file), and --check of such a manifest.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/common_options.hpp"
#include "tools/portal_dat/entry_digests.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

namespace {

struct SumOptions : ThreadOptions {
  std::string archive;
  SelectionArgs selection;
  std::string check;  // the manifest to check against; empty: write one
  bool quiet = false;
  bool strict = false;

  void add_to(CLI::App& command) {
    command.add_option("-c,--check", check, "check the archive against this manifest");
    add_archive(command, archive);
    command.add_flag("-q,--quiet", quiet, "with --check: print only the entries that fail");
    command.add_flag("--strict", strict, "with --check: list and fail on entries not in the manifest");
    add_selection(command, selection);
    add_threads(command, *this);
  }
};

// One checksum line of a manifest.
struct ManifestLine {
  std::string name;
  std::optional<std::uint32_t> id;  // when the name is one extract gives
  Sha256Digest digest{};
};

struct Manifest {
  std::vector<ManifestLine> lines;
  std::uint64_t improper = 0;  // lines that are no checksum line
};

// The id of a file name extract gives ("0600000A.bin", also after a
// directory), or nullopt.
std::optional<std::uint32_t> id_of_name(std::string_view name) {
  if (const std::size_t slash = name.rfind('/'); slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  if (name.size() != 12 || !name.ends_with(".bin")) return std::nullopt;
  const std::string digits(name.substr(0, 8));
  if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
  return parse_hex(digits);
}

// A name as sha256sum writes it on a line that starts with a backslash:
// "\\" for a backslash and "\n" for a newline; nullopt for any other escape.
std::optional<std::string> unescape_name(std::string_view text) {
  std::string name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      name.push_back(text[i]);
    } else if (++i < text.size() && (text[i] == '\\' || text[i] == 'n')) {
      name.push_back(text[i] == 'n' ? '\n' : '\\');
    } else {
      return std::nullopt;
    }
  }
  return name;
}

// The name as sha256sum -c prints it: as it is, unless it holds a newline,
// which would break the line; then escaped as above, behind a backslash.
std::string shown_name(const std::string& name) {
  if (name.find('\n') == std::string::npos) return name;
  std::string shown = "\\";
  for (const char c : name) shown += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
  return shown;
}

// "DIGEST  NAME" or "DIGEST *NAME" (sha256sum's text and binary forms), or
// "SHA256 (NAME) = DIGEST" (its tagged form); either behind a backslash when
// the name is escaped.
std::optional<ManifestLine> parse_line(std::string_view text) {
  ManifestLine line;
  std::optional<Sha256Digest> digest;
  const bool escaped = text.starts_with('\\');
  if (escaped) text.remove_prefix(1);
  if (text.starts_with("SHA256 (")) {
    const std::size_t close = text.rfind(") = ");
    if (close == std::string_view::npos || close < 8) return std::nullopt;
    line.name = text.substr(8, close - 8);
    digest = parse_digest_hex(text.substr(close + 4));
  } else {
    if (text.size() < 67 || text[64] != ' ' || (text[65] != ' ' && text[65] != '*')) return std::nullopt;
    digest = parse_digest_hex(text.substr(0, 64));
    line.name = text.substr(66);
  }
  if (escaped) {
    std::optional<std::string> name = unescape_name(line.name);
    if (!name) return std::nullopt;
    line.name = std::move(*name);
  }
  if (!digest || line.name.empty()) return std::nullopt;
  line.digest = *digest;
  line.id = id_of_name(line.name);
  return line;
}

std::optional<Manifest> read_manifest(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    report_error("cannot read " + path + ": " + std::strerror(errno));
    return std::nullopt;
  }
  Manifest manifest;
  for (std::string text; std::getline(in, text);) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty() || text.front() == '#') continue;
    if (auto line = parse_line(text)) {
      manifest.lines.push_back(std::move(*line));
    } else {
      ++manifest.improper;
    }
  }
  if (in.bad()) {
    report_error("cannot read " + path + ": " + std::strerror(errno));
    return std::nullopt;
  }
  return manifest;
}

// "1 line is" / "2 lines are": the warnings' counted nouns.
std::string counted(std::uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

const EntryDigest* find_digest(const std::vector<EntryDigest>& digests, std::uint32_t id) {
  const auto found =
      std::lower_bound(digests.begin(), digests.end(), id,
                       [](const EntryDigest& item, std::uint32_t key) { return item.entry.id < key; });
  return found != digests.end() && found->entry.id == id ? &*found : nullptr;
}

int run_check(const SumOptions& options) {
  if (!options.selection.items.empty() || !options.selection.types.empty()) {
    report_error("--check takes no ids or --type: the manifest names the entries");
    return EXIT_USAGE;
  }
  const auto database = open_archive(options.archive);
  if (!database) return EXIT_PROBLEM;
  const std::optional<Manifest> manifest = read_manifest(options.check);
  if (!manifest) return EXIT_PROBLEM;
  if (manifest->lines.empty()) {
    report_error(options.check + ": no properly formatted checksum lines found");
    return EXIT_PROBLEM;
  }

  // Only the entries the manifest names are read.
  std::vector<std::uint32_t> named;
  for (const ManifestLine& line : manifest->lines) {
    if (line.id) named.push_back(*line.id);
  }
  std::sort(named.begin(), named.end());
  named.erase(std::unique(named.begin(), named.end()), named.end());
  std::vector<quorvane_dat::DatFileEntry> selection;
  for (const std::uint32_t id : named) {
    if (const quorvane_dat::DatFileEntry* found = database->files().find(id))
      selection.push_back(*found);
  }
  const DigestRun run =
      digest_entries(*database, selection, reading_threads(options.threads, options.verbose));
  if (run.error) {
    report_error(*run.error);
    return EXIT_PROBLEM;
  }

  std::uint64_t mismatched = 0, unread = 0, extra = 0;
  for (const ManifestLine& line : manifest->lines) {
    const EntryDigest* item = line.id ? find_digest(run.entries, *line.id) : nullptr;
    const std::string name = shown_name(line.name);
    if (item == nullptr) {
      ++unread;
      std::printf("%s: missing\n", name.c_str());
    } else if (item->error) {
      ++unread;
      report_error(name + ": " + *item->error);
      std::printf("%s: FAILED open or read\n", name.c_str());
    } else if (item->digest != line.digest) {
      ++mismatched;
      std::printf("%s: FAILED\n", name.c_str());
    } else if (!options.quiet) {
      std::printf("%s: OK\n", name.c_str());
    }
  }
  if (options.strict) {
    std::vector<std::uint32_t> unnamed;
    for (const auto& item : database->files()) {
      if (!std::binary_search(named.begin(), named.end(), item.first)) unnamed.push_back(item.first);
    }
    std::sort(unnamed.begin(), unnamed.end());
    extra = unnamed.size();
    for (const std::uint32_t id : unnamed)
      std::printf("%s: not in the manifest\n", entry_file_name(id).c_str());
  }
  const bool written = finish_stdout();
  // The warnings sha256sum -c gives, in its order.
  if (manifest->improper != 0) {
    report_error("WARNING: " + counted(manifest->improper, "line is", "lines are") +
                 " improperly formatted");
  }
  if (unread != 0)
    report_error("WARNING: " + counted(unread, "listed file", "listed files") + " could not be read");
  if (mismatched != 0) {
    report_error("WARNING: " + counted(mismatched, "computed checksum", "computed checksums") +
                 " did NOT match");
  }
  if (extra != 0) {
    report_error("WARNING: " + counted(extra, "entry of the archive is", "entries of the archive are") +
                 " not in the manifest");
  }
  const bool failed = mismatched + unread != 0 || (options.strict && extra + manifest->improper != 0);
  return failed || !written ? EXIT_PROBLEM : EXIT_OK;
}

}  // namespace

int run_sum(const SumOptions& options) {
  if (!options.check.empty()) return run_check(options);
  OpenedSelection opened = open_selection(options.archive, options.selection);
  if (!opened.database) return opened.status;
  int status = EXIT_OK;
  for (const std::uint32_t id : opened.selected.missing_ids) {
    report_error(hex8(id) + ": not in the archive");
    status = EXIT_PROBLEM;
  }
  const DigestRun run = digest_entries(*opened.database, opened.selected.entries,
                                       reading_threads(options.threads, options.verbose));
  if (run.error) {
    report_error(*run.error);
    return EXIT_PROBLEM;
  }
  for (const EntryDigest& item : run.entries) {
    if (item.error) {
      report_error(hex8(item.entry.id) + ": " + *item.error);
      status = EXIT_PROBLEM;
      continue;
    }
    std::printf("%s  %s\n", to_hex(item.digest).c_str(), entry_file_name(item.entry.id).c_str());
  }
  return finish_stdout() ? status : EXIT_PROBLEM;
}

RunCommand add_sum_command(CLI::App& command) { return command_for(command, run_sum); }

}  // namespace portal_dat
