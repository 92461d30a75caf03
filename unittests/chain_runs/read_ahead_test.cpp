// The read-ahead reader used by the directory walk: whatever the request
// pattern, its answers (bytes, short counts, errors) equal those of the file
// read directly; forward-moving requests share window fills, jumping ones are
// passed straight through; and opening an archive whose nodes lie one after
// another costs a few reads rather than one per node.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/uio.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "dat_writer/dat_writer.hpp"
#include "quorvane_dat/lib/dat_database.hpp"
#include "quorvane_dat/utils/detail/positioned_read.hpp"
#include "quorvane_dat/utils/detail/read_ahead.hpp"
#include "test_oracles/chain_reference.hpp"
#include "unittests/support/scratch_dir.hpp"

namespace {

using quorvane_dat::detail::ReadAheadReader;
using quorvane_dat::detail::ReadOnlyFile;

// A file of `size` patterned bytes in a scratch directory of its own.
class PatternFile {
 public:
  explicit PatternFile(std::size_t size) : dir_("read_ahead_test") {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 253);
    path_ = dir_.write("pattern.bin", bytes);
  }

  const std::filesystem::path& path() const { return path_; }
  ReadOnlyFile open() const { return ReadOnlyFile(::open(path_.c_str(), O_RDONLY | O_CLOEXEC)); }

 private:
  test_support::ScratchDir dir_;
  std::filesystem::path path_;
};

struct Answer {
  bool ok = false;
  std::size_t count = 0;
  std::string error;
  std::vector<std::uint8_t> bytes;

  friend bool operator==(const Answer&, const Answer&) = default;
};

// One request, as either reader answers it: a vectored read over `sizes`
// parts, or an exact read of their total when `exact`.
template <class Reader>
Answer ask(Reader& reader, bool exact, const std::vector<std::size_t>& sizes, std::uint64_t offset) {
  std::size_t total = 0;
  for (const std::size_t s : sizes) total += s;
  Answer answer;
  answer.bytes.assign(total, 0xEE);
  if (exact) {
    auto r = reader.read_exact_at_compat(answer.bytes, offset);
    answer.ok = r.has_value();
    if (!r) answer.error = r.error().display();
    return answer;
  }
  std::vector<::iovec> parts;
  std::size_t at = 0;
  for (const std::size_t s : sizes) {
    parts.push_back({answer.bytes.data() + at, s});
    at += s;
  }
  auto r = reader.read_vectored_at(parts, offset);
  answer.ok = r.has_value();
  if (r)
    answer.count = *r;
  else
    answer.error = r.error().display();
  return answer;
}

TEST(ReadAhead, AnswersEqualTheFileForAnyRequestPattern) {
  const std::size_t size = 700 * 1024 + 123;
  const PatternFile file(size);
  const ReadOnlyFile direct = file.open();
  const ReadOnlyFile shared = file.open();
  ASSERT_GE(direct.fd(), 0);
  ReadAheadReader ahead(shared);

  std::mt19937_64 rng(2024);
  std::uint64_t offset = 0;
  std::uint64_t end = 0;  // of the previous request
  for (int i = 0; i < 20000; ++i) {
    std::vector<std::size_t> sizes(1 + rng() % 3);
    for (auto& s : sizes) s = rng() % 9 == 0 ? 0 : rng() % 2100;
    if (rng() % 200 == 0) sizes = {ReadAheadReader::FILL_SIZE * 2};  // larger than a fill
    std::size_t total = 0;
    for (const std::size_t s : sizes) total += s;
    // Mostly runs of forward requests, broken now and then by a jump.
    switch (rng() % 100) {
      case 0: offset = rng() % (size + 4096); break;                               // jump anywhere
      case 1: offset = size - std::min<std::uint64_t>(size, rng() % 3000); break;  // near the end
      case 2: offset = offset > 5000 ? offset - rng() % 5000 : 0; break;           // backwards
      case 3: offset = (std::uint64_t{1} << 40) + rng() % 100; break;              // far past the end
      default:  // forward with a small gap, starting over once well past the end
        offset = end > size + 20000 ? rng() % size : end + rng() % (total + 1);
        break;
    }
    const bool exact = rng() % 4 == 0;
    const Answer want = ask(direct, exact, sizes, offset);
    const Answer got = ask(ahead, exact, sizes, offset);
    end = offset + total;
    ASSERT_EQ(got, want) << "request " << i << " at " << offset << (exact ? " exact" : " vectored");
  }
  // The comparison means something only if the window answered many of them.
  EXPECT_LT(ahead.file_reads(), 8000U) << "of 20000 requests";
}

TEST(ReadAhead, ForwardRequestsShareFillsAndJumpsPassStraightThrough) {
  const PatternFile file(2 * 1024 * 1024);
  const ReadOnlyFile fd = file.open();
  ASSERT_GE(fd.fd(), 0);

  // 600 node-sized requests one after another with small gaps: one fill per
  // window's worth of them.
  ReadAheadReader forward(fd);
  std::vector<std::uint8_t> buf(1744);
  constexpr std::uint64_t STRIDE = 1792;
  for (std::uint64_t i = 0; i < 600; ++i) {
    ASSERT_TRUE(forward.read_exact_at_compat(buf, 1000 + i * STRIDE));
  }
  const std::uint64_t span = 600 * STRIDE;
  EXPECT_LE(forward.file_reads(), span / (ReadAheadReader::FILL_SIZE - STRIDE) + 2);
  EXPECT_GE(forward.file_reads(), span / ReadAheadReader::FILL_SIZE);

  // Requests that skip more than their own size ahead, or go back, never
  // trigger a fill: one read each.
  ReadAheadReader jumping(fd);
  for (std::uint64_t i = 0; i < 300; ++i) {
    const std::uint64_t at = (i % 2 == 0) ? 10000 + i * 5000 : 1900000 - i * 5000;
    ASSERT_TRUE(jumping.read_exact_at_compat(buf, at));
  }
  EXPECT_EQ(jumping.file_reads(), 300U);
}

using test_oracles::read_calls;

TEST(ReadAhead, OpeningADirectoryOfAdjacentNodesTakesFewReads) {
  if (!read_calls()) GTEST_SKIP() << "/proc/self/io is not available";
  dat_writer::ArchiveBuilder builder(256);
  std::vector<dat_writer::FileSpec> files;
  for (std::uint32_t id = 1; id <= 6000; ++id) files.push_back({id, {1, 2, 3}, false, 0, 1});
  const auto layout = dat_writer::add_files_with_directory(builder, files);
  ASSERT_GT(layout.nodes.size(), 100U);
  const test_support::ScratchDir dir("read_ahead_test");
  const auto path = dir.file("adjacent_nodes.dat");
  builder.write_file(path);

  const std::uint64_t before = *read_calls();
  auto db = quorvane_dat::DatDatabase::new_(path);
  const std::uint64_t calls = *read_calls() - before;
  ASSERT_TRUE(db);
  EXPECT_EQ(db->files().size(), files.size());
  EXPECT_LT(calls, layout.nodes.size() / 4) << calls << " reads for " << layout.nodes.size() << " nodes";
}

}  // namespace
