// portal_dat: look inside an archive, verify it and extract its files.
// Sets up one subcommand per row of the command table, and gives the exit
// status of a command line that cannot be run.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>

#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace {

using namespace portal_dat;

bool is_command(std::string_view name) {
  return std::any_of(std::begin(COMMANDS), std::end(COMMANDS),
                     [&](const Command& command) { return command.name == name; });
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Look inside an archive, verify it and extract its files."};
  app.name("portal_dat");
  app.require_subcommand(1);
  app.fallthrough(false);

  // The command the line names, set once its options are parsed.
  RunCommand run;
  for (const Command& command : COMMANDS) {
    CLI::App* subcommand = app.add_subcommand(std::string(command.name), std::string(command.help));
    subcommand->callback([&run, body = command.add(*subcommand)] { run = body; });
  }

  if (argc > 1 && argv[1][0] != '-' && !is_command(argv[1])) {
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
