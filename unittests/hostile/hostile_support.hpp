// Helpers of the hostile-input tests: scratch files, a passing combat
// maneuver table, hostile archives laid out with the archive writer, and
// running the audit executable with its resource use measured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dat_writer/dat_writer.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace hostile {

inline constexpr std::uint32_t TABLE_ID = 0x30000000;

using test_support::ScratchDir;

// The bytes of a table on which the audit passes: the sword-and-shield stance
// with its three backhand rows (High, Medium, Low, all slash) and a row of
// another stance. `count` overrides the stored row count.
dat_writer::Bytes passing_table(std::optional<std::uint32_t> count = std::nullopt);

// An archive whose root node holds the table only; the audit passes on it.
dat_writer::Bytes passing_archive(std::uint32_t block_size = 1024, bool compressed = true);

// How the audit's standard output is connected.
enum class Stdout {
  Pipe,       // read by the test
  Closed,     // descriptor 1 closed before the program starts
  BrokenPipe  // a pipe whose reading end is already closed
};

struct Run {
  std::string out;
  std::string err;
  int status = -1;          // exit status, or 128 + signal number
  bool timed_out = false;   // killed after the time limit
  long peak_rss_kib = 0;    // the child's maximum resident set size
  double seconds = 0;       // wall-clock time
};

// Runs the audit executable with QUORVANE_PORTAL_DAT set to `archive` (or
// removed when absent), the other QUORVANE_* variables removed, and `args`.
// The child is killed after `limit_seconds`.
Run run_audit(const std::optional<std::string>& archive, const std::vector<std::string>& args = {},
              Stdout stdout_mode = Stdout::Pipe, double limit_seconds = 10);

// The build-time fallback location of the archive.
std::filesystem::path fallback_archive_path();

}  // namespace hostile
