// portal_dat: look inside an archive, verify it and extract its files.
// The command table: each command's options, and the exit status of a
// command line that cannot be run.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>

#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace {

using namespace portal_dat;

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

void add_threads(CLI::App& command, unsigned& threads, bool& verbose) {
  command
      .add_option("--threads", threads,
                  "threads that read and decode (default, and at most: the processors available)")
      ->check(CLI::Range(0U, 1024U));
  command.add_flag("-v,--verbose", verbose, "say when --threads is clamped to the processors");
}

void add_diff_options(CLI::App& command, DiffOptions& diff) {
  command.add_option("OLD", diff.old_archive, "the older archive")->required();
  command.add_option("NEW", diff.new_archive, "the newer archive")->required();
  command.add_flag("--metadata", diff.metadata,
                   "also entries whose iteration, date, compression or stored size changed");
  command.add_flag("--json", diff.json, "one JSON object per difference, then the summary");
  CLI::Option* stat = command.add_flag("--stat", diff.stat, "counts and bytes per type instead of entries");
  command.add_flag("--records", diff.records, "the combat maneuver table's rows added and removed")
      ->excludes(stat);
}

void add_sum_options(CLI::App& command, SumOptions& sum) {
  command.add_option("-c,--check", sum.check, "check the archive against this manifest");
  add_archive(command, sum.archive);
  command.add_flag("-q,--quiet", sum.quiet, "with --check: print only the entries that fail");
  command.add_flag("--strict", sum.strict, "with --check: list and fail on entries not in the manifest");
}

// The commands, for naming an unknown one.
constexpr const char* COMMANDS[] = {"info", "ls", "cat", "extract", "verify", "tree", "cmt", "diff", "sum"};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Look inside an archive, verify it and extract its files."};
  app.name("portal_dat");
  app.require_subcommand(1);
  app.fallthrough(false);

  InfoOptions info;
  LsOptions ls;
  CatOptions cat;
  ExtractOptions extract;
  VerifyOptions verify;
  TreeOptions tree;
  CmtOptions cmt;
  DiffOptions diff;
  SumOptions sum;
  std::function<int()> run;

  CLI::App* info_command = app.add_subcommand("info", "the header's fields and the archive's totals");
  add_archive(*info_command, info.archive);
  info_command->add_flag("--json", info.json, "the fields and totals as one JSON object");
  info_command->callback([&] { run = [&] { return run_info(info); }; });

  CLI::App* ls_command = app.add_subcommand("ls", "one line per entry");
  add_archive(*ls_command, ls.archive);
  add_selection(*ls_command, ls.selection);
  std::string sort = "id";
  ls_command->add_option("--sort", sort, "order of the lines: id, offset or size (default: id)")
      ->check(CLI::IsMember({"id", "offset", "size"}));
  ls_command->add_flag("--json", ls.json, "one JSON object per line");
  ls_command->callback([&] {
    ls.sort = sort == "offset" ? SortKey::Offset : sort == "size" ? SortKey::Size : SortKey::Id;
    run = [&] { return run_ls(ls); };
  });

  CLI::App* cat_command = app.add_subcommand("cat", "one file's decoded bytes on standard output");
  add_archive(*cat_command, cat.archive);
  cat_command->add_option("ID", cat.id, "the file id in hexadecimal")->required();
  cat_command->add_flag("--raw", cat.raw, "the stored bytes, not decoded");
  cat_command->add_flag("--force", cat.force, "write even when standard output is a terminal");
  cat_command->add_flag("--salvage", cat.salvage,
                        "write a file whose chain loops or whose body decodes short (still reported)");
  cat_command->callback([&] { run = [&] { return run_cat(cat); }; });

  CLI::App* extract_command =
      app.add_subcommand("extract", "the selected entries to DIR/<8 hex digits>.bin");
  add_archive(*extract_command, extract.archive);
  add_selection(*extract_command, extract.selection);
  extract_command->add_option("-o,--output", extract.directory, "the directory to write into")
      ->required();
  extract_command->add_flag("--force", extract.force, "replace files that exist already");
  extract_command->add_flag("-q,--quiet", extract.quiet, "no progress line and no summary");
  extract_command->add_flag("--salvage", extract.salvage,
                            "extract files whose chain loops or whose body decodes short (still reported)");
  add_threads(*extract_command, extract.threads, extract.verbose);
  extract_command->callback([&] { run = [&] { return run_extract(extract); }; });

  CLI::App* verify_command = app.add_subcommand(
      "verify", "check the header, every chain, every compressed body and every byte's owner");
  add_archive(*verify_command, verify.archive);
  verify_command->add_flag("--json", verify.json, "one JSON object per finding and a summary");
  verify_command->add_flag("--strict", verify.strict, "warnings make the exit status 1 too");
  verify_command->add_flag("-q,--quiet", verify.quiet, "no progress line");
  add_threads(*verify_command, verify.threads, verify.verbose);
  verify_command->callback([&] { run = [&] { return run_verify(verify); }; });

  CLI::App* tree_command = app.add_subcommand("tree", "the directory nodes");
  add_archive(*tree_command, tree.archive);
  tree_command->callback([&] { run = [&] { return run_tree(tree); }; });

  CLI::App* cmt_command =
      app.add_subcommand("cmt", "the combat maneuver table with motion and stance names");
  add_archive(*cmt_command, cmt.archive);
  cmt_command->add_flag("--json", cmt.json, "the table as one JSON object");
  cmt_command->callback([&] { run = [&] { return run_cmt(cmt); }; });

  CLI::App* diff_command =
      app.add_subcommand("diff", "the entries and header fields that differ between OLD and NEW");
  add_diff_options(*diff_command, diff);
  add_selection(*diff_command, diff.selection);
  add_threads(*diff_command, diff.threads, diff.verbose);
  diff_command->callback([&] { run = [&] { return run_diff(diff); }; });

  CLI::App* sum_command =
      app.add_subcommand("sum", "a SHA-256 manifest of the decoded entries, or --check one");
  add_sum_options(*sum_command, sum);
  add_selection(*sum_command, sum.selection);
  add_threads(*sum_command, sum.threads, sum.verbose);
  sum_command->callback([&] { run = [&] { return run_sum(sum); }; });

  if (argc > 1 && argv[1][0] != '-' &&
      std::none_of(std::begin(COMMANDS), std::end(COMMANDS),
                   [&](const char* name) { return std::strcmp(name, argv[1]) == 0; })) {
    report_error(std::string("unknown command '") + argv[1] + "'");
    return EXIT_USAGE;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return EXIT_OK;
  } catch (const CLI::CallForAllHelp&) {
    std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
    return EXIT_OK;
  } catch (const CLI::ParseError& error) {
    // A subcommand's own --help lands here too, as CallForHelp from that subcommand.
    if (error.get_exit_code() == 0) return app.exit(error);
    report_error(std::string(error.what()) + " (see portal_dat --help)");
    return EXIT_USAGE;
  }
  return run ? run() : EXIT_USAGE;
}
