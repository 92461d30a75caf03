// What every command shares: error lines on standard error, opening the
// archive, and the text forms of ids and dates.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quorvane_base/hex8.hpp"
#include "quorvane_dat/lib/dat_database.hpp"

namespace portal_dat {

// Writes "portal_dat: MESSAGE" as one line on standard error; line breaks in
// the message become spaces so that the error stays on one line.
void report_error(std::string_view message);

// Opens the archive, or reports why it cannot be opened and returns nullopt.
std::optional<quorvane_dat::DatDatabase> open_archive(const std::string& path);
// The same for an archive opened elsewhere (on another thread, say).
std::optional<quorvane_dat::DatDatabase> opened_archive(
    const std::string& path, quorvane_dat::DatResult<quorvane_dat::DatDatabase> opened);

// What is wrong with a file's content that reads without error: its chain
// loops, its body decodes short of its declared size; empty when neither.
std::string content_problem(bool chain_loops, bool short_output);

// The processors this process may run on (at least 1).
unsigned available_processors();

// The threads to read with: `requested` (0: the processors available) no
// more than the processors available; with `verbose`, says so when it clamps.
unsigned reading_threads(unsigned requested, bool verbose);

// Flushes standard output; reports a failed write and returns false.
bool finish_stdout();

// The id as 8 upper-case hexadecimal digits.
using quorvane_base::hex8;

// A Unix time as ISO 8601 UTC, e.g. "2024-05-01T12:00:00Z".
std::string iso8601_utc(std::uint32_t seconds);

}  // namespace portal_dat
