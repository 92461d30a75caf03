// cat: one file's bytes on standard output, read and written in pieces.
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "quorvane_dat/lib/file_stream.hpp"
#include "tools/portal_dat/commands.hpp"
#include "tools/portal_dat/common_options.hpp"
#include "tools/portal_dat/tool_output.hpp"

namespace portal_dat {

namespace {

struct CatOptions {
  std::string archive;
  std::string id;
  bool raw = false;
  bool force = false;
  bool salvage = false;

  void add_to(CLI::App& command) {
    add_archive(command, archive);
    command.add_option("ID", id, "the file id in hexadecimal")->required();
    command.add_flag("--raw", raw, "the stored bytes, not decoded");
    command.add_flag("--force", force, "write even when standard output is a terminal");
    add_salvage(command, salvage, "write a file");
  }
};

// Output of a file held back until the file is known to be sound; a larger
// file is read to its end once to check it, then again to write it.
constexpr std::size_t HOLD_BYTES = std::size_t{8} << 20;

quorvane_dat::StreamOptions stream_options(const CatOptions& options) {
  return {.decode = !options.raw};
}

void write_out(std::span<const std::uint8_t> bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// Reads `stream` to its end, handing each piece to `take` until it returns
// false. A failed read is reported, what was written is flushed, and false
// is returned.
template <class Take>
bool read_pieces(quorvane_dat::FileStream& stream, std::uint32_t id, Take take) {
  for (;;) {
    auto piece = stream.next();
    if (!piece) {
      report_error(hex8(id) + ": " + piece.error().plain());
      finish_stdout();
      return false;
    }
    if (piece->empty() || !take(*piece)) return true;
  }
}

bool write_piece(std::span<const std::uint8_t> piece) {
  write_out(piece);
  return true;
}

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
  auto stream = quorvane_dat::FileStream::open(*database, *id, stream_options(options));
  if (!stream) {
    report_error(hex8(*id) + ": " + stream.error().plain());
    return EXIT_PROBLEM;
  }

  // Without --salvage nothing is written for a file whose chain loops or
  // whose body decodes short: its pieces are held back, or, for a large
  // file, the whole file is checked first.
  std::vector<std::uint8_t> held;
  bool overflowed = false;
  const auto hold = [&](std::span<const std::uint8_t> piece) {
    if (stream->chain_loops()) return false;
    if (overflowed || held.size() + piece.size() > HOLD_BYTES) {
      overflowed = true;
      held = {};
    } else {
      held.insert(held.end(), piece.begin(), piece.end());
    }
    return true;
  };
  if (!(options.salvage ? read_pieces(*stream, *id, write_piece) : read_pieces(*stream, *id, hold))) {
    return EXIT_PROBLEM;
  }
  const std::string problem = content_problem(stream->chain_loops(), stream->findings().short_output);
  if (!problem.empty()) {
    report_error(
        hex8(*id) + ": " + problem +
        (options.salvage ? "; written as read" : "; nothing written (--salvage writes what is read)"));
    finish_stdout();
    return EXIT_PROBLEM;
  }
  if (!options.salvage && !overflowed) write_out(held);
  if (!options.salvage && overflowed) {
    // Too large to hold, and sound: read again, writing as it comes.
    auto again = quorvane_dat::FileStream::open(*database, *id, stream_options(options));
    if (!again) {
      report_error(hex8(*id) + ": " + again.error().plain());
      return EXIT_PROBLEM;
    }
    if (!read_pieces(*again, *id, write_piece)) return EXIT_PROBLEM;
  }
  return finish_stdout() ? EXIT_OK : EXIT_PROBLEM;
}

}  // namespace

RunCommand add_cat_command(CLI::App& command) { return command_for(command, run_cat); }

}  // namespace portal_dat
