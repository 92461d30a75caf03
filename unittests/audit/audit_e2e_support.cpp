#include "unittests/audit/audit_e2e_support.hpp"

#include <stdlib.h>

#include <fstream>
#include <regex>
#include <stdexcept>
#include <system_error>

#include "quorvane_dat/utils/portal_dat_path.hpp"
#include "tools/portal_dat_sample/sample_archive.hpp"

namespace audit_e2e {

std::filesystem::path write_variant(const ScratchDir& dir, portal_dat_sample::Variant variant,
                                    std::size_t filler_files) {
  portal_dat_sample::SampleOptions options;
  options.variant = variant;
  options.filler_files = filler_files;
  const std::filesystem::path path =
      dir.path() / (std::string(portal_dat_sample::variant_name(variant)) + ".dat");
  portal_dat_sample::write_sample_archive(path, options);
  return path;
}

test_support::ProcessResult run_audit_check(const std::optional<std::string>& archive,
                                            const std::vector<std::string>& extra_args) {
  std::vector<std::string> args{std::string(CHECK_NAME), "--exact", "--test-threads", "1"};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  test_support::ProcessOptions options;
  options.env["QUORVANE_PORTAL_DAT"] = archive;
  return test_support::run_audit(args, options);
}

std::vector<std::string> lines(std::string_view text) {
  std::vector<std::string> out;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    out.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return out;
}

std::optional<std::string> captured_block(std::string_view out) {
  const std::string header = "---- " + std::string(CHECK_NAME) + " stdout ----\n";
  const std::size_t start = out.find(header);
  if (start == std::string_view::npos) return std::nullopt;
  const std::size_t from = start + header.size();
  // The block is followed by an empty line and the section's name list.
  std::size_t end = out.find("\n\nsuccesses:\n", from);
  if (end == std::string_view::npos) end = out.rfind("\n\nfailures:\n");
  if (end == std::string_view::npos || end < from) return std::nullopt;
  return std::string(out.substr(from, end - from));
}

std::optional<Failure> parse_failure(std::string_view out) {
  const std::optional<std::string> block = captured_block(out);
  if (!block) return std::nullopt;
  const std::string thread = "thread '" + std::string(CHECK_NAME) + "' (";
  const std::size_t report_at = block->find("\n" + thread);
  if (report_at == std::string::npos) return std::nullopt;
  const std::size_t at = block->find(") panicked at ", report_at);
  const std::size_t location_end = block->find(":\n", at);
  const std::size_t note = block->rfind("\nnote: ");
  if (at == std::string::npos || location_end == std::string::npos || note == std::string::npos ||
      note < location_end) {
    return std::nullopt;
  }
  Failure failure;
  failure.report_lines = lines(std::string_view(*block).substr(0, report_at));
  const std::size_t location_start = at + std::string_view(") panicked at ").size();
  failure.location = block->substr(location_start, location_end - location_start);
  failure.message = block->substr(location_end + 2, note - (location_end + 2));
  return failure;
}

std::string mask_run(std::string_view out) {
  std::string text(out);
  text = std::regex_replace(text, std::regex(R"(finished in [0-9]+\.[0-9]+s)"), "finished in T.TTs");
  text = std::regex_replace(text, std::regex(R"(\([0-9]+\) panicked at )"), "(TID) panicked at ");
  return text;
}

std::string mask_frame_locations(std::string_view text) {
  return std::regex_replace(std::string(text), std::regex(R"(     at [^\n]+:[0-9]+\n)"),
                            "     at PATH:N\n");
}

std::string source_line(std::string_view repo_path, std::size_t line) {
  std::ifstream in(std::filesystem::path(test_support::source_dir()) / repo_path);
  if (!in) throw std::runtime_error("cannot read " + std::string(repo_path));
  std::string text;
  for (std::size_t n = 1; std::getline(in, text); ++n) {
    if (n == line) return text;
  }
  throw std::out_of_range(std::string(repo_path) + " has fewer lines than " + std::to_string(line));
}

bool fallback_archive_exists() {
  std::error_code error;
  return std::filesystem::exists(quorvane_dat::portal_dat_fallback_path(), error);
}

}  // namespace audit_e2e
