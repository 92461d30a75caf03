// cmt: the combat maneuver table, decoded, with the names of its stances and
// motions from the program's motion command table.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/common_options.hpp"
#include "tools/portal_dat/json_writer.hpp"
#include "tools/portal_dat/maneuver_format.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

namespace {

struct CmtOptions {
  std::string archive;
  bool json = false;

  void add_to(CLI::App& command) {
    add_archive(command, archive);
    command.add_flag("--json", json, "the table as one JSON object");
  }
};

int run_cmt(const CmtOptions& options) {
  const auto database = open_archive(options.archive);
  if (!database) return EXIT_PROBLEM;
  std::string error;
  const auto table = read_maneuver_table(*database, error);
  if (!table) {
    report_error(error);
    return EXIT_PROBLEM;
  }

  if (options.json) {
    std::string rows = "[";
    for (const quorvane_dat::CombatManeuver& row : table->combat_maneuvers) {
      if (rows.size() > 1) rows += ",";
      rows += maneuver_row_json(row);
    }
    rows += "]";
    std::printf(
        "%s\n",
        JsonObject().add("id", hex8(table->id)).add_json("combat_maneuvers", rows).str().c_str());
  } else {
    std::printf("combat maneuver table 0x%s: %zu maneuvers\n", hex8(table->id).c_str(),
                table->combat_maneuvers.size());
    for (const quorvane_dat::CombatManeuver& row : table->combat_maneuvers) {
      std::printf("%s\n", maneuver_row_text(row).c_str());
    }
  }
  return finish_stdout() ? EXIT_OK : EXIT_PROBLEM;
}

}  // namespace

RunCommand add_cmt_command(CLI::App& command) { return command_for(command, run_cmt); }

}  // namespace portal_dat
