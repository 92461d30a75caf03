// The arguments and options several commands take, added alike to each.
#pragma once

#include <string>
#include <string_view>

#include "tools/portal_dat/selection.hpp"

namespace CLI {
class App;
}

namespace portal_dat {

// ARCHIVE, required: the archive's path.
void add_archive(CLI::App& command, std::string& archive);

// IDS and --type: which entries (default: every entry).
void add_selection(CLI::App& command, SelectionArgs& selection);

// --salvage: `what` is done also with files whose chain loops or whose body
// decodes short, e.g. "extract files".
void add_salvage(CLI::App& command, bool& salvage, std::string_view what);

// The threads a command reads with (0: the processors available), and
// whether to say when that is clamped to the processors.
struct ThreadOptions {
  unsigned threads = 0;
  bool verbose = false;
};

// --threads (0 to 1024) and -v/--verbose.
void add_threads(CLI::App& command, ThreadOptions& options);

}  // namespace portal_dat
