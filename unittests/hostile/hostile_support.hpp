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
#include "quorvane_dat/file_type/combat_maneuver_table.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace hostile {

inline constexpr std::uint32_t TABLE_ID = quorvane_dat::COMBAT_MANEUVER_TABLE_ID;

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
  int status = -1;           // exit status, or 128 + signal number
  bool timed_out = false;    // killed after the wall-clock limit
  bool cpu_limited = false;  // stopped by the limit on its processor time
  long peak_rss_kib = 0;     // the child's maximum resident set size
  double seconds = 0;        // wall-clock time
};

// How long a run may take. Processor time bounds a run that spins, whatever
// the machine's load; the wall clock, far above it, bounds one that blocks.
struct Limits {
  unsigned cpu_seconds = 20;
  double wall_seconds = 180;
};

// Runs the audit executable with QUORVANE_PORTAL_DAT set to `archive` (or
// removed when absent), the other QUORVANE_* variables removed, and `args`.
// The child is stopped once it exceeds either of `limits`.
Run run_audit(const std::optional<std::string>& archive, const std::vector<std::string>& args = {},
              Stdout stdout_mode = Stdout::Pipe, Limits limits = {});

// The build-time fallback location of the archive.
std::filesystem::path fallback_archive_path();

}  // namespace hostile
