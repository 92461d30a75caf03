#include "tools/portal_dat/common_options.hpp"

#include <CLI/CLI.hpp>

namespace portal_dat {

void add_archive(CLI::App& command, std::string& archive) {
  command.add_option("ARCHIVE", archive, "the archive file (portal.dat)")->required();
}

void add_selection(CLI::App& command, SelectionArgs& selection) {
  command.add_option("IDS", selection.items,
                     "file ids or ranges FIRST-LAST in hexadecimal (default: every entry)");
  // One value per --type, which may be repeated, so that ids can follow it.
  command.add_option("--type", selection.types, "entries whose id has this top byte, e.g. 0x30")
      ->allow_extra_args(false)
      ->take_all();
}

void add_salvage(CLI::App& command, bool& salvage, std::string_view what) {
  command.add_flag(
      "--salvage", salvage,
      std::string(what) + " whose chain loops or whose body decodes short (still reported)");
}

void add_threads(CLI::App& command, ThreadOptions& options) {
  command
      .add_option("--threads", options.threads,
                  "threads that read and decode (default, and at most: the processors available)")
      ->check(CLI::Range(0U, 1024U));
  command.add_flag("-v,--verbose", options.verbose, "say when --threads is clamped to the processors");
}

}  // namespace portal_dat
