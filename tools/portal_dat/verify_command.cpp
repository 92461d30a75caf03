// verify: a structural check of the whole archive. The header against the
// file; every file's chain readable and its compressed body sound; every
// directory node's chain readable; no byte read by two chains, twice by one
// chain or from the reserved start of the archive; no id listed twice.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "quorvane_dat/lib/batch_reader.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/common_options.hpp"
#include "tools/portal_dat/json_writer.hpp"
#include "tools/portal_dat/ownership_map.hpp"
#include "tools/portal_dat/progress_line.hpp"
#include "tools/portal_dat/raw_archive.hpp"
#include "tools/portal_dat/tool_output.hpp"
#include "tools/portal_dat/verify_findings.hpp"
#include "tools/portal_dat/verify_header.hpp"

namespace portal_dat {

namespace {

using quorvane_dat::BatchFile;
using quorvane_dat::DatDatabase;
using quorvane_dat::DatError;
using quorvane_dat::DatFileEntry;

struct VerifyOptions : ThreadOptions {
  std::string archive;
  bool json = false;
  bool quiet = false;
  bool strict = false;  // warnings make the exit status 1 as problems do

  void add_to(CLI::App& command) {
    add_archive(command, archive);
    command.add_flag("--json", json, "one JSON object per finding and a summary");
    command.add_flag("--strict", strict, "warnings make the exit status 1 too");
    command.add_flag("-q,--quiet", quiet, "no progress line");
    add_threads(command, *this);
  }
};

// Directory nodes whose chains one read_batch call checks.
constexpr std::size_t NODES_PER_BATCH = std::size_t{1} << 16;

// An error of the library as one line of a finding.
std::string error_text(const DatError& error) { return error.plain(); }

// How verify reads chains: gathered and decoded, their blocks listed; no
// file's bytes are handed over, only what reading and decoding found.
quorvane_dat::BatchOptions check_options(unsigned threads) {
  quorvane_dat::BatchOptions batch;
  batch.threads = threads;
  batch.decode = true;
  batch.collect_blocks = true;
  batch.check_only = true;
  return batch;
}

// The directory as verify needs it: every node, and the node listing each entry.
struct DirectoryListing {
  struct Listing {
    std::uint32_t id;
    std::uint32_t node;
  };
  std::vector<std::uint32_t> nodes;  // first blocks, in the walk's order
  std::vector<Listing> listings;     // in the walk's order
  std::optional<DatError> error;
};

DirectoryListing list_directory(const DatDatabase& database) {
  struct Collector final : quorvane_dat::DirectoryVisitor {
    explicit Collector(DirectoryListing& listing) : out(listing) {}
    void on_node(const quorvane_dat::DirectoryNodeInfo& node) override {
      out.nodes.push_back(node.offset);
    }
    quorvane_dat::DatResult<void> on_entries(std::span<const DatFileEntry> entries) override {
      for (const DatFileEntry& entry : entries) out.listings.push_back({entry.id, out.nodes.back()});
      return {};
    }
    DirectoryListing& out;
  };
  DirectoryListing listing;
  Collector collector(listing);
  if (auto walked = database.visit_directory(collector); !walked) {
    listing.error = std::move(walked).error();
  }
  return listing;
}

// An id listed more than once: a warning for each listing after the first,
// naming the one before it; the index keeps the last one the walk reaches.
void report_duplicate_ids(std::vector<DirectoryListing::Listing> listings, FindingLog& log) {
  std::stable_sort(listings.begin(), listings.end(),
                   [](const auto& a, const auto& b) { return a.id < b.id; });
  for (std::size_t first = 0; first < listings.size();) {
    std::size_t end = first + 1;
    while (end < listings.size() && listings[end].id == listings[first].id) ++end;
    const std::uint32_t kept = listings[end - 1].node;
    for (std::size_t i = first + 1; i < end; ++i) {
      const std::uint32_t before = listings[i - 1].node;
      const std::uint32_t again = listings[i].node;
      const std::string where = before == again ? "listed twice in node " + hex_offset(again)
                                                : "listed in node " + hex_offset(before) +
                                                      " and again in node " + hex_offset(again);
      log.warning(finding_code::DUPLICATE_ID, Subject::file(listings[i].id), again,
                  where + "; the index keeps the one listed last, in node " + hex_offset(kept),
                  Subject::node(before));
    }
    first = end;
  }
}

// Findings of one chain read by read_batch: its error, its decoding, and a
// loop; its bytes go into the map.
void check_chain(const BatchFile& file, Subject subject, OwnershipMap& map,
                 const OwnershipMap::NextBlock& next_block, FindingLog& log) {
  const DatFileEntry& entry = *file.entry;
  if (file.error != nullptr) {
    log.problem(finding_code::UNREADABLE_CHAIN, subject, entry.offset,
                "its chain cannot be read: " + error_text(*file.error));
    return;
  }
  if (file.findings.short_output) {
    log.problem(finding_code::SHORT_DECODE, subject, entry.offset,
                "its compressed body declares " + std::to_string(file.declared_size) +
                    " bytes and decodes to fewer");
  }
  if (file.findings.back_reference_before_start) {
    log.problem(finding_code::BAD_BACK_REFERENCE, subject, entry.offset,
                "its compressed stream refers back before the start of its output");
  }
  if (const auto repeat = map.add_chain(subject, file.blocks, entry.size, next_block)) {
    log.problem(finding_code::CHAIN_LOOP, subject, *repeat,
                "its chain comes back to " + hex_offset(*repeat) + ", which it has read already");
  }
}

void print_summary(bool json, bool failed, std::uint64_t entries, std::uint64_t nodes,
                   const FindingLog& log) {
  if (json) {
    std::printf("%s\n", JsonObject()
                            .add("entries", entries)
                            .add("directory_nodes", nodes)
                            .add("problems", log.problems())
                            .add("warnings", log.warnings())
                            .str()
                            .c_str());
    return;
  }
  std::printf("%s: %llu entries, %llu directory nodes, %llu problem%s, %llu warning%s\n",
              failed ? "FAILED" : "ok", static_cast<unsigned long long>(entries),
              static_cast<unsigned long long>(nodes), static_cast<unsigned long long>(log.problems()),
              log.problems() == 1 ? "" : "s", static_cast<unsigned long long>(log.warnings()),
              log.warnings() == 1 ? "" : "s");
}

int finish(const VerifyOptions& options, std::uint64_t entries, std::uint64_t nodes,
           const FindingLog& log) {
  const bool failed = log.problems() != 0 || (options.strict && log.warnings() != 0);
  print_summary(options.json, failed, entries, nodes, log);
  if (!finish_stdout()) return EXIT_PROBLEM;
  return failed ? EXIT_PROBLEM : EXIT_OK;
}

// An archive the library cannot open: what its header says against the file,
// and why its directory cannot be read.
int verify_unopened(const VerifyOptions& options, const DatError& error) {
  auto opened = RawArchive::open(options.archive);
  const RawArchive* raw = std::get_if<RawArchive>(&opened);
  std::variant<std::optional<quorvane_dat::DatHeader>, std::string> header = std::string();
  if (raw != nullptr) header = raw->header();
  if (raw == nullptr || std::holds_alternative<std::string>(header)) {
    report_error("cannot open " + options.archive + ": " + error_text(error));
    return EXIT_PROBLEM;
  }
  FindingLog log(options.json, nullptr);
  const auto& read = std::get<std::optional<quorvane_dat::DatHeader>>(header);
  if (!read) {
    log.problem(finding_code::TRUNCATED, Subject::archive(), raw->length(),
                "the file ends at " + std::to_string(raw->length()) + " bytes, inside the header (" +
                    hex_offset(quorvane_dat::HEADER_OFFSET) + ".." + hex_offset(RESERVED_END) + ")");
  } else {
    check_header(*read, raw->length(), log);
    log.problem(finding_code::DIRECTORY_UNREADABLE, Subject::archive(), read->root_offset,
                "the directory cannot be read: " + error_text(error));
  }
  return finish(options, 0, 0, log);
}

int verify_opened(const VerifyOptions& options, const DatDatabase& database) {
  std::uint64_t total_bytes = 0;
  for (const auto& item : database.files()) total_bytes += item.second.size;
  ProgressLine progress(database.files().size(), total_bytes, options.quiet);
  FindingLog log(options.json, &progress);
  check_header(database.header(), database.archive_length(), log);

  // Block pointers the map asks for, read on a descriptor of verify's own.
  auto opened = RawArchive::open(options.archive);
  if (const auto* failure = std::get_if<std::string>(&opened)) {
    report_error("cannot open " + options.archive + ": " + *failure);
    return EXIT_PROBLEM;
  }
  const RawArchive& raw = std::get<RawArchive>(opened);
  OwnershipMap map(database.header().block_size);
  const OwnershipMap::NextBlock next_block = [&](std::uint32_t block) -> std::optional<std::uint32_t> {
    const std::optional<std::uint32_t> next = raw.read_u32(block);
    if (!next || *next == 0) return std::nullopt;
    return next;
  };

  DirectoryListing directory = list_directory(database);
  if (directory.error) {
    log.problem(finding_code::DIRECTORY_UNREADABLE, Subject::archive(), database.header().root_offset,
                "the directory cannot be read: " + error_text(*directory.error));
  }
  map.reserve(database.files().size() + directory.nodes.size());

  const unsigned threads = reading_threads(options.threads, options.verbose);
  std::uint64_t entries = 0;
  const auto files_read =
      quorvane_dat::read_batch(database, check_options(threads), [&](const BatchFile& file) {
        ++entries;
        progress.advance(file.entry->size);
        check_chain(file, Subject::file(file.entry->id), map, next_block, log);
        return true;
      });
  progress.clear();
  if (!files_read) {
    report_error("cannot read the archive's files: " + error_text(files_read.error()));
    return EXIT_PROBLEM;
  }

  // The nodes' chains, read like files of 1716 bytes each, a slice of the
  // nodes at a time so that their entries (and the batch's copy of them)
  // stay small however many nodes there are.
  std::vector<DatFileEntry> node_chains;
  for (std::size_t first = 0; first < directory.nodes.size(); first += NODES_PER_BATCH) {
    const std::size_t end = std::min(directory.nodes.size(), first + NODES_PER_BATCH);
    node_chains.clear();
    for (std::size_t i = first; i < end; ++i) {
      DatFileEntry chain;
      chain.offset = directory.nodes[i];
      chain.size = quorvane_dat::NODE_SIZE;
      node_chains.push_back(chain);
    }
    const auto nodes_read = quorvane_dat::read_batch(
        database, node_chains, check_options(threads), [&](const BatchFile& file) {
          check_chain(file, Subject::node(file.entry->offset), map, next_block, log);
          return true;
        });
    if (!nodes_read) {
      report_error("cannot read the directory's nodes: " + error_text(nodes_read.error()));
      return EXIT_PROBLEM;
    }
  }
  std::vector<DatFileEntry>().swap(node_chains);
  report_duplicate_ids(std::move(directory.listings), log);

  map.check([&](const OwnershipMap::Overlap& overlap) {
    const std::string bytes = std::to_string(overlap.bytes) + (overlap.bytes == 1 ? " byte" : " bytes");
    if (!overlap.other) {
      log.problem(finding_code::RESERVED_RANGE, overlap.owner, overlap.offset,
                  "its chain reads " + bytes + " of the header or the bytes before it (below " +
                      hex_offset(RESERVED_END) + ")");
      return;
    }
    log.problem(finding_code::RANGE_SHARED, overlap.owner, overlap.offset,
                "its chain reads " + bytes + " from here that " + overlap.other->label() + " reads too",
                overlap.other);
  });
  return finish(options, entries, directory.nodes.size(), log);
}

int run_verify(const VerifyOptions& options) {
  try {
    auto database = DatDatabase::new_(options.archive);
    if (!database) {
      if (database.error().as<DatError::PathError>() != nullptr) {
        report_error("cannot open " + options.archive + ": " + error_text(database.error()));
        return EXIT_PROBLEM;
      }
      return verify_unopened(options, database.error());
    }
    return verify_opened(options, *database);
  } catch (const std::bad_alloc&) {
    report_error("out of memory while verifying " + options.archive);
  } catch (const std::length_error&) {
    report_error("out of memory while verifying " + options.archive);
  }
  return EXIT_PROBLEM;
}

}  // namespace

RunCommand add_verify_command(CLI::App& command) { return command_for(command, run_verify); }

}  // namespace portal_dat
