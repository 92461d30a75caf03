// Helpers of the archive tests: a scratch directory, opening archives written
// by the archive writer, and the expected texts of errors.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "dat_writer/dat_writer.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace archive_test {

using dat_writer::Bytes;

// A scratch directory that also writes archives from a builder.
class TempDir : public test_support::ScratchDir {
 public:
  TempDir() : ScratchDir("archive_tests") {}
  using ScratchDir::write;
  // Writes the builder's archive to a file of that name and returns its path.
  std::filesystem::path write(std::string_view name, const dat_writer::ArchiveBuilder& b) const;
};

// Opens `path`; records a test failure (with the error's texts) when it fails.
std::optional<quorvane_dat::DatDatabase> open_ok(const std::filesystem::path& path);

// The error that opening `path` fails with; records a failure when it opens.
std::optional<quorvane_dat::DatError> open_error(const std::filesystem::path& path);

// The report text of a parse error with one context frame, rendered from the
// documented layout (independently of the library's renderer).
std::string one_frame_report(std::string_view first_error, std::string_view message,
                             std::string_view file, std::uint32_t line);

// Bytes of a 1-byte-per-value counter pattern, distinct enough to spot misplaced pieces.
Bytes pattern(std::size_t size, std::uint8_t seed = 1);

}  // namespace archive_test

// The names the archive tests write archives with; a test file brings them in
// with `using namespace archive_test::names;`.
namespace archive_test::names {
using archive_test::Bytes;
using archive_test::pattern;
using archive_test::TempDir;
using dat_writer::ArchiveBuilder;
using dat_writer::ChainShape;
}  // namespace archive_test::names
