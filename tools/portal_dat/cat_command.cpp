// cat: one file's bytes on standard output.
#include <unistd.h>

#include <cstdio>

#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

int run_cat(const CatOptions& options) {
  const std::optional<std::uint32_t> id = parse_hex(options.id);
  if (!id) {
    report_error("'" + options.id + "' is not a file id (up to 8 hexadecimal digits)");
    return EXIT_USAGE;
  }
  if (!options.force && isatty(STDOUT_FILENO) == 1) {
    report_error("refusing to write binary data to a terminal (redirect it, or use --force)");
    return EXIT_USAGE;
  }
  const auto database = open_archive(options.archive);
  if (!database) return EXIT_PROBLEM;
  const auto bytes = options.raw ? database->get_stored(*id) : database->get_file(*id);
  if (!bytes) {
    report_error(hex8(*id) + ": " + bytes.error().display());
    return EXIT_PROBLEM;
  }
  if (!bytes->empty()) std::fwrite(bytes->data(), 1, bytes->size(), stdout);
  return finish_stdout() ? EXIT_OK : EXIT_PROBLEM;
}

}  // namespace portal_dat
