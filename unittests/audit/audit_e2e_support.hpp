// Helpers of the audit's end-to-end tests: sample archives in a scratch
// directory, running the audit check alone, and taking its output apart.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/portal_dat_sample/sample_variant.hpp"
#include "unittests/support/process.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace audit_e2e {

inline constexpr std::string_view CHECK_NAME = "shield_stance_has_three_backhand_rows";
inline constexpr std::string_view SKIP_NOTICE =
    "Skipping shield-stance Backhand audit: portal.dat not found (set QUORVANE_PORTAL_DAT)";

using test_support::ScratchDir;

// Writes the sample archive of `variant` into `dir` and returns its path. A
// few hundred filler files keep the tests quick.
std::filesystem::path write_variant(const ScratchDir& dir, portal_dat_sample::Variant variant,
                                    std::size_t filler_files = 400);

// Runs only the audit check, on one thread, showing its output, with
// QUORVANE_PORTAL_DAT set to `archive` (or removed when absent).
test_support::ProcessResult run_audit_check(const std::optional<std::string>& archive,
                                            const std::vector<std::string>& extra_args = {
                                                "--show-output"});

std::vector<std::string> lines(std::string_view text);

// The audit's captured output as printed under its "---- ... stdout ----"
// header, or nullopt when the header is missing.
std::optional<std::string> captured_block(std::string_view out);

// A failed audit taken apart: the lines it printed before failing, the
// location of the raising statement and the failure message.
struct Failure {
  std::vector<std::string> report_lines;
  std::string location;  // "tests/shield_stance_backhand_audit.cpp:LINE:COL"
  std::string message;
};
std::optional<Failure> parse_failure(std::string_view out);

// "finished in 0.12s" becomes "finished in T.TTs"; "(12345) panicked" becomes "(TID) panicked".
std::string mask_run(std::string_view out);
// Every parse-error frame location "at PATH:LINE" becomes "at PATH:N".
std::string mask_frame_locations(std::string_view text);

// Line `line` (1-based) of a repository file.
std::string source_line(std::string_view repo_path, std::size_t line);

// True when the build-time fallback archive exists, so that a missing
// QUORVANE_PORTAL_DAT does not make the audit skip.
bool fallback_archive_exists();

}  // namespace audit_e2e
