// verify: every entry's chain reads, every compressed body decodes to the
// size it declares, and no block serves two chains (files or directory nodes).
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quorvane_dat/lib/batch_reader.hpp"
#include "quorvane_dat/lib/dat_format.hpp"
#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/directory_nodes.hpp"
#include "tools/portal_dat/json_writer.hpp"
#include "tools/portal_dat/progress_line.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

namespace {

// The owner of a chain: a file (by id) or a directory node (by offset).
struct Owner {
  bool is_node = false;
  std::uint32_t key = 0;

  std::string label() const { return is_node ? "node 0x" + hex8(key) : "file " + hex8(key); }
};

// Prints problems as they are found, one line each, and counts them.
class ProblemLog {
 public:
  ProblemLog(bool json, ProgressLine& progress) : json_(json), progress_(progress) {}

  void add(const Owner& owner, const std::string& text) {
    ++count_;
    progress_.clear();
    if (json_) {
      JsonObject object;
      if (owner.is_node) {
        object.add("node", std::uint64_t{owner.key});
      } else {
        object.add("id", hex8(owner.key));
      }
      std::printf("%s\n", object.add("error", text).str().c_str());
    } else if (owner.is_node) {
      std::printf("node 0x%s: %s\n", hex8(owner.key).c_str(), text.c_str());
    } else {
      std::printf("%s: %s\n", hex8(owner.key).c_str(), text.c_str());
    }
  }
  std::uint64_t count() const noexcept { return count_; }

 private:
  bool json_;
  ProgressLine& progress_;
  std::uint64_t count_ = 0;
};

// Every block read by a chain, with the chain that read it, compared once
// all chains are known. Eight bytes per block.
class BlockUses {
 public:
  void add(const Owner& owner, std::span<const std::uint32_t> blocks) {
    const auto index = static_cast<std::uint32_t>(owners_.size());
    owners_.push_back(owner);
    for (const std::uint32_t block : blocks) uses_.push_back({block, index});
  }

  // Reports each pair of chains that share blocks once, on the later owner,
  // with the number of shared blocks and the first of them.
  void report_shared(ProblemLog& log) {
    std::sort(uses_.begin(), uses_.end());
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::pair<std::uint64_t, std::uint32_t>> shared;
    std::size_t first = 0;  // the first use of the current block
    for (std::size_t i = 1; i < uses_.size(); ++i) {
      if (uses_[i].block != uses_[i - 1].block) {
        first = i;
        continue;
      }
      auto& [count, block] = shared[{uses_[i].owner, uses_[first].owner}];
      if (count++ == 0) block = uses_[i].block;
    }
    for (const auto& [pair, found] : shared) {
      const Owner& later = owners_[pair.first];
      const Owner& earlier = owners_[pair.second];
      const std::string blocks = found.first == 1 ? "block" : std::to_string(found.first) + " blocks";
      const std::string whom = pair.first == pair.second ? "its own chain twice"
                                                         : earlier.label();
      log.add(later, blocks + " from 0x" + hex8(found.second) + " also serve " + whom);
    }
  }

 private:
  struct Use {
    std::uint32_t block;
    std::uint32_t owner;
    friend auto operator<=>(const Use&, const Use&) = default;
  };
  std::vector<Owner> owners_;
  std::vector<Use> uses_;
};

}  // namespace

int run_verify(const VerifyOptions& options) {
  const auto database = open_archive(options.archive);
  if (!database) return EXIT_PROBLEM;

  std::uint64_t total_bytes = 0;
  for (const auto& item : database->files()) total_bytes += item.second.size;
  ProgressLine progress(database->files().size(), total_bytes, options.quiet);
  ProblemLog log(options.json, progress);
  BlockUses uses;

  quorvane_dat::BatchOptions batch;
  batch.threads = reading_threads(options.threads, options.verbose);
  batch.decode = true;
  batch.collect_blocks = true;
  // No file's bytes are handed over: only what reading and decoding found.
  batch.check_only = true;
  std::uint64_t entries = 0;
  const auto ran = quorvane_dat::read_batch(
      *database, {}, batch, [&](const quorvane_dat::BatchFile& file) {
        ++entries;
        progress.advance(file.entry->size);
        const Owner owner{false, file.entry->id};
        if (file.error != nullptr) {
          log.add(owner, file.error->display());
        } else if (file.findings.short_output) {
          log.add(owner, "decodes to fewer bytes than the " + std::to_string(file.declared_size) +
                             " its body declares");
        }
        uses.add(owner, file.blocks);
        return true;
      });
  progress.clear();
  if (!ran) {
    report_error("cannot read the archive's files: " + ran.error().plain());
    return EXIT_PROBLEM;
  }

  const DirectoryNodes directory = collect_directory_nodes(*database);
  for (const quorvane_dat::DirectoryNodeInfo& node : directory.nodes) {
    const Owner owner{true, node.offset};
    auto blocks = database->chain_blocks(node.offset, quorvane_dat::NODE_SIZE);
    if (!blocks) {
      log.add(owner, blocks.error().display());
      continue;
    }
    uses.add(owner, *blocks);
  }
  if (directory.error) log.add(Owner{true, database->header().root_offset},
                               "directory walk: " + directory.error->display());
  uses.report_shared(log);

  if (options.json) {
    std::printf("%s\n", JsonObject()
                            .add("entries", entries)
                            .add("directory_nodes", std::uint64_t{directory.nodes.size()})
                            .add("problems", log.count())
                            .str()
                            .c_str());
  } else {
    std::printf("%s: %llu entries, %zu directory nodes, %llu problem%s\n",
                log.count() == 0 ? "ok" : "FAILED", static_cast<unsigned long long>(entries),
                directory.nodes.size(), static_cast<unsigned long long>(log.count()),
                log.count() == 1 ? "" : "s");
  }
  if (!finish_stdout()) return EXIT_PROBLEM;
  return log.count() == 0 ? EXIT_OK : EXIT_PROBLEM;
}

}  // namespace portal_dat
