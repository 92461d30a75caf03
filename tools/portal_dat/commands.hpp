// The command table of portal_dat. Each command lives in its own file: its
// options, what fills them from the command line, and what runs it. Adding a
// command is that file, its line in the table and its declaration here.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace CLI {
class App;
}

namespace portal_dat {

// Exit statuses: all went well, a problem was found or something failed, and
// a command line that cannot be run.
inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_PROBLEM = 1;
inline constexpr int EXIT_USAGE = 2;

// Runs a command with the options its command line gave; returns the
// process's exit status.
using RunCommand = std::function<int()>;

// Adds a command's arguments and options to `command` and returns what runs
// it once the command line has been parsed into them.
using AddCommand = RunCommand (*)(CLI::App& command);

// A command whose options are an `Options`: its add_to(command) puts them on
// the command line, and `run` runs the command with what they were given.
template <class Options>
RunCommand command_for(CLI::App& command, int (*run)(const Options&)) {
  auto options = std::make_shared<Options>();
  options->add_to(command);
  return [options, run] { return run(*options); };
}

struct Command {
  std::string_view name;
  std::string_view help;  // one line, shown in portal_dat --help
  AddCommand add;
};

RunCommand add_info_command(CLI::App& command);
RunCommand add_ls_command(CLI::App& command);
RunCommand add_cat_command(CLI::App& command);
RunCommand add_extract_command(CLI::App& command);
RunCommand add_verify_command(CLI::App& command);
RunCommand add_tree_command(CLI::App& command);
RunCommand add_cmt_command(CLI::App& command);
// diff exits 0 when nothing differs, 1 when something does, 2 on trouble.
RunCommand add_diff_command(CLI::App& command);
RunCommand add_sum_command(CLI::App& command);

// The commands in the order portal_dat --help lists them.
inline constexpr Command COMMANDS[] = {
    {"info", "the header's fields and the archive's totals", add_info_command},
    {"ls", "one line per entry", add_ls_command},
    {"cat", "one file's decoded bytes on standard output", add_cat_command},
    {"extract", "the selected entries to DIR/<8 hex digits>.bin", add_extract_command},
    {"verify", "check the header, every chain, every compressed body and every byte's owner",
     add_verify_command},
    {"tree", "the directory nodes", add_tree_command},
    {"cmt", "the combat maneuver table with motion and stance names", add_cmt_command},
    {"diff", "the entries and header fields that differ between OLD and NEW", add_diff_command},
    {"sum", "a SHA-256 manifest of the decoded entries, or --check one", add_sum_command},
};

}  // namespace portal_dat
