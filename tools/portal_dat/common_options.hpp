// The arguments and options several commands take, added alike to each.
#pragma once

#include <string>

#include "tools/portal_dat/selection.hpp"

namespace CLI {
class App;
}

namespace portal_dat {

// ARCHIVE, required: the archive's path.
void add_archive(CLI::App& command, std::string& archive);

// IDS and --type: which entries (default: every entry).
void add_selection(CLI::App& command, SelectionArgs& selection);

// --threads (0 to 1024) and -v/--verbose, which says when it is clamped.
void add_threads(CLI::App& command, unsigned& threads, bool& verbose);

}  // namespace portal_dat
